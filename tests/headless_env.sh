# Sourced by the test and benchmark runners: test desktops on X servers of their own, each with
# its own HOME, sound server and Wine prefix (copied from one booted template), all gone when
# the sourcing script exits. The architecture is the caller's: tools/wine_env.sh's use_wine.

. "$(dirname "${BASH_SOURCE[0]}")/../tools/wine_env.sh"
export WINEDEBUG=-all
# No .NET or Gecko install prompts in a throw-away prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="

# boot_template DIR: a booted Wine prefix in DIR, its server stopped so it can be copied.
boot_template() {
    WINEPREFIX=$1 wineboot -i >/dev/null 2>&1
    # .htm files open through winebrowser, which hands them to xdg-open from PATH.
    WINEPREFIX=$1 wine reg add 'HKCR\.htm' /ve /d htmlfile /f >/dev/null 2>&1
    WINEPREFIX=$1 wine reg add 'HKCR\htmlfile\shell\open\command' /ve /d 'winebrowser "%1"' /f \
        >/dev/null 2>&1
    WINEPREFIX=$1 wineserver -w
    # Wine links Desktop, Documents... to the booting HOME: every copy would share one
    # desktop folder, and tests on other desktops would see each other's saves.
    local link
    for link in "$1"/drive_c/users/*/*; do
        if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
    done
}

# copy_prefix FROM TO: the big, read-only DLL folders are hard links, the rest real copies.
copy_prefix() {
    local shared="drive_c/windows/system32 drive_c/windows/winsxs"
    mkdir -p "$2"
    (cd "$1" && tar $(printf -- '--exclude=./%s ' $shared) -cf - .) | (cd "$2" && tar -xf -)
    for d in $shared; do cp -al "$1/$d" "$2/$d"; done
}

# reg_user KEY 'NAME=VALUE' (in the file's own syntax): a value in the prefix's HKCU, written
# before its server starts.
reg_user() {
    printf '\n[%s] 0\n%s\n' "$(printf '%s' "$1" | sed 's/\\/\\\\/g')" "$2" >>"$WINEPREFIX/user.reg"
}

# wait_for SECONDS COMMAND...: polls the command until it succeeds. The ceilings are generous:
# a desktop starting on a loaded 2-core machine can take many times its usual second.
wait_for() {
    local tries=$(($1 * 10)); shift
    until "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ $tries -gt 0 ] || { echo "timed out waiting for: $*" >&2; return 1; }
        sleep 0.1
    done
}

stop_desktop() {
    WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null || true
    for pid in ${DESKTOP_PIDS:-}; do kill "$pid" 2>/dev/null || true; done
    for pid in ${DESKTOP_PIDS:-}; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$WORK"
}

# start_desktop KIND [GEOMETRY]: a test desktop of that kind on a new X server.
#   desktop      1024 x 768 x 24, openbox, a tray host and a sound server: what users have
#   bare         1024 x 768 x 24 and nothing else: Wine's own tray, no window manager
#   dpi144       the desktop at 144 DPI
#   twomonitors  two monitors, the primary on the right (virtual x from -1024), no window
#                manager: Wine's own tray (MONITORS="LW LH RW RH" for other sizes, LH >= RH)
#   depth16      the desktop in 16-bit colour
start_desktop() {
    local kind=$1 geometry=${2:-1024x768x24}
    WORK=$(mktemp -d "${GRABOTINE_RUN:-/tmp}/desktop-$kind.XXXXXX")
    export HOME=$WORK/home WINEPREFIX=$WORK/prefix XDG_RUNTIME_DIR=$WORK/run
    export GRABOTINE_DESKTOP=$kind
    mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    DESKTOP_PIDS=
    trap stop_desktop EXIT

    if [ -n "${GRABOTINE_TEMPLATE:-}" ]; then
        copy_prefix "$GRABOTINE_TEMPLATE" "$WINEPREFIX"
    else
        boot_template "$WINEPREFIX"
    fi
    case $kind in
        dpi144) reg_user 'Control Panel\Desktop' '"LogPixels"=dword:00000090' ;;
        twomonitors) read -r lw lh rw rh <<<"${MONITORS:-1024 768 800 600}"
                     geometry=$((lw + rw))x${lh}x24
                     reg_user 'Software\Wine\X11 Driver' '"UseXRandR"="N"' ;;
        depth16) geometry=1024x768x16 ;;
    esac

    # Let Xvfb choose a free display and tell us which.
    exec 3<>"$WORK/display"
    Xvfb -displayfd 3 -screen 0 "$geometry" -nolisten tcp -noreset >"$WORK/xvfb.log" 2>&1 &
    DESKTOP_PIDS="$!"
    wait_for 30 test -s "$WORK/display"
    export DISPLAY=":$(head -n1 "$WORK/display")"
    exec 3>&-

    if [ "$kind" = twomonitors ]; then
        xrandr --setmonitor LEFT "$lw/$((lw*254/960))x$lh/$((lh*254/960))+0+0" screen >/dev/null
        xrandr --setmonitor '*RIGHT' "$rw/$((rw*254/960))x$rh/$((rh*254/960))+$lw+0" none >/dev/null
    fi
    # Two monitors go without a window manager: openbox now and then moves a window Wine has
    # placed on the primary monitor to the other one, which Windows never does.
    if [ "$kind" != bare ] && [ "$kind" != twomonitors ]; then
        # Both started before Wine, so that its windows are managed and its icon docks. The tray
        # host first: under load openbox now and then leaves a panel mapped after its own start
        # unmapped for good, while it always adopts one already on the screen.
        trayer --edge top --align right --widthtype pixel --width 120 --height 24 \
            --SetDockType true --SetPartialStrut true --transparent false >"$WORK/trayer.log" 2>&1 &
        DESKTOP_PIDS="$DESKTOP_PIDS $!"
        wait_for 30 sh -c 'xwininfo -name panel | grep -q IsViewable' ||
            { cat "$WORK/trayer.log" >&2; return 1; }
        # Without openbox's own Print bindings, which would keep the key from Wine.
        sed '/<keybind key="\(A-\)\?Print">/,/<\/keybind>/d' /etc/xdg/openbox/rc.xml >"$WORK/rc.xml"
        openbox --sm-disable --config-file "$WORK/rc.xml" >"$WORK/openbox.log" 2>&1 &
        DESKTOP_PIDS="$DESKTOP_PIDS $!"
        wait_for 30 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
            { cat "$WORK/openbox.log" >&2; return 1; }
        wait_for 30 sh -c 'xwininfo -name panel | grep -q IsViewable'
        # A null sink whose monitor the tests record.
        pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
            -L module-native-protocol-unix -L "module-null-sink sink_name=grabotine" \
            >"$WORK/pulse.log" 2>&1 &
        DESKTOP_PIDS="$DESKTOP_PIDS $!"
        wait_for 30 pactl info || { cat "$WORK/pulse.log" >&2; return 1; }
    fi
    wineserver -p
    # Wine's desktop process (which hosts the tray) ends a moment after its last program and
    # clears the screen when it comes back: a hidden program keeps it up throughout. Started
    # first, it also keeps the desktop off the output pipes of the tests.
    if [ -n "${GRABOTINE_BUILD:-}" ]; then
        wine "$GRABOTINE_BUILD/probe.exe" keep-desktop </dev/null >/dev/null 2>&1 &
        wine "$GRABOTINE_BUILD/probe.exe" wait-window - "probe keep-desktop" 30000 >/dev/null 2>&1
    fi
}

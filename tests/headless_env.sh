# Sourced by the test and benchmark runners: a throw-away HOME and Wine prefix and an Xvfb on
# a display of its own, all gone when the runner exits.

stop_headless() {
    wineserver -k 2>/dev/null || true
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
    rm -rf "$WORK"
}

# start_headless NAME GEOMETRY
start_headless() {
    WORK=$(mktemp -d "/tmp/grabotine-$1.XXXXXX")
    export HOME=$WORK/home WINEPREFIX=$WORK/prefix WINEARCH=win32 WINEDEBUG=-all
    # No .NET or Gecko install prompts in a throw-away prefix.
    export WINEDLLOVERRIDES="mscoree,mshtml=" XDG_RUNTIME_DIR=$WORK/run
    mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$WINEPREFIX"
    chmod 700 "$XDG_RUNTIME_DIR"
    XVFB_PID=
    trap stop_headless EXIT

    # Let Xvfb choose a free display and tell us which.
    exec 3<> "$WORK/display"
    Xvfb -displayfd 3 -screen 0 "$2" -nolisten tcp -noreset >"$WORK/xvfb.log" 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [ -s "$WORK/display" ] && break
        sleep 0.1
    done
    export DISPLAY=":$(head -n1 "$WORK/display")"

    # One persistent wineserver for the whole run keeps each program start fast and the Wine
    # desktop (which clears the X root window when it starts) up throughout.
    wineserver -p
    wineboot -i >/dev/null 2>&1
}

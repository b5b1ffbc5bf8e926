#!/usr/bin/env bash
# Memory at rest after use: the private memory of Grabotine at start, after 30 presses each
# cancelled with Esc, and after 5 full-screen captures, on a 1920 x 1080 test desktop with a
# window manager. Targets: the presses keep nothing (at most 1.1 x the start); the captures
# keep one capture's pixels and the DIB and PNG handed to the clipboard (at most 1.1 x the
# start plus those). MEMORY_DETAIL=1 lists the large blocks and shared segments at each step.
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
export GRABOTINE_BUILD=$BUILD DESKTOP_GEOMETRY=1920x1080x24
GRABOTINE_VERSION=$(sed -n 's/^#define GRABOTINE_VERSION "\(.*\)"/\1/p' "$BUILD/generated/version.h")
export GRABOTINE_VERSION
exec "$(dirname "$0")/../tests/desktop.sh" desktop bash -c '
    set -Eeuo pipefail
    trap "echo \"rest_bench: stopped where this failed: \$BASH_COMMAND\" >&2" ERR
    probe() { wine "$GRABOTINE_BUILD/probe.exe" "$@"; }
    # The Unix process running Grabotine.exe in this prefix.
    find_pid() {
        for p in /proc/[0-9]*; do
            cmd=$(tr "\0" "\n" 2>/dev/null <"$p/cmdline" | head -n1) || continue
            [ "${cmd##*[\\/]}" = Grabotine.exe ] || continue
            tr "\0" "\n" 2>/dev/null <"$p/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" || continue
            echo "${p#/proc/}"
            return
        done
        return 1
    }
    # Private memory in KiB: under Wine the anonymous memory the process holds (RssAnon), which
    # it does not report as the private usage Windows would.
    private_kib() { awk "/^RssAnon:/ {print \$2}" "/proc/$pid/status"; }
    # At rest: the figure has not moved for a second (at most 15 s).
    at_rest() {
        local last=-1 now tries=30
        now=$(private_kib)
        while [ "$now" != "$last" ] && [ $tries -gt 0 ]; do
            last=$now; sleep 1; now=$(private_kib); tries=$((tries - 1))
        done
        echo "$now"
    }
    detail() {
        [ -n "${MEMORY_DETAIL:-}" ] || return 0
        echo "-- $1: $(grep -E "^(VmRSS|RssAnon|RssFile|RssShmem)" "/proc/$pid/status" | tr -s " \t" " " | tr "\n" " ")"
        awk "/^[0-9a-f]+-/ {map=\$0} /^Anonymous:/ && \$2 >= 512 {print \$2 \" KiB  \" map} /^Rss:/ && map ~ /SYSV/ {print \$2 \" KiB shared  \" map}" "/proc/$pid/smaps"
    }
    cd "$HOME"
    wine "$GRABOTINE_BUILD/Grabotine.exe" >/dev/null 2>&1 &
    hwnd=$(probe wait-window "Grabotine v. $GRABOTINE_VERSION" "Grabotine v. $GRABOTINE_VERSION" 30000)
    pid=$(find_pid)
    sleep 3
    start=$(at_rest); detail start
    probe press-cancel "$hwnd" 1; one=$(at_rest); detail "1 press"
    probe press-cancel "$hwnd" 29; presses=$(at_rest); detail "30 presses"
    probe capture-loop "$hwnd" 5 0 0 1919 1079 >/dev/null; captures=$(at_rest); detail "5 captures"
    probe clipboard-save dib "$HOME/dib.bmp"; probe clipboard-save png "$HOME/clip.png"
    dib=$(( $(stat -c %s "$HOME/dib.bmp") - 14 )); png=$(stat -c %s "$HOME/clip.png")
    if [ -n "${MEMORY_DETAIL:-}" ]; then
        probe clipboard-set-text x; echo "clipboard emptied by another program: $(at_rest) KiB"
        detail "clipboard emptied"
    fi
    probe post "$hwnd" 0x10 0 0 >/dev/null
    wait || true
    echo "private memory: $start KiB at start, $one after 1 press, $presses after 30, $captures after 5 captures; the clipboard holds a $dib-byte DIB and a $png-byte PNG"
    # The pixels of one capture: the DIB of the full-screen capture without its header.
    awk -v s="$start" -v p="$presses" -v c="$captures" -v d="$dib" -v n="$png" "BEGIN {
        printf \"private memory at rest after 30 presses cancelled with Esc %.1f MB against at start %.1f MB: ratio %.3f (target <= 1.1)\\n\", p / 1024, s / 1024, p / s
        allowed = s + ((d - 40) + d + n) / 1024
        printf \"private memory at rest after 5 full-screen captures %.1f MB against at start + the pixels of one capture + the DIB and PNG on the clipboard %.1f MB: ratio %.3f (target <= 1.1)\\n\", c / 1024, allowed / 1024, c / allowed
    }"
'

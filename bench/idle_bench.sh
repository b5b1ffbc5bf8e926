#!/usr/bin/env bash
# Idle memory: the resident memory of Grabotine waiting in the tray against that of a minimal
# tray program (tray_minimal.exe, built beside it), each alone after 8 s idle on the same test
# desktop. Target: at most 2 MB more than the minimal program.
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
export GRABOTINE_BUILD=$BUILD
GRABOTINE_VERSION=$(sed -n 's/^#define GRABOTINE_VERSION "\(.*\)"/\1/p' "$BUILD/generated/version.h")
export GRABOTINE_VERSION
exec "$(dirname "$0")/../tests/desktop.sh" desktop bash -c '
    set -euo pipefail
    # Resident KiB of the Wine process running program $1 in this prefix.
    rss_kib() {
        for p in /proc/[0-9]*; do
            cmd=$(tr "\0" "\n" <"$p/cmdline" 2>/dev/null | head -n1) || continue
            [ "${cmd##*[\\/]}" = "$1" ] || continue
            tr "\0" "\n" <"$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" || continue
            awk "/^VmRSS:/ {print \$2}" "$p/status"
            return
        done
        return 1
    }
    # idle PROGRAM CLASS: starts it, lets it rest, prints its resident KiB, ends it.
    idle() {
        cd "$GRABOTINE_BUILD"
        wine "./$1" >/dev/null 2>&1 &
        local pid=$!
        hwnd=$(wine probe.exe wait-window "$2" - 30000)
        sleep 8
        rss_kib "$1"
        wine probe.exe post "$hwnd" 0x10 0 0 >/dev/null
        wait $pid || true
    }
    app=$(idle Grabotine.exe "Grabotine v. $GRABOTINE_VERSION")
    minimal=$(idle tray_minimal.exe "tray minimal")
    awk -v a="$app" -v m="$minimal" "BEGIN {
        printf \"idle memory: Grabotine %.1f MB, minimal tray program %.1f MB: ratio %.3f (target <= %.3f)\n\",
               a / 1024, m / 1024, a / m, (m + 2048) / m }"
'

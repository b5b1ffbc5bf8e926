#!/usr/bin/env bash
# Runs every benchmark under Wine on its own 1920 x 1080 x 24 X server and prefix.
set -euo pipefail

BUILD=$(cd "${1:-build}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)

WORK=$(mktemp -d /tmp/grabotine-bench.XXXXXX)
export HOME=$WORK/home WINEPREFIX=$WORK/prefix WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" XDG_RUNTIME_DIR=$WORK/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$WINEPREFIX"
chmod 700 "$XDG_RUNTIME_DIR"

XVFB_PID=
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

exec 3<> "$WORK/display"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
for _ in $(seq 100); do
    [ -s "$WORK/display" ] && break
    sleep 0.1
done
export DISPLAY=":$(head -n1 "$WORK/display")"
wineserver -p
wineboot -i >/dev/null 2>&1

echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores; $(wine --version)"
cd "$BUILD"
for exe in *_bench.exe; do
    echo "== ${exe%.exe}"
    wine "./$exe"
done
for script in "$HERE"/*_bench.sh; do
    # This script's own name ends in _bench.sh too.
    [ -e "$script" ] && [ "$script" != "$HERE/run_bench.sh" ] || continue
    echo "== $(basename "${script%.sh}")"
    "$script" "$BUILD"
done

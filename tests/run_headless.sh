#!/usr/bin/env bash
# Runs every test headless: its own X server, its own throw-away Wine prefix and HOME.
set -euo pipefail

BUILD=$(cd "${1:-build}" && pwd)
GEOMETRY=${GRABOTINE_SCREEN:-1024x768x24}
shift || true

WORK=$(mktemp -d /tmp/grabotine-test.XXXXXX)
export HOME=$WORK/home
export WINEPREFIX=$WORK/prefix
export WINEARCH=win32
export WINEDEBUG=-all
# No .NET or Gecko install prompts in a throw-away prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
export XDG_RUNTIME_DIR=$WORK/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$WINEPREFIX"
chmod 700 "$XDG_RUNTIME_DIR"

XVFB_PID=
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

# Let Xvfb choose a free display and tell us which.
exec 3<> "$WORK/display"
Xvfb -displayfd 3 -screen 0 "$GEOMETRY" -nolisten tcp -noreset >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
for _ in $(seq 100); do
    [ -s "$WORK/display" ] && break
    sleep 0.1
done
export DISPLAY=":$(head -n1 "$WORK/display")"
echo "X display $DISPLAY ($GEOMETRY), Wine prefix $WINEPREFIX"

# One persistent wineserver for the whole run keeps each program start fast and the Wine
# desktop (which clears the X root window when it starts) up between tests.
wineserver -p
wineboot -i >/dev/null 2>&1

# .htm files open through winebrowser, which hands them to xdg-open from PATH.
wine reg add 'HKCR\.htm' /ve /d htmlfile /f >/dev/null 2>&1
wine reg add 'HKCR\htmlfile\shell\open\command' /ve /d 'winebrowser "%1"' /f >/dev/null 2>&1

cd "$BUILD"
ctest --output-on-failure --timeout 600 "$@"

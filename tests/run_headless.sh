#!/usr/bin/env bash
# Runs every test headless: its own X server, its own throw-away Wine prefix and HOME.
set -euo pipefail

BUILD=$(cd "${1:-build}" && pwd)
GEOMETRY=${GRABOTINE_SCREEN:-1024x768x24}
shift || true

. "$(dirname "$0")/headless_env.sh"
start_headless test "$GEOMETRY"
echo "X display $DISPLAY ($GEOMETRY), Wine prefix $WINEPREFIX"

# .htm files open through winebrowser, which hands them to xdg-open from PATH.
wine reg add 'HKCR\.htm' /ve /d htmlfile /f >/dev/null 2>&1
wine reg add 'HKCR\htmlfile\shell\open\command' /ve /d 'winebrowser "%1"' /f >/dev/null 2>&1

cd "$BUILD"
ctest --output-on-failure --timeout 600 "$@"

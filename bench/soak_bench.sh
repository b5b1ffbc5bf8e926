#!/usr/bin/env bash
# Soak: 1000 captures with auto-save in one run of the program, BMP and JPEG by turns (the
# export's boxes answered), on a test desktop with a window manager; prints the GDI and USER
# objects and the private memory after the first capture and after the last.
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
COUNT=${SOAK_CAPTURES:-1000}
export GRABOTINE_BUILD=$BUILD
GRABOTINE_VERSION=$(sed -n 's/^#define GRABOTINE_VERSION "\(.*\)"/\1/p' "$BUILD/generated/version.h")
export GRABOTINE_VERSION
exec "$(dirname "$0")/../tests/desktop.sh" desktop bash -c '
    set -euo pipefail
    out=$HOME/out
    settings=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Grabotine
    mkdir -p "$out" "$settings"
    printf "[autoSave]\r\nState=1\r\n[Sound]\r\nState=0\r\n[SaveAs]\r\nState=0\r\n[Folder]\r\nState=Z:%s\r\n" \
        "${out//\//\\}" >"$settings/grabotine.ini"
    cd "$HOME"
    wine "$GRABOTINE_BUILD/Grabotine.exe" >/dev/null 2>&1 &
    hwnd=$(wine "$GRABOTINE_BUILD/probe.exe" wait-window "Grabotine v. $GRABOTINE_VERSION" "Grabotine v. $GRABOTINE_VERSION" 30000)
    wine "$GRABOTINE_BUILD/probe.exe" soak "$hwnd" '"$COUNT"' 100 100 500 400 "Z:${out//\//\\}"
    wine "$GRABOTINE_BUILD/probe.exe" post "$hwnd" 0x111 1 0
    wait
'

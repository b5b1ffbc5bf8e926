#!/usr/bin/env bash
# Pins: 200 pins of a capture of the whole 1920 x 1080 screen opened from the menu command and
# closed again in one run of the program, on the benchmarks' own desktop; GDI objects and
# private memory at the end against after the tenth pin.
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
COUNT=${SOAK_PINS:-200}
version=$(sed -n 's/^#define GRABOTINE_VERSION "\(.*\)"/\1/p' "$BUILD/generated/version.h")
settings=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Grabotine
mkdir -p "$settings"
printf "[autoSave]\r\nState=0\r\n[Sound]\r\nState=0\r\n" >"$settings/grabotine.ini"
cd "$BUILD"
wine ./Grabotine.exe >/dev/null 2>&1 &
hwnd=$(wine probe.exe wait-window "Grabotine v. $version" "Grabotine v. $version" 30000)
wine probe.exe pin-soak "$hwnd" "$COUNT"
wine probe.exe post "$hwnd" 0x111 1 0 >/dev/null
wait

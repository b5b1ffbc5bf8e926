#!/usr/bin/env bash
# Pictures of the installer's pages for the README (docs/installer-*.png): runs the installer
# on a test desktop of its own and goes through it with the Enter key.
# usage: packaging/screenshots.sh [BUILD_DIR], after make dist
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
if [ -z "${GRABOTINE_DESKTOP:-}" ]; then
    exec env GRABOTINE_BUILD="$build" "$here/../tests/desktop.sh" desktop "$0" "$build"
fi
. "$here/../tests/headless_env.sh"

version=$(sed -n 's/^#define GRABOTINE_VERSION "\(.*\)"$/\1/p' "$build/generated/version.h")
title="Grabotine $version Setup"
wine "$build/dist/Grabotine-$version-$(build_arch "$build")-setup.exe" </dev/null >/dev/null 2>&1 &

# Its caption gains a space after the first page.
window() { xdotool search --onlyvisible --name "^$title" | head -n1; }

# shot NAME: the installer's window with its frame, once the page has been drawn.
shot() {
    wait_for 30 window
    sleep 2
    import -silent -frame -window "$(window)" -define png:exclude-chunks=date,time \
        "$here/../docs/installer-$1.png"
}

next_page() {
    xdotool windowactivate --sync "$(window)" key Return
}

shot welcome
next_page
# Only an administrator is asked; the test prefix's user is one.
shot users
next_page
shot folder
next_page
shot signin
next_page
# The files page goes on to the last page by itself.
sleep 3
shot finish

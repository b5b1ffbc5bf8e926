#!/usr/bin/env bash
# Runs every benchmark under Wine on its own 1920 x 1080 x 24 X server and prefix.
set -euo pipefail

BUILD=$(cd "${1:-build}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)

export GRABOTINE_BUILD=$BUILD
. "$HERE/../tests/headless_env.sh"
# The in-process benchmarks show the overlay without a user's press: no window manager.
start_desktop bare 1920x1080x24

echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores; $(wine --version)"
cd "$BUILD"
for exe in *_bench.exe; do
    echo "== ${exe%.exe}"
    wine "./$exe"
done
for script in "$HERE"/*_bench.sh; do
    # This script's own name matches the pattern too.
    [ -e "$script" ] && [ "$script" != "$HERE/run_bench.sh" ] || continue
    echo "== $(basename "${script%.sh}")"
    "$script" "$BUILD"
done

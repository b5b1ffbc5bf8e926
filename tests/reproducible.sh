#!/usr/bin/env bash
# Builds the release again in another folder and compares it, byte for byte, with the build's.
# usage: reproducible.sh SOURCE_DIR BUILD_DIR TOOLCHAIN_FILE BUILD_TYPE
set -euo pipefail
source=$1 build=$2
other=$(mktemp -d "${GRABOTINE_RUN:-/tmp}/rebuild.XXXXXX")
trap 'rm -rf "$other"' EXIT
cmake -S "$source" -B "$other" -DCMAKE_TOOLCHAIN_FILE="$3" -DCMAKE_BUILD_TYPE="$4" \
    -DGRABOTINE_TESTS=OFF -DGRABOTINE_BENCH=OFF >/dev/null
cmake --build "$other" --target dist -j"$(nproc)" >/dev/null
rc=0
for f in Grabotine.exe NViewLib.dll $(cd "$build" && ls dist/*); do
    if cmp -s "$build/$f" "$other/$f"; then echo "same: $f"; else echo "DIFFERENT: $f"; rc=1; fi
done
exit $rc

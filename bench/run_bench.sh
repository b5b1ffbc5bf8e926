#!/usr/bin/env bash
# Runs every benchmark of one build (make bench: the x64 one) under Wine on its own
# 1920 x 1080 x 24 X server and prefix, then the capture benchmark on two monitors.
set -euo pipefail

BUILD=$(cd "${1:-build}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)

export GRABOTINE_BUILD=$BUILD
. "$HERE/../tests/headless_env.sh"
ARCH=$(build_arch "$BUILD")
export GRABOTINE_RUN
GRABOTINE_RUN=$(mktemp -d /tmp/grabotine-bench.XXXXXX)
use_wine "$ARCH" "$GRABOTINE_RUN/wine"
# The in-process benchmarks show the overlay without a user's press: no window manager.
start_desktop bare 1920x1080x24
trap 'stop_desktop; rm -rf "$GRABOTINE_RUN"' EXIT

run_all() {
    echo "The $ARCH program ($BUILD). Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores; $(wine --version)"
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
    # The capture again on a desktop of its own: 1920 x 1080 left of a 1280 x 1024 primary.
    echo "== capture_bench, two monitors"
    (MONITORS="1920 1080 1280 1024" && start_desktop twomonitors && wine ./capture_bench.exe)
}
run_all | tee "$WORK/bench.log"

# Every measure with a target prints one line ending "ratio R (target <= T)": the run meets
# its targets exactly when each of those lines has R <= T.
python3 - "$WORK/bench.log" <<'PY'
import re, sys
pattern = re.compile(r"ratio ([0-9.]+) \(target <= ([0-9.]+)\)")
lines = [(line.strip(), pattern.search(line)) for line in open(sys.argv[1])]
targets = [(line, m) for line, m in lines if m]
missed = [line for line, m in targets if float(m.group(1)) > float(m.group(2))]
print("== targets: %d of %d met" % (len(targets) - len(missed), len(targets)))
for line in missed:
    print("   missed: " + line)
PY

#!/usr/bin/env bash
# Runs every test headless, both cores busy: each CTest entry gets a test desktop of its own
# (tests/desktop.sh) with a Wine prefix copied from the one booted here for its architecture.
# usage: run_headless.sh BUILD_ROOT [CTEST_ARGS...]
# The x64 program (BUILD_ROOT/x64) goes through the whole suite. The x86 one (BUILD_ROOT/x86),
# on a host that runs 32-bit code, goes through the entries labelled x86 beside it: the unit
# tests, a capture on every test desktop and its own release.
set -euo pipefail

ROOT=$(cd "${1:-build}" && pwd)
shift || true
start=$(date +%s)

. "$(dirname "$0")/headless_env.sh"
export GRABOTINE_RUN
GRABOTINE_RUN=$(mktemp -d /tmp/grabotine-run.XXXXXX)
stop_templates() {
    for t in "$GRABOTINE_RUN"/template-*; do WINEPREFIX=$t wineserver -k 2>/dev/null || true; done
}
# Under set -e a failing command in the trap would become the run's exit status.
trap 'stop_templates; rm -rf "$GRABOTINE_RUN"' EXIT

# The static analysis needs no desktop: it runs beside the tests, at a lower priority, in
# the time they spend waiting on Wine and X.
nice -n 19 "$(dirname "$0")/static_analysis.sh" "$ROOT/x64" >"$GRABOTINE_RUN/analysis.txt" 2>&1 &
analysis=$!

# half ARCH CTEST_ARGS...: the tests of one program, on prefixes of its architecture.
half() {
    local arch=$1
    shift
    use_wine "$arch" "$GRABOTINE_RUN/bin-$arch"
    export GRABOTINE_TEMPLATE=$GRABOTINE_RUN/template-$arch
    HOME=$GRABOTINE_RUN boot_template "$GRABOTINE_TEMPLATE"
    echo "$arch: Wine prefix template booted in $(($(date +%s) - start)) s"
    cd "$ROOT/$arch"
    ctest --output-on-failure --timeout 600 "$@"
}

halves="x64"
if runs_32bit; then
    halves="x64 x86"
    # One core's worth beside the whole x64 suite; its output follows the x64 half's.
    (half x86 -L x86 -j 1 "$@") >"$GRABOTINE_RUN/x86.txt" 2>&1 &
    x86=$!
else
    echo "x86 half skipped: this host runs no 32-bit x86 code (the 32-bit Wine loader does not start)"
fi
rc=0
(half x64 -j "$(nproc)" "$@") 2>&1 | tee "$GRABOTINE_RUN/x64.txt" || rc=1
if [ -n "${x86:-}" ]; then
    wait "$x86" || rc=1
    echo "== x86 half"
    cat "$GRABOTINE_RUN/x86.txt"
fi
if wait "$analysis"; then
    echo "Static analysis: no findings"
else
    cat "$GRABOTINE_RUN/analysis.txt"
    echo "Static analysis: FINDINGS (above)"
    rc=1
fi
echo "Tests took $(($(date +%s) - start)) s of wall time"
# One closing line over both halves, from CTest's own summaries.
passed=0 failed=0
for arch in $halves; do
    line=$(grep -E "tests passed, [0-9]+ tests failed out of [0-9]+" "$GRABOTINE_RUN/$arch.txt" ||
           true)
    if [ -z "$line" ]; then
        echo "$arch half: no CTest summary" && rc=1 && continue
    fi
    f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    t=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
    passed=$((passed + t - f)) failed=$((failed + f))
done
echo "$passed passed, $failed failed"
exit $rc

#!/usr/bin/env bash
# Runs every test headless, both cores busy: each CTest entry gets a test desktop of its own
# (tests/desktop.sh) with a Wine prefix copied from the one booted here.
set -euo pipefail

BUILD=$(cd "${1:-build}" && pwd)
shift || true
start=$(date +%s)

. "$(dirname "$0")/headless_env.sh"
export GRABOTINE_RUN
GRABOTINE_RUN=$(mktemp -d /tmp/grabotine-run.XXXXXX)
# Under set -e a failing command in the trap would become the run's exit status.
trap 'WINEPREFIX=$GRABOTINE_TEMPLATE wineserver -k 2>/dev/null || true; rm -rf "$GRABOTINE_RUN"' EXIT
export GRABOTINE_TEMPLATE=$GRABOTINE_RUN/template

# The static analysis needs no desktop: it runs beside the tests, at a lower priority, in
# the time they spend waiting on Wine and X.
nice -n 19 "$(dirname "$0")/static_analysis.sh" "$BUILD" >"$GRABOTINE_RUN/analysis.txt" 2>&1 &
analysis=$!

HOME=$GRABOTINE_RUN boot_template "$GRABOTINE_TEMPLATE"
echo "Wine prefix template booted in $(($(date +%s) - start)) s"

cd "$BUILD"
rc=0
ctest --output-on-failure --timeout 600 -j "$(nproc)" "$@" || rc=$?
if wait "$analysis"; then
  echo "Static analysis: no findings"
else
  cat "$GRABOTINE_RUN/analysis.txt"
  echo "Static analysis: FINDINGS (above)"
  rc=1
fi
echo "Tests took $(($(date +%s) - start)) s of wall time"
exit $rc

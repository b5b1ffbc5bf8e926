#!/usr/bin/env bash
# Runs one command on a test desktop of its own (see start_desktop in headless_env.sh).
# usage: desktop.sh KIND COMMAND...
set -euo pipefail
. "$(dirname "$0")/headless_env.sh"
start_desktop "$1" "${DESKTOP_GEOMETRY:-}"
shift
rc=0
"$@" || rc=$?
exit $rc

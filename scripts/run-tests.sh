#!/usr/bin/env bash
# Runs every test of the built trees; scripts/test.sh calls it after the
# build. Starts its own X server and Wine session and stops them again.
set -uo pipefail
source "$(dirname "$0")/wine-env.sh"

cleanup() {
    wine_prefix_down
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
}
trap cleanup EXIT

xvfb_up || exit 1
wine_prefix_up

status=0
# The unit suites, a line each; then the end-to-end files, whose output
# streams, so every case shows as it ends.
ctest --test-dir "$ORVO_BUILD" --output-on-failure --timeout 600 --label-exclude e2e || status=1
ctest --test-dir "$ORVO_BUILD" --output-on-failure --label-regex e2e --verbose || status=1
if [ -x "$ORVO_ROOT/scripts/test-imagehost.sh" ]; then
    "$ORVO_ROOT/scripts/test-imagehost.sh" || status=1
fi
exit $status

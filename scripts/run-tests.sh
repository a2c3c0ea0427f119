#!/usr/bin/env bash
# Runs every test of the built trees; scripts/test.sh calls it after the
# build. Starts its own X server and Wine session and stops them again.
set -uo pipefail
source "$(dirname "$0")/wine-env.sh"

cleanup() {
    [ -n "${host_pid:-}" ] && kill "$host_pid" 2>/dev/null
    wine_prefix_down
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
}
trap cleanup EXIT

xvfb_up || exit 1
wine_prefix_up

status=0
# The image host's suites need neither the X server nor Wine, and the Windows
# tests spend most of their time waiting on them: the two run side by side.
# The host's output follows the Windows tests', whole, when both are done.
host_log=$(mktemp /tmp/orvo-imagehost-tests.XXXXXX)
host_pid=
if [ -x "$ORVO_ROOT/scripts/test-imagehost.sh" ]; then
    echo "run-tests: the image host's tests run beside the Windows tests (log: $host_log)"
    timeout --kill-after=30 1800 "$ORVO_ROOT/scripts/test-imagehost.sh" >"$host_log" 2>&1 &
    host_pid=$!
fi

# The unit suites, a line each; then the end-to-end files, whose output
# streams, so every case shows as it ends.
ctest --test-dir "$ORVO_BUILD" --output-on-failure --timeout 600 --label-exclude e2e || status=1
ctest --test-dir "$ORVO_BUILD" --output-on-failure --label-regex e2e --verbose || status=1

if [ -n "$host_pid" ]; then
    wait "$host_pid" || { status=1; echo "run-tests: the image host's tests FAILED" >&2; }
    echo "=== the image host's tests ==="
    cat "$host_log"
    rm -f "$host_log"
fi
exit $status

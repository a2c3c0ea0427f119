#!/usr/bin/env bash
# Runs one piece of the tests quickly and leaves nothing behind: an X server,
# a Wine session with a server kept alive (every Wine process then starts in
# a fraction of a second) and a private network namespace, as the whole test
# command has; all of it ends with the run.
#   scripts/test-one.sh test_capture.py                  one end-to-end file
#   scripts/test-one.sh test_capture.CaptureTest.test_x  one end-to-end test
#   scripts/test-one.sh SettingsStore                    ctest entries matching
# Builds what changed first (scripts/build.sh must have run once); the
# installer tests need scripts/package.sh as well. --no-build skips it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ $# -eq 0 ] || [ "$*" = "--no-build" ]; then
    sed -n '2,10s/^# \{0,1\}//p' "$0" >&2
    exit 2
fi
if [ "${1:-}" = "--no-build" ]; then
    shift
elif [ -z "${ORVO_TEST_ONE_INSIDE:-}" ]; then
    [ -f "$root/build/x86_64/build.ninja" ] || { echo "test-one: run scripts/build.sh first" >&2; exit 1; }
    nice ninja -C "$root/build/x86_64"
    [ ! -f "$root/build/imagehost/build.ninja" ] || nice ninja -C "$root/build/imagehost"
fi

# Port 80 on 127.0.0.1 is the tests' own in a private network namespace.
if [ -z "${ORVO_TEST_ONE_INSIDE:-}" ] && [ "$(id -u)" -eq 0 ] && unshare -n true 2>/dev/null; then
    exec env ORVO_TEST_ONE_INSIDE=1 unshare -n bash -c 'ip link set lo up && exec "$0" --no-build "$@"' "$0" "$@"
fi

source "$root/scripts/wine-env.sh"
cleanup() {
    wine_prefix_down
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
    return 0
}
trap cleanup EXIT
xvfb_up
wine_prefix_up

status=0
for piece in "$@"; do
    case "$piece" in
        *test_*)
            # An end-to-end file or test, named by path, file or unittest id.
            id=$(basename "$piece")
            id=${id%.py}
            id=${id#e2e.}
            (cd "$root/tests/e2e" && ORVO_BUILD_DIR="$ORVO_BUILD" python3 -m unittest -v "$id") || status=1
            ;;
        *)
            ctest --test-dir "$ORVO_BUILD" --output-on-failure -R "$piece" || status=1
            ;;
    esac
done
exit $status

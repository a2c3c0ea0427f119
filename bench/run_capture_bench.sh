#!/usr/bin/env bash
# Capture figures in one command: Print Screen to the frozen screen painted,
# and the idle program's memory, at 1920x1080 and at 3840x2160 (an Xvfb and
# a Wine virtual desktop of each size), then the magnifier's cost per mouse
# move.
#   bench/run_capture_bench.sh [RUNS]
# RUNS timed captures per size (19 by default: with the first, untimed one,
# the memory is read after 20 captures). Builds what it needs into
# ORVO_BUILD (default build/x86_64); starts and stops its own X servers and
# a Wine prefix of its own. ORVO_BENCH_SIZES="1920x1080" measures one size.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-19}
source "$root/scripts/wine-env.sh"
# Not the tests' prefix: a test run in the same tree is left alone.
export WINEPREFIX=$ORVO_BUILD/bench-wineprefix

work=$(mktemp -d /tmp/orvo-capture-bench.XXXXXX)
XVFB_PID=
cleanup() {
    wine_prefix_down
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The X client needs the Xlib and XTest headers; only this benchmark does.
missing=()
for pkg in libx11-dev libxtst-dev; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    echo "installing ${missing[*]}..." >&2
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null 2>&1 ||
        { $SUDO apt-get update -qq && $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null; }
fi

echo "building..." >&2
cmake -S "$root" -B "$ORVO_BUILD" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64.cmake" >/dev/null
ninja -C "$ORVO_BUILD" orvocapture wintool desktopkeeper tickerwindow plainfreeze magnifier_bench >/dev/null
gcc -std=c11 -O2 -Wall -Wextra -Werror -o "$work/capture_latency" "$root/bench/capture_latency.c" -lX11 -lXtst

status=0
for size in ${ORVO_BENCH_SIZES:-1920x1080 3840x2160}; do
    echo "starting a ${size} screen..." >&2
    XVFB_SIZE=$size xvfb_up
    wine_prefix_up
    ORVO_DESKTOP_SIZE=$size ORVO_BUILD_DIR=$ORVO_BUILD \
        python3 "$root/bench/capture_bench.py" "$work/capture_latency" "$runs" | tee -a "$work/figures.txt" ||
        status=1
    if [ "$size" = 1920x1080 ]; then
        # The magnifier draws into a compatible bitmap of the screen: any
        # screen serves, the image sizes are its own.
        wine "$ORVO_BUILD/bench/magnifier_bench.exe" </dev/null 2>/dev/null | tr -d '\r' > "$work/magnifier.txt" ||
            status=1
    fi
    wine_prefix_down
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
done

echo
echo "=== capture figures ==="
cat "$work/figures.txt"
cat "$work/magnifier.txt"
exit $status

#!/usr/bin/env bash
# Refreshes the README's screenshots in docs/ from the real program, on an
# X server and in a Wine prefix of its own (build/screenshots/wineprefix).
# Names of pictures as arguments take only those (see scripts/screenshots.py).
# As root it runs in a private network namespace, where the image host that
# the result dialog needs may own port 80.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${ORVO_SCREENSHOTS_INSIDE:-}" != 1 ]; then
    "$root/scripts/install-deps.sh"
    "$root/scripts/build.sh" --x86_64-only >/dev/null
    export ORVO_SCREENSHOTS_INSIDE=1
    if [ "$(id -u)" -eq 0 ] && unshare -n true 2>/dev/null; then
        exec unshare -n bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
    fi
fi

export WINEPREFIX="$root/build/screenshots/wineprefix"
source "$root/scripts/wine-env.sh"
cleanup() {
    wine_prefix_down
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT
XVFB_SIZE=1280x1024 xvfb_up
wine_prefix_up
ORVO_BUILD_DIR="$ORVO_BUILD" python3 "$root/scripts/screenshots.py" "$@"

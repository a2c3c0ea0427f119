#!/usr/bin/env bash
# Takes the README's pictures of the Settings dialog and the About box
# (docs/settings-dialog.png, docs/about-box.png) from the built x86_64 tree,
# on an Xvfb and Wine prefix of its own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh"
trap 'wine_prefix_down; [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null' EXIT
xvfb_up
wine_prefix_up
ORVO_BUILD_DIR="$ORVO_BUILD" python3 "$root/scripts/screenshots-settings.py"

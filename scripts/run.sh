#!/usr/bin/env bash
# Builds OrvoCapture and the image host, starts the image host on
# 127.0.0.1:80 and the program in a Wine virtual desktop on the current
# display (or on a new Xvfb when there is none). Ends when the desktop
# window is closed or on Ctrl+C.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" --x86_64-only
source "$root/scripts/wine-env.sh"

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wine_prefix_down
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT INT TERM

if [ -z "${DISPLAY:-}" ]; then
    xvfb_up
    echo "No display: OrvoCapture runs on the virtual X server $DISPLAY."
    echo "Look at it with:  DISPLAY=$DISPLAY import -window root shot.png"
    echo "Press keys with:  DISPLAY=$DISPLAY xdotool key Print"
fi
wine_prefix_up

# The image host answers the uploads at http://localhost/upload.php.
if [ "$(id -u)" -eq 0 ]; then
    # One person on this machine: no per-client upload limits.
    "$root/scripts/run-imagehost.sh" --listen 127.0.0.1:80 --public-url http://localhost \
        --upload-rate 0 --upload-bytes-per-hour 0 \
        >"$root/build/imagehost.log" 2>&1 &
    pids+=($!)
    echo "Image host: http://localhost/ (log: build/imagehost.log)"
else
    echo "Not root: the image host needs port 80; start it with sudo scripts/run-imagehost.sh" >&2
fi

echo "OrvoCapture is in the notification area of the 'OrvoCapture' desktop."
echo "Print Screen captures the screen, Alt+Print Screen the active window."
wine explorer /desktop=OrvoCapture,1280x1024 "$ORVO_BUILD/orvocapture.exe" &
pids+=($!)
wait

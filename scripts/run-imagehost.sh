#!/usr/bin/env bash
# Builds the image-hosting service if needed and runs it in the foreground.
# Extra arguments go to the service and override the defaults below, e.g.
#   scripts/run-imagehost.sh --listen 127.0.0.1:8080 --public-url http://127.0.0.1:8080
# The default listen address, 127.0.0.1:80, needs root (or CAP_NET_BIND_SERVICE).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/imagehost"

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root/imagehost" -B "$build" -G Ninja >&2
fi
cmake --build "$build" --target imagehost >&2

exec "$build/imagehost" --data-dir "$root/build/imagehost-data" "$@"

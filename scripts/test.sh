#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the unit
# and end-to-end tests of the Windows program under Wine and Xvfb, and the
# image host's tests. Exits non-zero when anything fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/install-deps.sh"
# Builds both targets and the release in build/dist, which the installer
# tests install and unpack.
"$root/scripts/package.sh"

# The tests run in a private network namespace: there they may own port 80
# on 127.0.0.1 without root's port colliding with anything on the machine.
runner="$root/scripts/run-tests.sh"
if [ "$(id -u)" -eq 0 ] && unshare -n true 2>/dev/null; then
    exec unshare -n bash -c 'ip link set lo up && exec "$0"' "$runner"
fi
echo "note: no private network namespace (needs root); tests that need port 80 will skip" >&2
exec "$runner"

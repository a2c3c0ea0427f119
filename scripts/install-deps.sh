#!/usr/bin/env bash
# Installs everything the build, the tests and the run command need from
# Debian's packages. Idempotent and quiet when all is there already.
set -euo pipefail

PACKAGES=(
    # Windows program: cross compilers, Wine, X server and input tools
    cmake ninja-build python3
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    wine wine64 xvfb xauth xdotool xclip x11-utils imagemagick libxfixes3
    googletest iproute2 util-linux curl
    # Release: installers and the portable zip (scripts/package.sh)
    nsis zip
    # Image host: a native Linux service
    g++ libboost1.81-dev libsqlite3-dev libssl-dev openssl clang libclang-rt-14-dev
)

missing=()
for pkg in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$pkg")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq "${missing[@]}" >/dev/null

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
    g++ libboost1.81-dev libsqlite3-dev libssl-dev openssl clang libclang-rt-14-dev libcurl4-openssl-dev libpq-dev
)
# Engines the image host's shared-storage tests run on, without their
# recommendations (those would add hundreds of MB the tests never use).
ENGINE_PACKAGES=(
    postgresql-15 swift-proxy swift-object swift-container swift-account memcached nginx
)

missing_of() {
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            echo "$pkg"
        fi
    done
}

mapfile -t missing < <(missing_of "${PACKAGES[@]}")
mapfile -t missing_engines < <(missing_of "${ENGINE_PACKAGES[@]}")
[ ${#missing[@]} -eq 0 ] && [ ${#missing_engines[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]} ${missing_engines[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
[ ${#missing[@]} -eq 0 ] || $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
[ ${#missing_engines[@]} -eq 0 ] ||
    $SUDO apt-get install -y -qq --no-install-recommends "${missing_engines[@]}" >/dev/null

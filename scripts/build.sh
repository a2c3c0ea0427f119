#!/usr/bin/env bash
# Builds the Windows program: x86_64 with its tests (run under Wine) and
# i686 with its tests (built only, so the 32-bit build keeps compiling; these
# machines cannot execute 32-bit code; no benchmarks); and the image host, which the
# end-to-end uploads talk to.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_type=${BUILD_TYPE:-Release}

cmake -S "$root" -B "$root/build/x86_64" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64.cmake" >/dev/null
ninja -C "$root/build/x86_64"

cmake -S "$root/imagehost" -B "$root/build/imagehost" -G Ninja >/dev/null
ninja -C "$root/build/imagehost"

if [ "${1:-}" != "--x86_64-only" ]; then
    cmake -S "$root" -B "$root/build/i686" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686.cmake" -DORVO_BUILD_TESTS=ON \
        -DORVO_BUILD_BENCHMARKS=OFF >/dev/null
    ninja -C "$root/build/i686"
fi

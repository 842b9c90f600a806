#!/bin/bash
# Builds both targets: x86_64 (the one the tests run) and i686 (the shipping
# build), and prints the SHA-256 of the two programs of each.
# Usage: scripts/build.sh [x86_64|i686 ...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(x86_64 i686)

for target in "${targets[@]}"; do
    build="$root/build/$target"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$target.cmake" >/dev/null
    cmake --build "$build"
    echo "built $build: SHA-256"
    (cd "$build" && sha256sum LumoInstall.exe LumoCheck.exe)
done

#!/bin/bash
# The same bytes from the same commit: LumoInstall.exe and LumoCheck.exe
# built once more, from a copy of the source in folders of other names and
# depths, are byte for byte the programs of the build under test.
# Usage: reproducible.sh x86_64|i686 SOURCE BUILD_TYPE INSTALLER CHECKER
set -u
arch="$1"
source="$2"
type="$3"
installer="$4"
checker="$5"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
again="$work/another checkout/LumoInstall"

start=$(date +%s)
mkdir -p "$again/src"
tar -C "$source" --exclude=./build --exclude=./.git -cf - . | tar -C "$again/src" -xf - ||
    { echo "FAIL: copying the source"; exit 1; }
{ cmake -S "$again/src" -B "$again/b" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DLUMO_BUILD_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$again/src/cmake/mingw-$arch.cmake" &&
    cmake --build "$again/b" --target LumoInstall LumoCheck; } >"$work/build.log" 2>&1 ||
    { cat "$work/build.log"; echo "FAIL: the second build"; exit 1; }
echo "built again in $(($(date +%s) - start)) s"

status=0
for pair in "$installer:$again/b/LumoInstall.exe" "$checker:$again/b/LumoCheck.exe"; do
    first="${pair%%:*}"
    second="${pair#*:}"
    sha256sum "$first" "$second"
    if ! cmp -s "$first" "$second"; then
        echo "FAIL: $(basename "$first") differs in $(cmp -l "$first" "$second" | wc -l) bytes;" \
            "the first (offset from 1, octal bytes):"
        cmp -l "$first" "$second" | head -n 8
        status=1
    fi
done
exit $status

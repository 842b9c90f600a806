#!/bin/bash
# Builds the engine benchmark of both builds if needed and runs each under
# Wine, in a prefix of its own: x86_64 natively, then i686, the build that
# ships, as a 32-bit program under WOW64. Extra arguments go to both programs
# (see bench/EngineBench.cpp), for example: bench/run.sh --rounds 5 --profile
# Environment: BUILDS (default "x86_64 i686"). Without a display it runs under
# xvfb-run.
set -e
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
source_dir=$(cd "$(dirname "$0")/.." && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

status=0
summary=""
for arch in ${BUILDS:-x86_64 i686}; do
    build_dir=$source_dir/build/$arch
    export WINEPREFIX=$build_dir/bench/wineprefix
    if [ ! -f "$build_dir/build.ninja" ]; then
        cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-$arch.cmake" >/dev/null
    fi
    cmake --build "$build_dir" --target engine_bench >/dev/null
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "creating the Wine prefix $WINEPREFIX"
        wineboot -i </dev/null >/dev/null 2>&1
        wineserver -w
    fi
    # 64-bit programs start directly, not through the 32-bit loader.
    loader=wine
    if [ "$arch" = x86_64 ] && [ -x /usr/lib/wine/wine64 ]; then
        loader=/usr/lib/wine/wine64
    fi

    echo "== the $arch build"
    # The trees live on the prefix's drive C:, where the installer writes too.
    work_unix="$WINEPREFIX/drive_c/lumo-bench"
    rm -rf "$work_unix"
    output=$(mktemp)
    set +e
    "$loader" "$build_dir/bench/engine_bench.exe" --work 'C:\lumo-bench' "$@" </dev/null | tee "$output"
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
    set -e
    summary+="$arch:"$'\n'$(grep -E ' ratio |MB file|longest' "$output" | sed 's/^/  /')$'\n'
    rm -f "$output"
    rm -rf "$work_unix"
    wineserver -k 2>/dev/null || true
done

echo
echo "== both builds"
printf '%s' "$summary"
exit $status

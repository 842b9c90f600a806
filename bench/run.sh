#!/bin/bash
# Builds the engine benchmark if needed and runs it under Wine, in a prefix of
# its own. Extra arguments go to the program (see bench/EngineBench.cpp), for
# example: bench/run.sh --rounds 5 --profile
# Environment: BUILD_DIR (default build/x86_64 in the source tree),
# BENCH_PREFIX (default $BUILD_DIR/bench/wineprefix). Without a display it runs
# under xvfb-run.
set -e
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$source_dir/build/x86_64}
export WINEPREFIX=${BENCH_PREFIX:-$build_dir/bench/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [ ! -f "$build_dir/build.ninja" ]; then
    cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-x86_64.cmake" >/dev/null
fi
cmake --build "$build_dir" --target engine_bench >/dev/null

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating the Wine prefix $WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
fi

# The trees live on the prefix's drive C:, where the installer writes too.
work_unix="$WINEPREFIX/drive_c/lumo-bench"
rm -rf "$work_unix"
status=0
wine "$build_dir/bench/engine_bench.exe" --work 'C:\lumo-bench' "$@" </dev/null || status=$?
rm -rf "$work_unix"
wineserver -k 2>/dev/null || true
exit $status

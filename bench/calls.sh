#!/bin/bash
# The Wine server requests of one silent run of each installer, per
# application file and per component, next to the times of the traced runs
# (bench/calls.py does the work). The counts, not the times, are what to
# compare: they hardly move from one run to the next.
#
# Usage: bench/calls.sh [--files F] [--kilobytes K] [--components C]
#                       [--peers copy,nsis,lumo] [--keep]
# Defaults: 100 and 200 files of 50 KB on average, 30 components. It installs
# nsis when it is missing and builds what it needs of build/i686. Without a
# display it runs under xvfb-run.
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
root=$(cd "$(dirname "$0")/.." && pwd)

if ! command -v makensis >/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "installing nsis"
    $sudo apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends nsis >/dev/null
fi

build=$root/build/i686
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
fi
cmake --build "$build" --target LumoInstall lumo_component_reg_s_ok peer_timer >/dev/null

exec python3 "$root/bench/calls.py" --work "$build/calls" --installer "$build/LumoInstall.exe" \
    --component "$build/tests/components/out/reg_s_ok.dll" --timer "$build/bench/peer_timer.exe" "$@"

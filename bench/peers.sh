#!/bin/bash
# The peer benchmark: the same generated delivery installed silently by a
# 32-bit plain copy (the floor), an MSI built with wixl, an NSIS installer and
# the shipping i686 LumoInstall.exe /S, each run in a fresh Wine prefix of its
# own, in interleaved rounds; every run is checked, then the medians and their
# ratios are printed (bench/peers.py does the work).
#
# Usage: bench/peers.sh [--files N] [--megabytes M] [--components N]
#                       [--rounds N] [--floor copy|xcopy] [--work DIR] [--keep]
# Defaults: 2000 files, 100 MB, 300 components, 3 rounds, the prefixes in
# build/i686/peers (--work /dev/shm/peers keeps a busy disk out of the times). It installs nsis and
# wixl when they are missing and builds what it needs of build/i686. Without a
# display it runs under xvfb-run.
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
root=$(cd "$(dirname "$0")/.." && pwd)

missing=()
command -v makensis >/dev/null || missing+=(nsis)
command -v wixl >/dev/null || missing+=(wixl)
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "installing ${missing[*]}"
    $sudo apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi

build=$root/build/i686
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
fi
cmake --build "$build" --target LumoInstall lumo_component_reg_s_ok peer_timer >/dev/null

exec python3 "$root/bench/peers.py" --work "$build/peers" --installer "$build/LumoInstall.exe" \
    --component "$build/tests/components/out/reg_s_ok.dll" --timer "$build/bench/peer_timer.exe" "$@"

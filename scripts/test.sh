#!/bin/bash
# Installs what is needed, builds both targets and runs every test under Wine
# (with an Xvfb display when none is set).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

"$root/scripts/setup.sh"
"$root/scripts/build.sh" x86_64 i686

# The shipping build cannot run here; check what it imports.
cmake -DOBJDUMP=i686-w64-mingw32-objdump -DEXE="$root/build/i686/LumoInstall.exe" \
    -P "$root/tests/CheckImports.cmake"

cd "$root/build/x86_64"
ctest_args=(--output-on-failure --timeout 900)
if [ -n "${DISPLAY:-}" ]; then
    ctest "${ctest_args[@]}"
else
    xvfb-run -a -s "-screen 0 1280x1024x24" ctest "${ctest_args[@]}"
fi

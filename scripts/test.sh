#!/bin/bash
# Installs what is needed, builds both targets and runs every test under Wine
# (with an Xvfb display when none is set): first the x86_64 build, the fast
# one, then i686, the build that ships, as a 32-bit program under WOW64.
# CTest names each test after its build (x86_64.e2e_tests, i686.e2e_tests).
# Usage: scripts/test.sh [x86_64|i686 ...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(x86_64 i686)

"$root/scripts/setup.sh"
"$root/scripts/build.sh" "${targets[@]}"

status=0
for target in "${targets[@]}"; do
    echo "== tests of the $target build"
    cd "$root/build/$target"
    ctest_args=(--output-on-failure --timeout 1200)
    if [ -n "${DISPLAY:-}" ]; then
        ctest "${ctest_args[@]}" || status=1
    else
        xvfb-run -a -s "-screen 0 1280x1024x24" ctest "${ctest_args[@]}" || status=1
    fi
done
exit $status

#!/bin/sh
# Runs a Windows program of a test build under Wine, in the test run's own prefix.
# Usage: wine-run.sh x86_64|i686 PREFIX PROGRAM [ARGS...]
arch="$1"
WINEPREFIX="$2"
shift 2
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# With 32-bit Wine installed, plain "wine" starts 64-bit programs through the
# 32-bit loader, under the emulator; the 64-bit loader starts them directly.
if [ "$arch" = x86_64 ] && [ -x /usr/lib/wine/wine64 ]; then
    exec /usr/lib/wine/wine64 "$@"
fi
exec wine "$@"

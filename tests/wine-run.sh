#!/bin/sh
# Runs a Windows program of the test build under Wine, in the test run's own prefix.
# Usage: wine-run.sh PREFIX PROGRAM [ARGS...]
WINEPREFIX="$1"
shift
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"

#!/bin/sh
# Creates (setup) or stops (cleanup) the Wine prefix of one test run.
# Usage: wine-prefix.sh setup|cleanup PREFIX
set -e
action="$1"
WINEPREFIX="$2"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
case "$action" in
setup)
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    # Let the first boot finish, then keep one server up for the whole run.
    wineserver -w
    wineserver -p
    test -f "$WINEPREFIX/system.reg"
    ;;
cleanup)
    wineserver -k 2>/dev/null || true
    ;;
*)
    echo "usage: $0 setup|cleanup PREFIX" >&2
    exit 2
    ;;
esac

#!/bin/sh
# An unattended installation needs no display: the sample delivery installed
# with /S by a process that has no X display at all (a window would fail to
# open under Wine then). PROGRAM, when given, runs in place of the delivery's
# own LumoInstall.exe.
# Usage: silent-without-display.sh x86_64|i686 PREFIX DELIVERY [PROGRAM]
set -u
arch="$1"
prefix="$2"
delivery="$3"
program="${4:-}"
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$delivery" "$work/consegna"
if [ -n "$program" ]; then
    cp "$program" "$work/consegna/LumoInstall.exe"
fi
# A folder of this run's own for the log.
install_dir=$(printf 'Z:%s\\installazione' "$work" | tr / '\\')
sed -i "s|^InstallationDir=.*|InstallationDir=$(printf '%s' "$install_dir" | sed 's/\\/\\\\/g')\r|" \
    "$work/consegna/Installatore.ini"

env -u DISPLAY -u WAYLAND_DISPLAY "$here/wine-run.sh" "$arch" "$prefix" "$work/consegna/LumoInstall.exe" /S
code=$?
log="$work/installazione/Installatore.log"
if [ "$code" -ne 0 ]; then
    echo "exit code $code, expected 0"
    cat "$log" 2>/dev/null
    exit 1
fi
if ! grep -q 'FINE INSTALLAZIONE' "$log" 2>/dev/null; then
    echo "no complete log at $log"
    cat "$log" 2>/dev/null
    exit 1
fi
if grep -q -e 'NON RIUSCITA' -e 'NON PUO' -e 'NON E.' "$log"; then
    echo "a step failed:"
    cat "$log"
    exit 1
fi
cat "$log"

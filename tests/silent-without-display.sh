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
cp -r "$delivery" "$work/consegna"
if [ -n "$program" ]; then
    cp "$program" "$work/consegna/LumoInstall.exe"
fi
# A folder of this run's own for the log, and a product key of its own: a run
# records its folder there, where the next run of the product would find it.
# The folder lies on the prefix's own drive: every user may write to the
# host's /tmp, and Wine says so, so the program refuses a folder below it.
install_unix="$prefix/drive_c/lumo-silenziosa-$$"
install_dir="C:\\lumo-silenziosa-$$"
product="LumoSilent$$"
sed -i -e "s|^InstallationDir=.*|InstallationDir=$(printf '%s' "$install_dir" | sed 's/\\/\\\\/g')\r|" \
    -e "s|^PathKey=.*|PathKey=Software\\\\$product\r|" "$work/consegna/Installatore.ini"
forget() {
    for key in "HKLM\\Software\\$product" \
        "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"; do
        "$here/wine-run.sh" "$arch" "$prefix" reg delete "$key" /f /reg:32 >/dev/null 2>&1
    done
    rm -rf "$work" "$install_unix" "$prefix/drive_c/Program Files (x86)/LumoInstall/$product"
}
trap forget EXIT

# The prefix's desktop must already run, with the display: a program without
# one that had to start it would leave it without any for the window tests
# that follow. Its output goes to a file, so that no process it leaves behind
# keeps this test's output open.
"$here/wine-run.sh" "$arch" "$prefix" cmd.exe /c exit </dev/null >/dev/null 2>&1
env -u DISPLAY -u WAYLAND_DISPLAY "$here/wine-run.sh" "$arch" "$prefix" "$work/consegna/LumoInstall.exe" /S \
    </dev/null >"$work/out.txt" 2>&1
code=$?
log="$install_unix/Installatore.log"
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

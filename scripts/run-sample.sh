#!/bin/bash
# Builds the shipping (i686) LumoInstall and starts it under Wine, as a 32-bit
# program under WOW64, on the sample delivery (build/i686/sample-delivery).
# With a display, the wizard is yours to click
# through. Without one, an Xvfb display is started, the wizard is clicked
# through and its three pages are saved as PNG files in build/screenshots.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

"$root/scripts/setup.sh"
"$root/scripts/build.sh" i686

delivery="$root/build/i686/sample-delivery"
export WINEPREFIX="$root/build/sample-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

log_dir="$WINEPREFIX/drive_c/Pelvora/Tesmoro"
show_result() {
    echo
    echo "== $log_dir/Installatore.log"
    cat "$log_dir/Installatore.log" 2>/dev/null || echo "(no log written)"
    echo
}

if [ -n "${DISPLAY:-}" ]; then
    [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
    wine "$delivery/LumoInstall.exe" || true
    show_result
    wineserver -k 2>/dev/null || true
    exit 0
fi

# No display: a private Xvfb, a guided run and screenshots.
shots="$root/build/screenshots"
mkdir -p "$shots"
display_number=$((90 + RANDOM % 100))
Xvfb ":$display_number" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display_number"
cleanup() {
    wineserver -k 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
sleep 1
[ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1; wineserver -w; }
# No window manager here: let Wine draw the caption and frame itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1

# A copy of the delivery with extra data, so that the progress page stays up
# long enough to be captured.
run="$root/build/i686/sample-run"
rm -rf "$run"
cp -r "$delivery" "$run"
mkdir -p "$run/FilesToCopy/Dati"
sed -i 's/^NumeroFiles=.*/NumeroFiles=100\r/' "$run/Installatore.ini"
for i in $(seq 1 300); do
    head -c 1000000 /dev/zero > "$run/FilesToCopy/Dati/archivio$i.dat"
done

caption="Installazione Pelvora Tesmoro"
wine "$run/LumoInstall.exe" >/dev/null 2>&1 &
wine_pid=$!

window=$(timeout 60 xdotool search --sync --name "^$caption\$" | head -n 1)
sleep 1
capture() { import -window "$window" "$shots/$1.png"; echo "saved $shots/$1.png"; }
capture welcome
xdotool key --window "$window" Return
# Capture once the run is under way, while the bar is partly filled.
for _ in $(seq 1 100); do
    [ "$(grep -c 'Copiato il file' "$log_dir/Installatore.log" 2>/dev/null)" -ge 60 ] && break
    sleep 0.05
done
capture progress
# The run ends on the completion page; its Exit button reads "Fine".
for _ in $(seq 1 120); do
    if grep -q 'FINE INSTALLAZIONE' "$log_dir/Installatore.log" 2>/dev/null; then break; fi
    sleep 0.5
done
sleep 1
capture completion
xdotool key --window "$window" Escape
wait "$wine_pid" || true
show_result

#!/bin/bash
# Builds the shipping (i686) LumoInstall and starts it under Wine, as a 32-bit
# program under WOW64, on the sample delivery (build/i686/sample-delivery).
# With a display, the wizard is yours to click
# through. Without one, an Xvfb display is started, the wizard is clicked
# through, the product is removed again, and the three pages and the
# removal's question and final message are saved as PNG files in
# build/screenshots.
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

# The log is appended to by every run: wait for this run's lines.
count() {
    local lines
    lines=$(grep -c "$1" "$log_dir/Installatore.log" 2>/dev/null || true)
    echo "${lines:-0}"
}
copied_before=$(count 'Copiato il file')
ended_before=$(count 'FINE INSTALLAZIONE')
removed_before=$(count 'FINE RIMOZIONE')

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
    [ "$(count 'Copiato il file')" -ge $((copied_before + 60)) ] && break
    sleep 0.05
done
capture progress
# The run ends on the completion page; its Exit button reads "Fine".
for _ in $(seq 1 120); do
    [ "$(count 'FINE INSTALLAZIONE')" -gt "$ended_before" ] && break
    sleep 0.5
done
sleep 1
capture completion
xdotool key --window "$window" Escape
wait "$wine_pid" || true

# The removal, as Programs and Features starts it: its question and its end.
# Only once the installer has ended: one installation or removal at a time.
for _ in $(seq 1 100); do
    pgrep -f 'sample-run.LumoInstall.exe' >/dev/null || break
    sleep 0.1
done
# The Escape that ended the wizard must not reach the question of the removal.
sleep 2
product="Pelvora Tesmoro"
# The program the entry starts, in the product's home below Program Files.
uninstall=$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pelvora.Tesmoro' \
    /v UninstallString /reg:32 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *"\([^"]*\)".*/\1/p')
echo "removing with $uninstall /UNINSTALL"
wine "$uninstall" /UNINSTALL >/dev/null 2>&1 &
wine_pid=$!
window=$(timeout 60 xdotool search --sync --onlyvisible --name "^$product\$" | head -n 1)
sleep 1
capture removal-question
xdotool key --window "$window" y
for _ in $(seq 1 120); do
    [ "$(count 'FINE RIMOZIONE')" -gt "$removed_before" ] && break
    sleep 0.5
done
sleep 1
window=$(timeout 60 xdotool search --sync --onlyvisible --name "^$product\$" | head -n 1)
capture removal-done
# Wine may still hold the answered question a moment: press Return on
# whatever box of the removal is up until the program has ended.
for _ in $(seq 1 50); do
    kill -0 "$wine_pid" 2>/dev/null || break
    for box in $(xdotool search --onlyvisible --name "^$product\$" 2>/dev/null); do
        xdotool key --window "$box" Return 2>/dev/null || true
    done
    sleep 0.2
done
wait "$wine_pid" || true
show_result

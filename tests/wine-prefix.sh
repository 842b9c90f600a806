#!/bin/bash
# Creates (setup) or stops (cleanup) the Wine prefix of one test run.
# Usage: wine-prefix.sh setup|cleanup PREFIX
set -e
action="$1"
WINEPREFIX="$2"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Wine's long-lived helper processes inherit every open descriptor; none of
# them may hold the test runner's pipes open after this script ends.
for fd in /proc/$$/fd/*; do
    fd=${fd##*/}
    if [ "$fd" -gt 2 ] 2>/dev/null; then
        eval "exec $fd>&-" 2>/dev/null || true
    fi
done

# Whether this prefix's desktop process runs, with the display when there is one.
desktop_runs() {
    local pid environment
    for pid in $(pgrep -f 'explorer\.exe /desktop'); do
        environment=$(tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null) || continue
        grep -qxF "WINEPREFIX=$WINEPREFIX" <<<"$environment" || continue
        [ -z "${DISPLAY:-}" ] || grep -qxF "DISPLAY=$DISPLAY" <<<"$environment" || continue
        return 0
    done
    return 1
}

case "$action" in
setup)
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1
    # Let the first boot finish, then keep one server up for the whole run.
    wineserver -w </dev/null >/dev/null 2>&1
    wineserver -p </dev/null >/dev/null 2>&1
    # A crashing test program must fail at once, not wait on the debugger's dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
    # Wine's desktop process ends a while after its last program, and the
    # program that starts it again chooses its display: a test that runs a
    # program without one would leave the later window tests without any.
    # A waiting command keeps it alive, with this display, until the cleanup.
    setsid bash -c 'sleep 86400 | wine cmd.exe /k' </dev/null >/dev/null 2>&1 &
    keeper=$!
    echo $keeper >"$WINEPREFIX/desktop-keeper.pid"
    # On a busy machine the waiting command may take a while to start: the
    # setup ends only once it runs, and the desktop with it, so that no test
    # program becomes the desktop's parent.
    for _ in $(seq 1200); do
        pgrep -s "$keeper" -f 'cmd\.exe' >/dev/null && break
        sleep 0.5
    done
    # The waiting command is a console program and makes no desktop: the first
    # program that needs one starts it, with that program's display or none.
    # Started here, with this display, before any test program can.
    # (The 64-bit one, as Wine itself would start it in this 64-bit prefix.)
    explorer_loader=wine
    [ -x /usr/lib/wine/wine64 ] && explorer_loader=/usr/lib/wine/wine64
    setsid "$explorer_loader" explorer.exe /desktop </dev/null >/dev/null 2>&1 &
    for _ in $(seq 1200); do
        desktop_runs && break
        sleep 0.5
    done
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1
    pgrep -s "$keeper" -f 'cmd\.exe' >/dev/null
    desktop_runs
    test -f "$WINEPREFIX/system.reg"
    ;;
cleanup)
    if [ -f "$WINEPREFIX/desktop-keeper.pid" ]; then
        kill -- "-$(cat "$WINEPREFIX/desktop-keeper.pid")" 2>/dev/null || true
        rm -f "$WINEPREFIX/desktop-keeper.pid"
    fi
    wineserver -k 2>/dev/null || true
    ;;
*)
    echo "usage: $0 setup|cleanup PREFIX" >&2
    exit 2
    ;;
esac

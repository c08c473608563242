#!/usr/bin/env bash
# Starts the Windows build of the window (build-windows/veltrane.exe) under wine on a virtual X
# server with the windows platform plugin, drives it as a user would (the Package Check tab on the
# sample package, Enter), writes screenshots to build-windows/screenshots/ (the report; the system
# menu with its About entry) and checks that the remembered path landed in the registry key
# HKCU\Software\Veltrane, value LastPath. Usage: scripts/windows-smoke.sh [veltrane.exe]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh wine wine64 xvfb xdotool imagemagick
exe=$(realpath "${1:-build-windows/veltrane.exe}")
out=build-windows/screenshots
mkdir -p "$out"
rm -f "$out"/windows-*.png

export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-veltrane}"
unset QT_QPA_PLATFORM
mkdir -p "$WINEPREFIX"

virtual_display_pid=
app=
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null
    wineserver -k 2>/dev/null || true
    [ -n "$virtual_display_pid" ] && kill "$virtual_display_pid" 2>/dev/null
}
trap cleanup EXIT
# shellcheck source=scripts/virtual-display.sh
source scripts/virtual-display.sh
start_virtual_display

fail() {
    echo "windows smoke test failed: $*" >&2
    import -window root "$out/windows-failure.png" 2>/dev/null || true
    exit 1
}

# The sample package's path as the window shows it: Windows separators on wine's Z: drive.
sample="Z:$(realpath examples/SamplePackage | tr / '\\')"
wine reg delete 'HKCU\Software\Veltrane' /f >/dev/null 2>&1 || true
wine "$exe" "$sample" >/dev/null 2>&1 &
app=$!
window=$(wait_for_window) || fail "the window did not show within two minutes"
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
sleep 2

# Package Check is the fifth tab; it takes the path the first tab was given. Enter runs it.
for _ in 1 2 3 4; do
    xdotool key --window "$window" ctrl+Tab
    sleep 0.5
done
xdotool key --window "$window" Return
sleep 8
import -window "$window" "$out/windows-package-check.png"

# The system menu, opened from the keyboard, carries the About entry.
xdotool key --window "$window" alt+space
sleep 2
import -window root "$out/windows-system-menu.png"
xdotool key --window "$window" Escape
sleep 1

# Quitting stores the remembered path in the registry.
xdotool key --window "$window" alt+F4
for _ in $(seq 60); do
    kill -0 "$app" 2>/dev/null || break
    sleep 0.5
done
kill -0 "$app" 2>/dev/null && fail "the window did not close on Alt+F4"
app=
stored=$(wine reg query 'HKCU\Software\Veltrane' /v LastPath 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *LastPath *REG_SZ *//p')
[ "$stored" = "$sample" ] || fail "HKCU\\Software\\Veltrane LastPath holds '$stored', not '$sample'"
echo "HKCU\\Software\\Veltrane LastPath: $stored"
ls -1 "$out"/windows-*.png

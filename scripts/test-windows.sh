#!/usr/bin/env bash
# The Windows build, tried here: installs mingw-w64, wine and the virtual X tools when missing,
# provides the static Windows Qt and libarchive (scripts/windows-deps.sh), cross-builds veltrane.exe,
# veltrane-cli.exe and every test for 64-bit Windows, runs the tests under wine (the window's on the
# offscreen platform), and then starts veltrane.exe under wine on a virtual X server, drives it and
# takes its screenshots (scripts/windows-smoke.sh, into build-windows/screenshots/).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh g++-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64 xvfb xdotool imagemagick
bash scripts/windows-deps.sh >/dev/null

export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-veltrane}"
# One persistent wine server for the whole run; the first start creates the prefix (slow, once).
mkdir -p "$WINEPREFIX"
wineserver -p
wine cmd /c exit >/dev/null 2>&1 || true
trap 'wineserver -k 2>/dev/null || true' EXIT

cmake --workflow --preset windows-test
bash scripts/windows-smoke.sh

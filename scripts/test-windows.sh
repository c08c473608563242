#!/usr/bin/env bash
# Installs mingw-w64 and wine when missing, cross-builds the core, veltrane-cli and their tests for
# 64-bit Windows and runs the tests under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh g++-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64

export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-veltrane}"
# One persistent wine server for the whole run; the first start creates the prefix (slow, once).
mkdir -p "$WINEPREFIX"
wineserver -p
wine cmd /c exit >/dev/null 2>&1 || true
trap 'wineserver -k 2>/dev/null || true' EXIT

cmake --workflow --preset windows-test

#!/usr/bin/env bash
# Shows the folder picker on a sample tree under a virtual X server and writes
# build/screenshots/picker.png (folders only, with a completion) and picker-all-files.png.
# Usage: scripts/picker_screenshot.sh [output-folder]   (BUILD_DIR=... to use another build)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build="${BUILD_DIR:-build}"
out="${1:-build/screenshots}"

if [ -z "${BUILD_DIR:-}" ]; then
    cmake --preset default >/dev/null
fi
cmake --build "$build" -j2 --target veltrane-picker-screenshot

runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
chmod 0700 "$runtime"
XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1024x768x24" \
    "$build/tests/dialogs/veltrane-picker-screenshot" "$out"

#!/usr/bin/env bash
# Shows each tab of Veltrane with a run's result on the sample package, under a virtual X server,
# and writes one PNG per tab (and one each of the About box and the progress window) to
# build/screenshots/. No desktop needed.
# Usage: scripts/screenshots.sh [output-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
out="${1:-build/screenshots}"

cmake --preset default >/dev/null
cmake --build --preset default --target veltrane-screenshot-tour

runtime=$(mktemp -d)
config=$(mktemp -d)
trap 'rm -rf "$runtime" "$config"' EXIT
chmod 0700 "$runtime"
mkdir -p "$out"

# A private settings folder, so the pictures never touch the user's remembered path.
XDG_RUNTIME_DIR="$runtime" XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24" \
    build/tests/veltrane-screenshot-tour examples/SamplePackage "$out"
ls -1 "$out"/*.png

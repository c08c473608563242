#!/usr/bin/env bash
# Shows each tab of Veltrane with a run's result on the sample package, under a virtual X server,
# and writes one PNG per tab (and one each of the About box and the progress window) to
# build/screenshots/, and the sample package's HTML report as report.png. No desktop needed.
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

# The sample package's HTML report as a browser shows it: Debian's chromium, headless, installed here
# only for this picture.
if ! command -v chromium >/dev/null 2>&1; then
    bash scripts/apt-step.sh "Installing chromium" apt-get install -y --no-install-recommends chromium
fi
cmake --build --preset default --target veltrane-cli
status=0
build/cli/veltrane-cli check --html "$out/report.html" examples/SamplePackage >/dev/null 2>&1 || status=$?
if ((status > 1)); then  # 1: the sample's problems were found, as they should be
    echo "veltrane-cli check failed with status $status" >&2
    exit "$status"
fi
sandbox=()
if ((EUID == 0)); then
    sandbox=(--no-sandbox)  # chromium refuses to start as root with its sandbox
fi
chromium --headless "${sandbox[@]}" --disable-gpu --hide-scrollbars --window-size=1100,1500 \
    --screenshot="$(realpath "$out")/report.png" "file://$(realpath "$out/report.html")" >/dev/null 2>&1
ls -1 "$out/report.png"

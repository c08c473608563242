#!/usr/bin/env bash
# Installs what is missing, builds Veltrane and starts it. Without a display that answers it says
# so and runs the command-line tools on the bundled sample package instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

# The window needs an X server (XWayland's on a Wayland desktop) that answers; a DISPLAY left over
# from an ended session would make the program abort as it starts.
if [ -n "${DISPLAY:-}" ] && [ -x build/veltrane ] && timeout 5 xdpyinfo >/dev/null 2>&1; then
    exec build/veltrane
fi

sample=examples/SamplePackage
cli=build/cli/veltrane-cli
if [ -n "${DISPLAY:-}" ]; then
    echo "The display $DISPLAY does not answer: showing the command-line tools on the sample package ($sample)."
elif [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "No X display (the window needs XWayland on Wayland): showing the command-line tools on the sample package ($sample)."
else
    echo "No display found: showing the command-line tools on the sample package ($sample)."
fi
for args in "names --recursive $sample" "list $sample" "paths --folder $sample" "versions --folder $sample"; do
    echo
    echo "\$ veltrane-cli $args"
    # Findings give exit status 1; that is the point of the sample, so do not stop on it.
    $cli $args || true
done

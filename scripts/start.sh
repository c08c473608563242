#!/usr/bin/env bash
# Installs what is missing, builds Veltrane (the program and the command-line tool only; the test
# command builds the rest) and starts it. Without a display that answers it says so and runs the
# command-line tools on the bundled sample package instead. The terminal gets one line per step;
# the build's output goes to build/build.log, named with its last lines when a step fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

log=$PWD/build/build.log
mkdir -p build
: >"$log"
step() {
    local label=$1
    shift
    printf '%s... ' "$label"
    if "$@" >>"$log" 2>&1; then
        echo done
    else
        local status=$?
        echo failed
        echo "The build failed (status $status); its output is in $log. The last lines:" >&2
        tail -n 20 "$log" >&2
        exit "$status"
    fi
}
step "Configuring the build" cmake --preset default
step "Building veltrane and veltrane-cli (a few minutes the first time)" \
    cmake --build --preset default --target veltrane veltrane-cli

# The window needs an X server (XWayland's on a Wayland desktop) that answers; a DISPLAY left over
# from an ended session would make the program refuse to start.
if [ -n "${DISPLAY:-}" ] && timeout 5 xdpyinfo >/dev/null 2>&1; then
    exec build/veltrane
fi

sample=examples/SamplePackage
if [ -n "${DISPLAY:-}" ]; then
    echo "The display $DISPLAY does not answer: showing the command-line tools on the sample package ($sample)."
elif [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "No X display (the window needs XWayland on Wayland): showing the command-line tools on the sample package ($sample)."
else
    echo "No display found: showing the command-line tools on the sample package ($sample)."
fi
# Run beside the sample, so that every tool names its files from ./SamplePackage on (List Maker's
# headings, which name each folder from the listed folder's parent, as ../SamplePackage).
cli=$PWD/build/cli/veltrane-cli
cd "$(dirname "$sample")"
name=./$(basename "$sample")
echo
echo "\$ cd $(dirname "$sample")"
for args in "names --recursive $name" "list $name" "paths --folder $name" "versions --folder $name" \
            "package $name" "check $name"; do
    echo
    echo "\$ veltrane-cli $args"
    # Findings give exit status 1; that is the point of the sample, so do not stop on it.
    "$cli" $args || true
done

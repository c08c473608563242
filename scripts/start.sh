#!/usr/bin/env bash
# Installs what is missing, builds Veltrane and starts it. Without a display it says so and runs
# the command-line tools on the bundled sample package instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/veltrane ]; then
    exec build/veltrane
fi

sample=examples/SamplePackage
cli=build/cli/veltrane-cli
echo "No display found: showing the command-line tools on the sample package ($sample)."
for args in "names --recursive $sample" "list $sample" "paths --folder $sample" "versions --folder $sample"; do
    echo
    echo "\$ veltrane-cli $args"
    # Findings give exit status 1; that is the point of the sample, so do not stop on it.
    $cli $args || true
done

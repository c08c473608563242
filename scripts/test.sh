#!/usr/bin/env bash
# Installs what is missing, builds Veltrane and runs every test (GUI tests on the offscreen platform).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 0700 "$XDG_RUNTIME_DIR"
cmake --workflow --preset test

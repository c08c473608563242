#!/usr/bin/env bash
# Installs what is missing and makes the Debian package build-package/veltrane_<version>_amd64.deb
# (optimised, stripped, with the desktop entry, the manual pages and the sample package).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
rm -f build-package/veltrane_*.deb
cmake --workflow --preset package
ls "$PWD"/build-package/veltrane_*.deb

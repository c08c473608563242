#!/usr/bin/env bash
# Installs what is missing and makes the Debian package build-package/veltrane_<version>_amd64.deb
# (optimised, stripped, with the desktop entry, the manual pages, the changelog and the sample
# package), compiled and linked with Debian's hardening flags as dpkg-buildflags gives them
# (fortified, stack protector, read-only relocations bound at start).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
rm -f build-package/veltrane_*.deb
flags() {
    DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"
}
cmake --preset package -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)"
cmake --build --preset package
cpack --preset package
ls "$PWD"/build-package/veltrane_*.deb

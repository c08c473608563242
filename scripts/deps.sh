#!/usr/bin/env bash
# Installs the Debian packages that building, testing and packaging Veltrane need, when they are
# missing. The package manager's output goes to build/apt.log; the terminal gets one line per step.
# Usage: scripts/deps.sh [extra-package ...]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake ninja-build pkg-config qt6-base-dev libgtest-dev libcli11-dev
          nlohmann-json3-dev zlib1g-dev libarchive-dev xvfb xauth x11-utils fonts-dejavu-core
          help2man appstream desktop-file-utils file python3 "$@")

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

log=${VELTRANE_APT_LOG:-build/apt.log}
[[ $log == /* ]] || log=$PWD/$log
plural=s
[ ${#missing[@]} -eq 1 ] && plural=
echo "Veltrane needs ${#missing[@]} Debian package$plural that $([ -n "$plural" ] && echo are || echo is) missing: ${missing[*]}"
# shellcheck source=scripts/as-root.sh
source scripts/as-root.sh
need_root "Installing them" "apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
echo "(The package manager's output goes to $log.)"
bash scripts/apt-step.sh "Updating the package lists" apt-get update
bash scripts/apt-step.sh "Installing them" \
    apt-get install -y --no-install-recommends "${missing[@]}"

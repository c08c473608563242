#!/usr/bin/env bash
# Runs one package-manager step as root, through sudo when not run as root. Its output goes to a
# log ($VELTRANE_APT_LOG, build/apt.log by default); the terminal gets one line for the step, and on
# failure the log's name and its last lines.
# Usage: scripts/apt-step.sh "What the step does" apt-get ARGUMENT...
set -euo pipefail
cd "$(dirname "$0")/.."
label=$1
shift

log=${VELTRANE_APT_LOG:-build/apt.log}
[[ $log == /* ]] || log=$PWD/$log
mkdir -p "$(dirname "$log")"

# shellcheck source=scripts/as-root.sh
source scripts/as-root.sh
need_root "$label" "$*"

printf '%s... ' "$label"
printf '\n==> %s: %s\n' "$(date '+%F %T')" "$*" >>"$log"
# Waits for another package manager (an automatic update, say) instead of failing at once.
if "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive "$@" -o DPkg::Lock::Timeout=300 >>"$log" 2>&1 </dev/null; then
    echo done
else
    status=$?
    echo failed
    echo "The package manager failed (status $status); its output is in $log. The last lines:" >&2
    tail -n 15 "$log" >&2
    exit "$status"
fi

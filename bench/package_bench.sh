#!/usr/bin/env bash
# Times Package Check on the large generated tree against Check Paths' folder mode on the same tree
# (both read every library file once) in one run (warm cache) and prints the ratio:
#   veltrane-cli package TREE   against   veltrane-cli paths --folder TREE
# Both exit 1 when they find something, hence --ignore-failure. Required: at most 1.5 times
# paths --folder; peak memory at most 64 MiB; linear in the tree's size (small against large).
source "$(dirname "$0")/common.sh"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

large="$TREES/${1:-large}"
small="$TREES/small"
hyperfine --warmup 2 --runs "${RUNS:-10}" --ignore-failure --export-csv "$out/times.csv" \
    "'$CLI' paths --folder '$large'" \
    "'$CLI' package '$large'" \
    "'$CLI' package '$small'" >/dev/null

paths_time=$(mean_of "$out/times.csv" 1)
package_time=$(mean_of "$out/times.csv" 2)
small_time=$(mean_of "$out/times.csv" 3)
files=$(find "$large" -type f | wc -l)
small_files=$(find "$small" -type f | wc -l)
echo "tree: $large ($files files); small tree: $small_files files"
printf 'package: %.4f s, paths --folder: %.4f s\n' "$package_time" "$paths_time"
printf 'ratio to paths --folder: %s (required at most 1.5)\n' "$(ratio "$package_time" "$paths_time")"
printf 'small -> large: %sx the time for %sx the files\n' "$(ratio "$package_time" "$small_time")" \
    "$(ratio "$files" "$small_files")"
peak=$(peak_kib "$CLI" package "$large" || true)  # exits 1: it finds something
printf 'peak memory of veltrane-cli package: %s KiB (limit 65536)\n' "$peak"

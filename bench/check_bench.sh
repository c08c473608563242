#!/usr/bin/env bash
# Times veltrane-cli check on the large generated tree against the four runs it stands for, in one
# run (warm cache), and prints the ratio:
#   check TREE   against   names --recursive + paths --folder + versions --folder + package TREE
# All exit 1 when they find something, hence --ignore-failure. Target: at most 0.5 of the sum.
source "$(dirname "$0")/common.sh"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

large="$TREES/${1:-large}"
hyperfine --warmup 2 --runs "${RUNS:-10}" --ignore-failure --export-csv "$out/times.csv" \
    "'$CLI' check '$large'" \
    "'$CLI' names --recursive '$large'" \
    "'$CLI' paths --folder '$large'" \
    "'$CLI' versions --folder '$large'" \
    "'$CLI' package '$large'" >/dev/null

check_time=$(mean_of "$out/times.csv" 1)
sum=0
for row in 2 3 4 5; do
    sum=$(awk -v a="$sum" -v b="$(mean_of "$out/times.csv" "$row")" 'BEGIN { print a + b }')
done
files=$(find "$large" -type f | wc -l)
echo "tree: $large ($files files)"
printf 'check: %.4f s, the four runs together: %.4f s\n' "$check_time" "$sum"
printf 'ratio check / (names + paths + versions + package): %s (target at most 0.5)\n' \
    "$(ratio "$check_time" "$sum")"
peak=$(peak_kib "$CLI" check "$large" || true)  # exits 1: it finds something
printf 'peak memory of veltrane-cli check: %s KiB\n' "$peak"

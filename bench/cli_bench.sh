#!/usr/bin/env bash
# Times veltrane-cli against find on the large generated tree in one run (warm cache) and prints
# the ratios:
#   names --recursive TREE   against   find TREE -name <32 characters or more>
#   list TREE                against   find TREE -type f | sort
# Every command runs through the shell, whose start-up hyperfine subtracts, so the pipe of the
# list comparison costs the same as the others. Required: ratio at most 1.5; target 1.2.
source "$(dirname "$0")/common.sh"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

tree="$TREES/${1:-large}"
long_name=$(printf '?%.0s' $(seq 32))'*'  # 32 characters, then anything: names of 32 or more

hyperfine --warmup 2 --runs "${RUNS:-10}" --export-csv "$out/times.csv" \
    "find '$tree' -name '$long_name'" \
    "'$CLI' names --recursive '$tree'" \
    "find '$tree' -type f | LC_ALL=C sort" \
    "'$CLI' list '$tree'" >/dev/null

find_names=$(mean_of "$out/times.csv" 1)
cli_names=$(mean_of "$out/times.csv" 2)
find_list=$(mean_of "$out/times.csv" 3)
cli_list=$(mean_of "$out/times.csv" 4)
echo "tree: $tree ($(find "$tree" -type f | wc -l) files, $(find "$tree" -mindepth 1 -type d | wc -l) folders)"
printf 'names: veltrane-cli %.4f s, find -name %.4f s, ratio %s\n' "$cli_names" "$find_names" \
    "$(ratio "$cli_names" "$find_names")"
printf 'list:  veltrane-cli %.4f s, find | sort %.4f s, ratio %s\n' "$cli_list" "$find_list" \
    "$(ratio "$cli_list" "$find_list")"

#!/usr/bin/env bash
# Times the Version Number check on the large generated tree against ripgrep in one run (warm
# cache) and prints the ratio:
#   veltrane-cli versions --folder TREE   against
#   rg -j1 -m1 -F -e "number 5" -e "number 4" over the same nine Poser file types
# The CLI answers the "Files to Fix" question with Cancel, so nothing is rewritten. Both exit
# non-zero when they find something, hence --ignore-failure. Required: ratio at most 1.5;
# target 1.0.
source "$(dirname "$0")/common.sh"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

tree="$TREES/${1:-large}"
globs=""
for ext in cm2 pz2 lt2 pp2 cr2 fc2 hr2 pz3 hd2; do
    globs="$globs --iglob '*.$ext'"
done
rg_cmd="rg -j1 -m1 -F -e 'number 5' -e 'number 4' --no-ignore --hidden $globs '$tree'"

hyperfine --warmup 2 --runs "${RUNS:-10}" --ignore-failure --export-csv "$out/times.csv" \
    "$rg_cmd" \
    "'$CLI' versions --folder '$tree'" >/dev/null

rg_time=$(mean_of "$out/times.csv" 1)
cli_time=$(mean_of "$out/times.csv" 2)
files=$(eval "rg --files --no-ignore --hidden $globs '$tree'" | wc -l)
echo "tree: $tree ($files Poser files)"
printf 'versions: veltrane-cli %.4f s, rg -j1 -m1 %.4f s, ratio %s\n' "$cli_time" "$rg_time" \
    "$(ratio "$cli_time" "$rg_time")"
printf 'peak memory of veltrane-cli versions: %s KiB\n' "$(peak_kib "$CLI" versions --folder "$tree")"

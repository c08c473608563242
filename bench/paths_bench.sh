#!/usr/bin/env bash
# Times the Check Paths run on the large generated tree against ripgrep and grep in one run (warm
# cache) and prints both ratios:
#   veltrane-cli paths --folder TREE   against
#   rg -j1 -c -F -e textureMap -e reflectionMap -e transparencyMap   and
#   grep -rcF -e textureMap -e reflectionMap -e transparencyMap
# both over the eight file types that the folder mode reads. The CLI exits 1 when it finds
# something, hence --ignore-failure. Required: at most 1.5 times rg -j1, target 1.0; peak memory at
# most 32 MiB. Then the per-line cost of the line loops, from the micro-benchmark when it was built.
source "$(dirname "$0")/common.sh"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

tree="$TREES/${1:-large}"
keywords="-e textureMap -e reflectionMap -e transparencyMap"
rg_globs=""
grep_globs=""
for ext in cr2 fc2 lt2 hr2 pp2 pz3 pz2 cm2; do
    upper=$(echo "$ext" | tr a-z A-Z)
    rg_globs="$rg_globs --iglob '*.$ext'"
    grep_globs="$grep_globs --include='*.$ext' --include='*.$upper'"
done
rg_cmd="rg -j1 -c -F --no-ignore --hidden $keywords $rg_globs '$tree'"
grep_cmd="grep -rcF $keywords $grep_globs '$tree'"

hyperfine --warmup 2 --runs "${RUNS:-10}" --ignore-failure --export-csv "$out/times.csv" \
    "$rg_cmd" \
    "$grep_cmd" \
    "'$CLI' paths --folder '$tree'" >/dev/null

rg_time=$(mean_of "$out/times.csv" 1)
grep_time=$(mean_of "$out/times.csv" 2)
cli_time=$(mean_of "$out/times.csv" 3)
eval "rg --files --no-ignore --hidden $rg_globs '$tree'" >"$out/files"
files=$(wc -l <"$out/files")
read -r lines bytes < <(tr '\n' '\0' <"$out/files" | xargs -0 cat | wc -lc)
echo "tree: $tree ($files Poser files, $lines lines, $((bytes / 1024 / 1024)) MiB)"
printf 'paths: veltrane-cli %.4f s, rg -j1 %.4f s, grep -r %.4f s\n' "$cli_time" "$rg_time" "$grep_time"
printf 'ratio to rg -j1: %s (required at most 1.5, target 1.0)\n' "$(ratio "$cli_time" "$rg_time")"
printf 'ratio to grep -r: %s\n' "$(ratio "$cli_time" "$grep_time")"
peak=$(peak_kib "$CLI" paths --folder "$tree" || true)  # the CLI exits 1: it finds something
printf 'peak memory of veltrane-cli paths: %s KiB (limit 32768)\n' "$peak"

if [ -x "$BUILD/bench/veltrane-microbench" ]; then
    "$BUILD/bench/veltrane-microbench" --benchmark_filter='LiteralReadLineLoop|LineScanner' 2>/dev/null |
        awk '/^BM_/ { for (i = 1; i <= NF; i++) if ($i ~ /^ns\/line=/) { sub("ns/line=", "", $i); print "per line, " substr($1, 4) ": " $i } }'
fi

#!/usr/bin/env bash
# Times the reading tools with their files read ahead on every core, against ripgrep with its own
# default threads, on the large generated tree, in one run, and prints the ratios and the thread
# count:
#   veltrane-cli paths --folder TREE      against rg -F -c (the texture keywords, eight Poser types)
#   veltrane-cli versions --folder TREE   against rg -m1 -F ("number 5", "number 4", nine types)
# each also with --threads 1 for the run without read-ahead. Target: at most 0.9 times rg; required:
# at most 1.0. Warm cache first; then, where the page cache may be dropped (root on Linux), cold, with
# the cache dropped before every run. Peak memory with and without read-ahead last.
# Usage: bench/parallel_bench.sh [small|large]   (RUNS=N sets the runs per command, COLD=0 skips cold)
source "$(dirname "$0")/common.sh"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

tree="$TREES/${1:-large}"
path_globs=""
for ext in cr2 fc2 lt2 hr2 pp2 pz3 pz2 cm2; do
    path_globs="$path_globs --iglob '*.$ext'"
done
version_globs=""
for ext in cm2 pz2 lt2 pp2 cr2 fc2 hr2 pz3 hd2; do
    version_globs="$version_globs --iglob '*.$ext'"
done
rg_paths="rg -c -F --no-ignore --hidden -e textureMap -e reflectionMap -e transparencyMap $path_globs '$tree'"
rg_versions="rg -m1 -F --no-ignore --hidden -e 'number 5' -e 'number 4' $version_globs '$tree'"
cli_paths="'$CLI' paths --folder '$tree'"
cli_versions="'$CLI' versions --folder '$tree'"
threads=$(nproc)
[ "$threads" -gt 8 ] && threads=8

# measure LABEL [hyperfine options...]: the six commands in one hyperfine run, then the ratios.
measure() {
    local label=$1
    shift
    hyperfine "$@" --runs "${RUNS:-10}" --ignore-failure --export-csv "$out/times.csv" \
        "$rg_paths" "$cli_paths" "$cli_paths --threads 1" \
        "$rg_versions" "$cli_versions" "$cli_versions --threads 1" >/dev/null
    local t=()
    for row in 1 2 3 4 5 6; do
        t+=("$(mean_of "$out/times.csv" "$row")")
    done
    printf '%s, paths:    veltrane-cli %.4f s (%s threads), --threads 1 %.4f s, rg %.4f s; ratio %s (1 thread: %s)\n' \
        "$label" "${t[1]}" "$threads" "${t[2]}" "${t[0]}" "$(ratio "${t[1]}" "${t[0]}")" "$(ratio "${t[2]}" "${t[0]}")"
    printf '%s, versions: veltrane-cli %.4f s (%s threads), --threads 1 %.4f s, rg -m1 %.4f s; ratio %s (1 thread: %s)\n' \
        "$label" "${t[4]}" "$threads" "${t[5]}" "${t[3]}" "$(ratio "${t[4]}" "${t[3]}")" "$(ratio "${t[5]}" "${t[3]}")"
}

echo "tree: $tree; $threads threads; target at most 0.9 times rg, required at most 1.0"
measure "warm" --warmup 2
if [ "${COLD:-1}" != 0 ] && (sync && echo 3 >/proc/sys/vm/drop_caches) 2>/dev/null; then
    measure "cold" --prepare 'sync; echo 3 > /proc/sys/vm/drop_caches'
else
    echo "cold: skipped (the page cache cannot be dropped here)"
fi
printf 'peak memory of veltrane-cli paths: %s KiB, with --threads 1: %s KiB\n' \
    "$(peak_kib "$CLI" paths --folder "$tree" || true)" "$(peak_kib "$CLI" paths --folder "$tree" --threads 1 || true)"

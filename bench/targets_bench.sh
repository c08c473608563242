#!/usr/bin/env bash
# Every speed and memory target of the reading tools on one tree, side by side in one hyperfine run
# (warm; then cold where the page cache can be dropped), with each target's ratio:
#   paths --folder          at most 0.9x rg -n        (the texture keywords, the eight Poser types)
#   paths --folder --json   at most 1.0x rg --json
#   versions --folder       at most 0.9x rg -m1
#   package                 at most 1.3x paths --folder
#   check                   at most 0.55x names + paths + versions + package
#   list                    at most 1.0x find -type f | sort
# and peak memory: at most 64 MiB for one tool, 150 MiB for check.
# Usage: bench/targets_bench.sh [small|large|long|TREE]   (RUNS=N runs per command, COLD=0 skips cold)
source "$(dirname "$0")/common.sh"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

tree="${1:-large}"
if [ "$tree" = long ] && [ ! -d "$TREES/long/Runtime" ]; then
    # 9,000 Poser files of a few hundred KiB with long lines among 36,000 files (1.9 GB): bytes weigh most.
    mkdir -p "$TREES/long"
    "$BUILD/bench/veltrane-gentree" "$TREES/long" 222 long
fi
[ -d "$tree" ] || tree="$TREES/$tree"
globs=""
for ext in cr2 fc2 lt2 hr2 pp2 pz3 pz2 cm2; do
    globs="$globs --iglob '*.$ext'"
done
keys="-e textureMap -e reflectionMap -e transparencyMap -e bumpMap"
rg="rg -F --no-ignore --hidden $globs"
commands=(
    "$rg -n $keys '$tree'"
    "'$CLI' paths --folder '$tree'"
    "$rg --json $keys '$tree'"
    "'$CLI' paths --folder --json '$tree'"
    "$rg -m1 -e 'number 5' -e 'number 4' --iglob '*.hd2' '$tree'"
    "'$CLI' versions --folder '$tree'"
    "'$CLI' package '$tree'"
    "'$CLI' names --recursive '$tree'"
    "'$CLI' check '$tree'"
    "find '$tree' -type f | LC_ALL=C sort"
    "'$CLI' list '$tree'"
)

measure() {
    local label=$1
    shift
    hyperfine "$@" --runs "${RUNS:-5}" --ignore-failure --export-csv "$out/times.csv" \
        "${commands[@]}" >/dev/null
    local t=()
    for row in $(seq "${#commands[@]}"); do
        t+=("$(mean_of "$out/times.csv" "$row")")
    done
    local parts
    parts=$(awk -v a="${t[7]}" -v b="${t[1]}" -v c="${t[5]}" -v d="${t[6]}" 'BEGIN { print a + b + c + d }')
    printf '%s paths    %.3f s, rg -n %.3f s: %s (target 0.9)\n' "$label" "${t[1]}" "${t[0]}" "$(ratio "${t[1]}" "${t[0]}")"
    printf '%s json     %.3f s, rg --json %.3f s: %s (target 1.0)\n' "$label" "${t[3]}" "${t[2]}" "$(ratio "${t[3]}" "${t[2]}")"
    printf '%s versions %.3f s, rg -m1 %.3f s: %s (target 0.9)\n' "$label" "${t[5]}" "${t[4]}" "$(ratio "${t[5]}" "${t[4]}")"
    printf '%s package  %.3f s, paths %.3f s: %s (target 1.3)\n' "$label" "${t[6]}" "${t[1]}" "$(ratio "${t[6]}" "${t[1]}")"
    printf '%s check    %.3f s, four runs %.3f s: %s (target 0.55)\n' "$label" "${t[8]}" "$parts" "$(ratio "${t[8]}" "$parts")"
    printf '%s list     %.3f s, find | sort %.3f s: %s (target 1.0)\n' "$label" "${t[10]}" "${t[9]}" "$(ratio "${t[10]}" "${t[9]}")"
}

echo "tree: $tree ($(find "$tree" -type f | wc -l) files)"
measure warm --warmup 1
if [ "${COLD:-1}" != 0 ] && (sync && echo 3 >/proc/sys/vm/drop_caches) 2>/dev/null; then
    measure cold --prepare 'sync; echo 3 > /proc/sys/vm/drop_caches'
fi
for tool in "names --recursive" "paths --folder" "versions --folder" package list check; do
    # shellcheck disable=SC2086
    printf 'peak memory %-18s %6s KiB (limit %s MiB)\n' "$tool" "$(peak_kib "$CLI" $tool "$tree" || true)" \
        "$([ "$tool" = check ] && echo 150 || echo 64)"
done

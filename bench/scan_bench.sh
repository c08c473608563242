#!/usr/bin/env bash
# Times a full scan of the generated trees in each order code against `find TREE` in the same run
# (warm cache) and prints the ratios, the growth from the small to the large tree, and peak memory.
source "$(dirname "$0")/common.sh"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

for size in small large; do
    tree="$TREES/$size"
    hyperfine -N --warmup 2 --runs 10 --export-csv "$out/$size.csv" \
        "find $tree" \
        "$BUILD/bench/veltrane-scan $tree 0" \
        "$BUILD/bench/veltrane-scan $tree 4" \
        "$BUILD/bench/veltrane-scan $tree 5" >/dev/null
    find_s=$(mean_of "$out/$size.csv" 1)
    echo "$size tree ($(find "$tree" -type f | wc -l) files): find $(printf %.4f "$find_s") s"
    for row in 2 3 4; do
        code=$(( row == 2 ? 0 : row == 3 ? 4 : 5 ))
        s=$(mean_of "$out/$size.csv" $row)
        echo "  order $code: $(printf %.4f "$s") s, ratio to find $(ratio "$s" "$find_s")"
    done
done
for row in 1 2 3 4; do
    echo "growth small -> large, row $row: $(ratio "$(mean_of "$out/large.csv" $row)" "$(mean_of "$out/small.csv" $row)")x"
done
for code in 0 4 5; do
    echo "peak memory, order $code, large tree: $(peak_kib "$BUILD/bench/veltrane-scan" "$TREES/large" $code) KiB"
done
echo "peak memory, find, large tree: $(peak_kib find "$TREES/large") KiB"

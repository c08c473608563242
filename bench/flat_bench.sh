#!/usr/bin/env bash
# Times List Maker and File Names on one flat folder of 25,000 and of 200,000 empty files (warm
# cache), against `find DIR -type f | sort` in the same run, and prints the ratios and the growth
# from the smaller folder to the larger. Ordered insertion within one big folder must stay close to
# linear: 8 times the files should cost about 8 times the time, not 64 times.
source "$(dirname "$0")/common.sh"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

for count in 25000 200000; do
    dir="$TREES/flat-$count"
    if [ ! -f "$dir.complete" ]; then
        rm -rf "$dir"
        mkdir -p "$dir"
        (cd "$dir" && seq -f "file%06g.txt" 1 "$count" | xargs touch) && touch "$dir.complete"
    fi
    hyperfine --warmup 1 --runs "${RUNS:-5}" --export-csv "$out/$count.csv" \
        "find '$dir' -type f | LC_ALL=C sort" \
        "'$CLI' list '$dir'" \
        "'$CLI' names '$dir'" >/dev/null
    find_s=$(mean_of "$out/$count.csv" 1)
    list_s=$(mean_of "$out/$count.csv" 2)
    names_s=$(mean_of "$out/$count.csv" 3)
    printf '%6d files: find | sort %.4f s, list %.4f s (ratio %s), names %.4f s (ratio %s)\n' "$count" \
        "$find_s" "$list_s" "$(ratio "$list_s" "$find_s")" "$names_s" "$(ratio "$names_s" "$find_s")"
done
for row in 1 2 3; do
    echo "growth 25000 -> 200000, row $row: $(ratio "$(mean_of "$out/200000.csv" $row)" "$(mean_of "$out/25000.csv" $row)")x"
done

#!/usr/bin/env bash
# Times Check Paths on a zip of the large generated tree against the same run on the unpacked tree,
# in one run (warm cache), and prints the ratio:
#   veltrane-cli paths ARCHIVE.zip   against   veltrane-cli paths --folder TREE
# The zip is made once in the build folder (deflate, as packers store packages). Decompression is the
# cost: required at most 2 times the folder run. Peak memory of the archive run is printed too: the
# archive is streamed, so it stays near the folder run's, whatever the archive's size.
source "$(dirname "$0")/common.sh"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

name=${1:-large}
tree="$TREES/$name"
zip="$BUILD/$name.zip"  # the build folder is ours to write; the trees may be shared
if [ ! -f "$zip" ]; then
    bash "$REPO/scripts/deps.sh" zip >/dev/null
    (cd "$tree" && zip -q -r "$zip.part" .)
    mv "$zip.part" "$zip"
fi

hyperfine --warmup 2 --runs "${RUNS:-10}" --ignore-failure --export-csv "$out/times.csv" \
    "'$CLI' paths --folder '$tree'" \
    "'$CLI' paths '$zip'" >/dev/null

folder_time=$(mean_of "$out/times.csv" 1)
zip_time=$(mean_of "$out/times.csv" 2)
echo "tree: $tree ($(du -sm "$tree" | cut -f1) MiB); archive: $zip ($(du -sm "$zip" | cut -f1) MiB)"
printf 'paths: archive %.4f s, folder %.4f s\n' "$zip_time" "$folder_time"
printf 'ratio archive to folder: %s (required at most 2)\n' "$(ratio "$zip_time" "$folder_time")"
printf 'peak memory of veltrane-cli paths: archive %s KiB, folder %s KiB\n' \
    "$(peak_kib "$CLI" paths "$zip" || true)" "$(peak_kib "$CLI" paths --folder "$tree" || true)"

# Shared set-up of the benchmark scripts: builds the "bench" preset, makes sure the tools are
# there and generates the synthetic trees once (bench/trees/small, bench/trees/large).
set -euo pipefail
BENCH_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
REPO="$(dirname "$BENCH_DIR")"
BUILD="$REPO/build-bench"
TREES="${VELTRANE_BENCH_TREES:-$BENCH_DIR/trees}"

bash "$REPO/scripts/deps.sh" hyperfine ripgrep time libbenchmark-dev >/dev/null
cmake --preset bench -S "$REPO" >/dev/null
cmake --build --preset bench >/dev/null

for size in small large; do
    if [ ! -d "$TREES/$size/Runtime" ]; then
        mkdir -p "$TREES/$size"
        "$BUILD/bench/veltrane-gentree" "$TREES/$size" "$size"
    fi
done
CLI="$BUILD/cli/veltrane-cli"

# mean_of CSV_FILE ROW -> mean seconds of that hyperfine result row (1-based, after the header)
mean_of() { awk -F, -v row="$2" 'NR == row + 1 { print $2 }' "$1"; }

# ratio A B -> A / B with two decimals
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# peak_kib CMD... -> peak resident memory of one run, in KiB
peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }

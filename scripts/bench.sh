#!/usr/bin/env bash
# Builds the benchmarks (Release), runs every one of them with repetitions, and prints one table of
# ratios against their peers and baselines (bench/ratios.tsv). A ratio below 1 means Kel is faster.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${KEL_BUILD_ROOT:-$root/build-bench}
repetitions=${KEL_BENCH_REPETITIONS:-5}

bash "$root/scripts/deps.sh" test
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKEL_BUILD_BENCH=ON -DKEL_BUILD_TESTS=OFF \
    -DKEL_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

results=()
for program in "$build"/bench/bench_*; do
    [ -x "$program" ] || continue
    name=$(basename "$program")
    echo "== $name" >&2
    (cd "$build/bench" && "$program" --benchmark_repetitions="$repetitions" \
        --benchmark_report_aggregates_only=true --benchmark_enable_random_interleaving=true \
        --benchmark_out="$build/$name.json" --benchmark_out_format=json >"$build/$name.txt")
    results+=("$build/$name.json")
done
python3 "$root/scripts/bench_table.py" "$root/bench/ratios.tsv" "${results[@]}"

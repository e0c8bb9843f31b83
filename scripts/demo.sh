#!/usr/bin/env bash
# Builds Kel and runs the demo tour: every example program, the introduction first.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${KEL_BUILD_ROOT:-$root/build-demo}

bash "$root/scripts/deps.sh" demo
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

cd "$build"
programs=(examples/example_demo)
for program in examples/example_*; do
    [ "$program" = examples/example_demo ] || programs+=("$program")
done
for program in "${programs[@]}"; do
    echo
    echo "==== ${program#examples/example_}"
    "./$program"
done

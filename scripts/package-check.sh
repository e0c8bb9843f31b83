#!/usr/bin/env bash
# Builds the Debian runtime and development packages of a Linux build, unpacks both into an empty
# prefix, and builds and runs the consumer program against that prefix, as a user of the packages would.
# Usage: package-check.sh BUILD_DIR
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/debs" >"$work/cpack.log") || { cat "$work/cpack.log"; exit 1; }
for package in "$work"/debs/libkel*.deb; do
    echo "package: $(basename "$package")"
    dpkg-deb -x "$package" "$work/root"
done
prefix="$work/root/usr"
cp -r "$root/tests/consumer" "$work/src"
cmake -S "$work/src" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
LD_LIBRARY_PATH="$prefix/lib" "$work/cmake/consumer" | tee "$work/out"
grep -q "StringException 3" "$work/out"
echo "package check passed"

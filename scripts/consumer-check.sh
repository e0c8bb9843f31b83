#!/usr/bin/env bash
# Installs a built Kel into a temporary prefix, then builds and runs a program outside the source tree
# against it, once through find_package and, on Linux, once through pkg-config.
# Usage: consumer-check.sh BUILD_DIR [TOOLCHAIN_FILE]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
toolchain=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
cp -r "$root/tests/consumer" "$work/src"
expected="StringException 3"

if [ -z "$toolchain" ]; then
    cmake -S "$work/src" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
    cmake --build "$work/cmake" >/dev/null
    LD_LIBRARY_PATH="$work/prefix/lib" "$work/cmake/consumer" | tee "$work/out1"
    grep -q "$expected" "$work/out1"

    libdir=$(dirname "$(find "$work/prefix" -name kel.pc)")
    # A static library needs its private dependencies on the link line as well.
    static=()
    [ -e "$libdir/../libkel.a" ] && static=(--static)
    flags=$(PKG_CONFIG_PATH="$libdir" pkg-config "${static[@]}" --cflags --libs kel)
    # shellcheck disable=SC2086
    c++ -std=c++17 "$work/src/main.cpp" -o "$work/consumer-pc" $flags
    LD_LIBRARY_PATH="$libdir/.." "$work/consumer-pc" | tee "$work/out2"
    grep -q "$expected" "$work/out2"
else
    # The consumer uses the toolchain file and the Wine runner that the package installed.
    installed=$(dirname "$(find "$work/prefix" -name KelConfig.cmake)")
    cmake -S "$work/src" -B "$work/cmake" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$installed/$(basename "$toolchain")" \
        -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
    cmake --build "$work/cmake" >/dev/null
    WINEPATH="$work/prefix/bin" "$installed/wine-run.sh" "$work/cmake/consumer.exe" | tr -d '\r' | tee "$work/out1"
    grep -q "$expected" "$work/out1"
fi
echo "consumer check passed"

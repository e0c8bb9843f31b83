#!/usr/bin/env bash
# Installs the Debian packages Kel needs. "demo" installs what building and running the examples needs;
# "test" (the default) adds the Windows cross compiler, Wine, clang for the fuzzers, the benchmark peers,
# the database server and the sample XML files the tests read.
set -euo pipefail

demo_packages=(
    build-essential cmake ninja-build pkg-config
    unixodbc unixodbc-dev libsqliteodbc
)
test_packages=(
    "${demo_packages[@]}"
    googletest libgtest-dev libbenchmark-dev
    g++-mingw-w64-x86-64-posix wine64 wine
    clang libclang-rt-14-dev
    postgresql odbc-postgresql
    libpugixml-dev libtinyxml2-dev libxml2-dev
    xkb-data fontconfig-config polkitd shared-mime-info
    maven dbus gsettings-desktop-schemas adwaita-icon-theme appstream packagekit xorg-sgml-doctools
    python3 netcat-openbsd valgrind doxygen
)

case "${1:-test}" in
demo) wanted=("${demo_packages[@]}") ;;
test) wanted=("${test_packages[@]}") ;;
*) echo "usage: $0 [demo|test]" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y "${missing[@]}"
fi

#!/usr/bin/env bash
# Installs the Debian packages Kel needs, only those that are missing.
# Usage: deps.sh [demo | test | STAGE...]. "demo" installs what building and running the examples needs;
# a stage of scripts/test.sh (linux, valgrind, asan, tsan, windows, fuzz) adds what that stage needs, so
# that the Linux stages never pull in the Windows cross compiler or Wine; "test" (the default) is every
# stage.
set -euo pipefail

demo_packages=(
    build-essential cmake ninja-build pkg-config
    unixodbc unixodbc-dev libsqliteodbc
)
# GoogleTest, and the files of other packages that the XML tests read.
unit_test_packages=(googletest libgtest-dev python3 xkb-data fontconfig-config polkitd shared-mime-info)
database_server_packages=(postgresql odbc-postgresql)
linux_packages=(
    "${unit_test_packages[@]}" "${database_server_packages[@]}"
    libbenchmark-dev libpugixml-dev libtinyxml2-dev libxml2-dev doxygen netcat-openbsd clang-format-16
    # The example in today's idioms is also built by clang.
    clang
    # Read back by the XML round trip through a standard reader.
    maven dbus gsettings-desktop-schemas adwaita-icon-theme appstream packagekit xorg-sgml-doctools
)
sanitizer_packages=("${unit_test_packages[@]}" "${database_server_packages[@]}")
windows_packages=("${unit_test_packages[@]}" g++-mingw-w64-x86-64-posix wine64 wine)
fuzz_packages=(clang libclang-rt-14-dev)

[ $# -gt 0 ] || set -- test
[ "$*" = test ] && set -- linux valgrind asan tsan windows fuzz
wanted=("${demo_packages[@]}")
for profile in "$@"; do
    case "$profile" in
    demo) ;;
    linux) wanted+=("${linux_packages[@]}") ;;
    valgrind) wanted+=("${linux_packages[@]}" valgrind) ;;
    asan | tsan) wanted+=("${sanitizer_packages[@]}") ;;
    windows) wanted+=("${windows_packages[@]}") ;;
    fuzz) wanted+=("${fuzz_packages[@]}") ;;
    *) echo "usage: $0 [demo | test | linux | valgrind | asan | tsan | windows | fuzz ...]" >&2; exit 2 ;;
    esac
done

missing=()
for package in $(printf '%s\n' "${wanted[@]}" | sort -u); do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y "${missing[@]}"
fi

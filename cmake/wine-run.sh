#!/bin/sh
# Runs a Windows program under Wine with the MinGW runtime DLLs on its path.
gccdir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
export WINEPATH="${gccdir};/usr/x86_64-w64-mingw32/lib${WINEPATH:+;$WINEPATH}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEPREFIX="${WINEPREFIX:-${HOME:-/tmp}/.wine-kel}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"

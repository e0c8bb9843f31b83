#!/bin/sh
# Runs a Windows program under Wine with the MinGW runtime DLLs on its path.
gccdir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
export WINEPATH="${gccdir};/usr/x86_64-w64-mingw32/lib${WINEPATH:+;$WINEPATH}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEPREFIX="${WINEPREFIX:-${HOME:-/tmp}/.wine-kel}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Host-side set-up that must happen before Wine starts (the database tests write the host driver
# manager's data sources): a script named by KEL_WINE_SETUP, read into this shell.
if [ -n "${KEL_WINE_SETUP:-}" ]; then
    . "$KEL_WINE_SETUP"
fi
exec wine "$@"

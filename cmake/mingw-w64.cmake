# Cross build for 64-bit Windows with the posix thread model of MinGW-w64; the test programs run
# under Wine through the cross-compiling emulator. Installed with Kel's CMake package, so a consumer can
# pass -DCMAKE_TOOLCHAIN_FILE=<prefix>/lib/cmake/Kel/mingw-w64.cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KEL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KEL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KEL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KEL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages are looked for in the target's root first and then where CMAKE_PREFIX_PATH points, so a
# consumer finds an installed Windows build of Kel the usual way.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# The GCC runtime stays a DLL shared by kel.dll and the programs, so that one libstdc++ owns the
# std::ostream objects that cross the DLL boundary in dumps; Wine finds it through WINEPATH.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)

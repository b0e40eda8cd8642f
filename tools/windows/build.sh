#!/usr/bin/env bash
# Builds the Windows program zarnell-setup.exe, the command line zarnell-cli.exe and their tests
# (build/windows) with Debian's mingw-w64 against the Qt for Windows that build-qt.sh keeps in
# its cache, and the helpers that stay on Linux (build/windows-native): the simulated unit, the
# pty shim that lets Wine use a pseudo-terminal as a COM port, the library that makes chosen
# ports slow to open, and the icon renderer that draws the program's .ico file.
#   tools/windows/build.sh [--target TARGET...]    everything, or only the targets named
# Build paths stay out of the program (-ffile-prefix-map); the time in its PE header and its
# resources is SOURCE_DATE_EPOCH (GNU ld and rcc take it from there).
source "$(dirname "${BASH_SOURCE[0]}")/../prelude.sh"
cd "$root"
source packaging/source-date.sh
qt=$(bash tools/windows/build-qt.sh)

say "building the native helpers"
cmake -S . -B build/windows-native -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DZARNELL_BUILD_TESTS=ON >/dev/null
cmake --build build/windows-native -j "$jobs" --target zarnell-unit-sim zarnell_ptyshim \
    zarnell_slowports zarnell-icons

say "building windows against $qt"
toolchain="$qt/lib/cmake/Qt6/qt.toolchain.cmake"
# A build folder made with another toolchain cannot be reconfigured for this one.
if [[ -f build/windows/CMakeCache.txt ]] &&
    ! grep -qxF "CMAKE_TOOLCHAIN_FILE:FILEPATH=$toolchain" build/windows/CMakeCache.txt; then
    rm -rf build/windows
fi
# The preset builds the Qt-free parts with the plain mingw-w64 toolchain; here Qt's toolchain
# takes its place and chains to it, and the program and its windows are built too.
renew_dated_outputs build/windows build/windows/app/zarnell-setup.exe \
    build/windows/cli/zarnell-cli.exe
cmake --preset windows -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DZARNELL_BUILD_GUI=ON -DCMAKE_CXX_FLAGS="-ffile-prefix-map=$root/=" >/dev/null
cmake --build --preset windows -j "$jobs" "$@"

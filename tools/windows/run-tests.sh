#!/usr/bin/env bash
# Builds the Qt-free parts for Windows with mingw-w64 (build/windows) and runs their tests under
# Wine, in the project's own Wine prefix (build/windows-wine). The helpers that stay on Linux,
# the simulated unit and the pty shim, come from a native build in build/windows-native.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root"
source tools/windows/wine-env.sh
jobs=${ZARNELL_JOBS:-$(nproc 2>/dev/null || echo 2)}

say() { printf '\n== %s\n' "$*"; }

# Only this prefix's server: WINEPREFIX is exported by wine-env.sh.
stop_wine() { timeout 60 wineserver -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT

say "building the native helpers"
cmake -S . -B build/windows-native -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZARNELL_BUILD_GUI=OFF \
    -DZARNELL_BUILD_TESTS=ON >/dev/null
cmake --build build/windows-native -j "$jobs" --target zarnell-unit-sim zarnell_ptyshim

say "starting Wine in $WINEPREFIX"
mkdir -p "$WINEPREFIX"
# A COM link left behind by an interrupted run must not survive; Wine itself maps none, since
# its mount manager is switched off.
rm -f "$WINEPREFIX"/dosdevices/com*
# A persistent server, started and warmed up before anything else runs Wine: the helpers it
# starts on the first call would otherwise inherit and hold CTest's output pipe.
timeout 60 wineserver -p </dev/null >/dev/null 2>&1
timeout 600 wine cmd /c exit </dev/null >/dev/null 2>&1
if compgen -G "$WINEPREFIX/dosdevices/com*" >/dev/null; then
    echo "Wine has mapped serial ports in $WINEPREFIX; refusing to run the tests" >&2
    exit 1
fi

say "building windows"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"

say "testing windows"
ctest --preset windows -j "$jobs" --timeout 300

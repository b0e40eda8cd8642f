#!/usr/bin/env bash
# Builds the Windows program and its tests (tools/windows/build.sh), makes the release zip,
# installer and MSI (packaging/windows/package.sh) and runs everything under Wine: the test
# programs in the project's own Wine prefix (build/windows-wine), the whole job and the release
# through the real windows on a private display, each in a prefix of its own. With
# ZARNELL_TEST_SIGNING_CERT the release must be signed by its key (see ./zarnell).
source "$(dirname "${BASH_SOURCE[0]}")/../prelude.sh"
cd "$root"
source tools/windows/wine-env.sh

# Only this prefix's server: WINEPREFIX is exported by wine-env.sh.
stop_wine() { timeout 60 wineserver -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT

bash tools/windows/build.sh
bash packaging/windows/package.sh

say "starting Wine in $WINEPREFIX"
mkdir -p "$WINEPREFIX"
# A COM link left behind by an interrupted run must not survive; Wine itself maps none, since
# its mount manager is switched off.
rm -f "$WINEPREFIX"/dosdevices/com*
# A server left running by an earlier run would refuse to be started again.
stop_wine
# A persistent server, started and warmed up before anything else runs Wine: the helpers it
# starts on the first call would otherwise inherit and hold CTest's output pipe.
timeout 60 wineserver -p </dev/null >/dev/null 2>&1
timeout 600 wine cmd /c exit </dev/null >/dev/null 2>&1
# The Qt test programs of this prefix run on the offscreen platform.
wine_environment QT_QPA_PLATFORM offscreen
if compgen -G "$WINEPREFIX/dosdevices/com*" >/dev/null; then
    echo "Wine has mapped serial ports in $WINEPREFIX; refusing to run the tests" >&2
    exit 1
fi

say "testing windows"
ctest --preset windows -j "$jobs" --timeout 600

say "testing the Windows zip, installer and MSI"
release=$root/build/packages/zarnell-setup-1.0-windows-x64
bash tests/windows/wine-release.sh "$release.zip" "$release-setup.exe" "$release.msi" \
    build/windows/tests/windows/zarnell-winwindows.exe \
    build/windows/tests/windows/zarnell-plantdll.dll build/windows/app/zarnell-setup-delayload.txt

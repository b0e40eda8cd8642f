#!/usr/bin/env bash
# The Windows release as a technician uses it, under Wine:
# - the zip: unpacked into a fresh folder, its program starts from there with no other file,
#   shows its window and ends by its close box;
# - the installer: a silent install, the installed program started from its installed place
#   until its window shows, the Start-menu entry and the "Apps & features" entry present; then a
#   silent uninstall that leaves nothing behind.
#   wine-release.sh ZIP INSTALLER WINWINDOWS
set -euo pipefail
zip=$1 installer=$2 winwindows=$3
source "$(dirname "${BASH_SOURCE[0]}")/wine-desktop.sh"

work=$(mktemp -d -t zarnell-wine-release-XXXXXX)
xvfb_pid= program_pid=
fail() {
    echo "wine-release: $*" >&2
    exit 1
}
cleanup() {
    stop_all $program_pid $xvfb_pid
    rm -rf "$work"
}
trap cleanup EXIT

start_display "$work" || fail "Xvfb did not start"
start_wine_desktop

# Starts a program, waits for its setup window, closes it with the close box and expects the
# program to end well.
start_and_close() {
    local program=$1
    wine "$program" >"$work/program.log" 2>&1 &
    program_pid=$!
    read -r _ _ close_x close_y _ < <(timeout 120 wine "$winwindows" wait "Zarnell Setup V1.0" \
        60000) || fail "$program showed no window"
    # Pressed again if Wine took a press for the one that activates the window.
    local press
    for press in 1 2 3; do
        xdotool mousemove "$close_x" "$close_y" click 1
        within 10 bash -c "! kill -0 $program_pid 2>/dev/null" && break
    done
    kill -0 "$program_pid" 2>/dev/null && fail "$program did not end"
    wait "$program_pid" || fail "$program ended with a failure"
    program_pid=
}

drive="$WINEPREFIX/drive_c"
unpacked="$drive/unpacked"
rm -rf "$unpacked"
mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$zip")
[[ -f $unpacked/zarnell-setup-1.0/zarnell-setup.exe ]] || fail "the zip holds no program"
start_and_close "$unpacked/zarnell-setup-1.0/zarnell-setup.exe"
rm -rf "$unpacked"

folder="$drive/Program Files/Zarnell Setup"
shortcut="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Zarnell Setup.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZarnellSetup'

timeout 300 wine "$installer" /S || fail "the silent install failed"
for file in zarnell-setup.exe uninstall.exe README.txt LICENSE.txt licenses/qt/LGPL-3.0-only.txt; do
    [[ -f $folder/$file ]] || fail "not installed: $file"
done
[[ -f $shortcut ]] || fail "no Start-menu entry"
listing=$(timeout 60 wine reg query "$key" /reg:64 2>/dev/null | tr -d '\r') ||
    fail "not registered in Apps & features"
for value in 'DisplayName.*Zarnell Setup' 'DisplayVersion.*1\.0' 'DisplayIcon.*zarnell-setup\.exe'; do
    grep -q "$value" <<<"$listing" || fail "the Apps & features entry lacks $value"
done

start_and_close "$folder/zarnell-setup.exe"

# The uninstaller copies itself away and returns at once; it is done when the folder is gone.
timeout 300 wine "$folder/uninstall.exe" /S || fail "the silent uninstall failed"
within 120 test ! -e "$folder" || fail "left behind: $(find "$folder" | head -n 5)"
[[ ! -e $shortcut ]] || fail "the Start-menu entry is left"
if timeout 60 wine reg query "$key" /reg:64 >/dev/null 2>&1; then
    fail "the Apps & features entry is left"
fi
echo "the zip's program ran; installed, started and uninstalled silently"

#!/usr/bin/env bash
# The Windows release as a technician and an IT department use it, under Wine:
# - the zip: unpacked into a fresh folder, its program starts from there with no other file,
#   shows its window and ends by its close box, and its zarnell-cli.exe shows its help;
# - the installer: a silent install (zarnell-cli.exe beside the program, signed when a
#   certificate is given), the installed program started from its installed place
#   until its window shows, the Start-menu entry and the "Apps & features" entry present; then a
#   silent uninstall that leaves nothing behind;
# - the MSI package: msiexec /i /qn installs it, the program starts from the Start-menu entry
#   and shows its window, "Apps & features" lists it; msiexec /x /qn removes every file and the
#   entry;
# - DLL planting: with Windows' search order (each DLL tried native first), a DLL that leaves a
#   marker when loaded, put beside the zip's program and the installed program under the name
#   of every DLL that the program loads (delay-loaded, or seen in Wine's loader trace, and not
#   one of Windows' known DLLs; VERSION.dll among them), is never loaded, neither at the
#   program's start nor later, and the program still starts and shows its window; beside the
#   installer and the uninstaller, the same for those that they import. A control shows each
#   name loaded beside a program that does not protect itself. Names that Wine's own DLLs load
#   at a program's start, which Windows takes from its system folder, cannot be tried beside
#   the installer and the uninstaller, which import user32 themselves, and are named.
#   wine-release.sh ZIP INSTALLER MSI WINWINDOWS PLANTDLL DELAYLOADED
# DELAYLOADED lists the DLLs that the program imports through delay-load stubs, one a line.
# With ZARNELL_TEST_SIGNING_CERT set, the uninstaller that the installer writes must carry a
# signature that osslsigncode verifies against that certificate.
source "$(dirname "${BASH_SOURCE[0]}")/wine-desktop.sh"
zip=$1 installer=$2 msi=$3 winwindows=$4 plantdll=$5 delayloaded=$6

xvfb_pid= program_pid=
trap 'stop_all $program_pid $xvfb_pid' EXIT

start_display "$work" || fail "Xvfb did not start"
start_wine_desktop

# Waits for the program's setup window, closes it with the close box and expects the program,
# started in the background as program_pid, to end well.
close_program() {
    local what=$1 close_x close_y
    read -r _ _ close_x close_y _ < <(timeout 120 wine "$winwindows" wait "Zarnell Setup V1.0" \
        60000) || fail "$what showed no window"
    end_program "$close_x" "$close_y" "$what"
}

# zarnell-cli.exe shows its help and lists its exit statuses, with no port list to touch.
cli_help() {
    ZARNELL_PORTS= timeout 120 wine "$1" --help >"$work/cli-help.log" 2>&1 ||
        { cat "$work/cli-help.log" >&2; fail "$1 --help failed"; }
    grep -q '^Exit status:' "$work/cli-help.log" || fail "$1 --help lists no exit statuses"
}

# Starts a program and closes it again; further arguments go before it (an environment).
start_and_close() {
    local program=$1
    shift
    env "$@" wine "$program" >"$work/program.log" 2>&1 &
    program_pid=$!
    close_program "$program"
}

drive="$WINEPREFIX/drive_c"
folder="$drive/Program Files/Zarnell Setup"
shortcut="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Zarnell Setup.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZarnellSetup'

# The "Apps & features" entry KEY must hold each of the values given as patterns.
registered() {
    local key=$1 listing value
    shift
    listing=$(timeout 60 wine reg query "$key" /reg:64 2>/dev/null | tr -d '\r') ||
        fail "not registered in Apps & features ($key)"
    for value in "$@"; do
        grep -q "$value" <<<"$listing" || fail "the Apps & features entry $key lacks $value"
    done
}
unregistered() {
    if timeout 60 wine reg query "$1" /reg:64 >/dev/null 2>&1; then
        fail "the Apps & features entry $1 is left"
    fi
}

product_code=$(msiinfo export "$msi" Property | awk -F'\t' '$1 == "ProductCode" { print $2 }' |
    tr -d '\r')
[[ $product_code == \{*\} ]] || fail "the MSI names no product code"
msi_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product_code"

# What an interrupted run may have left in this prefix goes first.
timeout 300 wine msiexec /x "$product_code" /qn >/dev/null 2>&1 || true
timeout 60 wine reg delete "$key" /reg:64 /f >/dev/null 2>&1 || true
rm -rf "$folder" "$shortcut" "$drive/planted-control" "$drive/planted-downloads"

# --- The zip ------------------------------------------------------------------------------

unpacked="$drive/unpacked"
rm -rf "$unpacked"
mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$zip")
[[ -f $unpacked/zarnell-setup-1.0/zarnell-setup.exe ]] || fail "the zip holds no program"
start_and_close "$unpacked/zarnell-setup-1.0/zarnell-setup.exe"
cli_help "$unpacked/zarnell-setup-1.0/zarnell-cli.exe"
rm -rf "$unpacked"
echo "the zip's program ran"

# --- The installer ------------------------------------------------------------------------

timeout 300 wine "$installer" /S || fail "the silent install failed"
for file in zarnell-setup.exe zarnell-cli.exe uninstall.exe README.txt LICENSE.txt \
    licenses/qt/LGPL-3.0-only.txt; do
    [[ -f $folder/$file ]] || fail "not installed: $file"
done
[[ -f $shortcut ]] || fail "no Start-menu entry"
registered "$key" 'DisplayName.*Zarnell Setup' 'DisplayVersion.*1\.0' \
    'DisplayIcon.*zarnell-setup\.exe'
if [[ -n ${ZARNELL_TEST_SIGNING_CERT:-} ]]; then
    osslsigncode verify -CAfile "$ZARNELL_TEST_SIGNING_CERT" -in "$folder/uninstall.exe" \
        >"$work/verify.log" 2>&1 || { cat "$work/verify.log" >&2; fail "the uninstaller is not signed"; }
    echo "the installed uninstaller's signature verifies"
    osslsigncode verify -CAfile "$ZARNELL_TEST_SIGNING_CERT" -in "$folder/zarnell-cli.exe" \
        >"$work/verify.log" 2>&1 || { cat "$work/verify.log" >&2; fail "zarnell-cli.exe is not signed"; }
    echo "the installed zarnell-cli.exe's signature verifies"
fi

start_and_close "$folder/zarnell-setup.exe"
cli_help "$folder/zarnell-cli.exe"

# The uninstaller copies itself away and returns at once; it is done when the folder is gone.
timeout 300 wine "$folder/uninstall.exe" /S || fail "the silent uninstall failed"
within 120 test ! -e "$folder" || fail "left behind: $(find "$folder" | head -n 5)"
[[ ! -e $shortcut ]] || fail "the Start-menu entry is left"
unregistered "$key"
echo "the installer installed, started and uninstalled silently"

# --- The MSI package ----------------------------------------------------------------------

msi_windows_path=$(winepath -w "$msi" 2>/dev/null)

timeout 300 wine msiexec /i "$msi_windows_path" /qn || fail "msiexec /i /qn failed"
for file in zarnell-setup.exe zarnell-cli.exe README.txt LICENSE.txt licenses/qt/LGPL-3.0-only.txt; do
    [[ -f $folder/$file ]] || fail "the MSI did not install $file"
done
registered "$msi_key" 'DisplayName.*Zarnell Setup' 'DisplayVersion.*1\.0' \
    'Publisher.*The Zarnell Setup developers'
# "Apps & features" shows the icon that Windows Installer keeps of the product.
products=$(timeout 60 wine reg query 'HKLM\Software\Classes\Installer\Products' /s /reg:64 \
    2>/dev/null | tr -d '\r')
grep -qiF "\\Installer\\${product_code}\\zarnell_setup.ico" <<<"$products" ||
    fail "the MSI registered no product icon"
[[ -s $drive/windows/Installer/$product_code/zarnell_setup.ico ]] || fail "the MSI kept no icon"
# Wine puts a machine's Start-menu entries into the user's profile.
msi_shortcut=$(find "$drive/ProgramData" "$drive/users" -name 'Zarnell Setup.lnk' 2>/dev/null |
    head -n 1 || true)
[[ -n $msi_shortcut ]] || fail "the MSI made no Start-menu entry"
wine start /wait "$(winepath -w "$msi_shortcut" 2>/dev/null)" >"$work/program.log" 2>&1 &
program_pid=$!
close_program "the Start-menu entry of the MSI"

timeout 300 wine msiexec /x "$product_code" /qn || fail "msiexec /x /qn failed"
[[ ! -e $folder ]] || fail "the MSI left behind: $(find "$folder" | head -n 5)"
[[ ! -e $msi_shortcut ]] || fail "the MSI's Start-menu entry is left"
unregistered "$msi_key"
echo "the MSI installed, started from the Start menu and was removed silently"

# --- DLL planting -------------------------------------------------------------------------

# Windows' known DLLs always come from its system folder (Windows 10 and 11 list these);
# API sets are no files at all.
known='^(advapi32|clbcatq|combase|comdlg32|coml2|difxapi|gdi32|gdiplus|imagehlp|imm32|kernel32'
known+='|kernelbase|msctf|msvcrt|normaliz|nsi|ntdll|ole32|oleaut32|psapi|rpcrt4|sechost|setupapi'
known+='|shcore|shell32|shlwapi|user32|wldap32|ws2_32|api-ms-win-.*|ext-ms-win-.*)\.dll$'
imports() { x86_64-w64-mingw32-objdump -p "$1" | awk '/DLL Name:/ { print tolower($3) }'; }

(cd "$work" && cmake -E tar xf "$zip")
zip_program="$work/zarnell-setup-1.0/zarnell-setup.exe"
program_imports=$(imports "$zip_program" | grep -Ev "$known" || true)
[[ -z $program_imports ]] ||
    fail "the program imports, not delay-loaded: $(echo $program_imports)"

# Every DLL that the program loads: what it delay-loads, and what Wine's loader trace shows it
# loading (Qt loads some by name, the system DLLs load theirs), but the known DLLs.
start_and_close "$zip_program" WINEDEBUG=+loaddll
traced=$(tr -d '\r' <"$work/program.log" | sed -n 's/.*Loaded L"\([^"]*\)".*/\1/p' |
    sed 's/.*\\//' | tr 'A-Z' 'a-z' | grep '\.dll$' || true)
[[ -n $traced ]] || fail "Wine's loader trace named no DLL that the program loaded"
program_dlls=$( (tr -d '\r' <"$delayloaded" | tr 'A-Z' 'a-z'; echo "$traced") | grep -Ev "$known" |
    sort -u)
grep -qxF version.dll <<<"$program_dlls" || fail "the program loads no VERSION.dll"
timeout 300 wine "$installer" /S || fail "the silent install failed"
# Beside the installer and the uninstaller: what they import, but the known DLLs.
stub_dlls=$( (imports "$installer"; imports "$folder/uninstall.exe") | grep -Ev "$known" |
    sort -u || true)
stub_imports=$( (imports "$installer"; imports "$folder/uninstall.exe") | sort -u)

# Puts the marker DLL under each of the names given into a folder: plant FOLDER NAMES.
plant() {
    local dll
    for dll in $2; do
        cp "$plantdll" "$1/$dll"
    done
}
# The planted DLLs that left a marker in a folder: loaded once the program ran, or at its
# start (see plantdll.cpp).
loaded() {
    find "$1" -maxdepth 1 -iname '*.dll.loaded' -printf '%f\n' | sed 's/\.loaded$//' |
        tr 'A-Z' 'a-z' | sort
}
loaded_at_start() {
    find "$1" -maxdepth 1 -iname '*.dll.loaded-at-start' -printf '%f\n' |
        sed 's/\.loaded-at-start$//' | tr 'A-Z' 'a-z' | sort
}
# Windows' search order for the names given: each native (a DLL file) first.
native_first() {
    local dll overrides="$WINEDLLOVERRIDES"
    for dll in $1; do
        overrides+=";${dll%.dll}=n,b"
    done
    echo "$overrides"
}
# A fresh folder with the control program, which leaves the search order as it is.
control="$drive/planted-control"
control_folder() {
    rm -rf "$control"
    mkdir -p "$control"
    cp "$winwindows" "$control/winwindows.exe"
}

# The control: beside a program that does not protect itself (it imports user32 as programs
# do), every one of these names is loaded. Wine, unlike Windows, resolves the imports of its
# own system DLLs (user32's VERSION.dll, say) from the program's folder at the program's start,
# before any code of the program could restrict the search; the planted DLL then stops the
# program, and the rest are loaded by name in a second folder.
control_folder
all_dlls=$(printf '%s\n' $program_dlls $stub_dlls | sort -u)
plant "$control" "$all_dlls"
env WINEDLLOVERRIDES="$(native_first "$all_dlls")" timeout 120 wine "$control/winwindows.exe" \
    window >/dev/null 2>&1 || true
at_start=$(loaded_at_start "$control")
grep -qxF version.dll <<<"$at_start" ||
    fail "a planted VERSION.dll was not loaded beside an unprotected program"
by_name=$(grep -vxFf <(echo "$at_start") <<<"$all_dlls" || true)
control_folder
plant "$control" "$by_name"
env WINEDLLOVERRIDES="$(native_first "$by_name")" timeout 120 \
    wine "$control/winwindows.exe" load-dll $by_name >/dev/null 2>&1 || true
missed=$(grep -vxFf <( (loaded "$control"; loaded_at_start "$control")) <<<"$by_name" || true)
[[ -z $missed ]] || fail "planted beside an unprotected program and not loaded: $(echo $missed)"
echo "beside an unprotected program, loaded at its start: $(echo $at_start)"
echo "beside an unprotected program, loaded by name: $(echo $by_name)"

# Wine's start-up loads those beside the installer and the uninstaller too, which import
# user32 themselves; they cannot be tried there (on Windows, a known DLL's imports come from
# the system folder).
stub_dlls=$(grep -vxFf <(echo "$at_start") <<<"$stub_dlls" || true)
echo "planting beside the program: $(echo $program_dlls)"
echo "planting beside the installer and the uninstaller: $(echo $stub_dlls)"

# None may be loaded beside the program, neither at its start nor later.
expect_none_loaded() {
    local in=$1 what=$2
    [[ -z $(loaded "$in") ]] || fail "loaded beside $what: $(echo $(loaded "$in"))"
    [[ -z $(loaded_at_start "$in") ]] ||
        fail "loaded at the start beside $what: $(echo $(loaded_at_start "$in"))"
}
# Beside the installer and the uninstaller, none of their own imports.
expect_none_of_stub_loaded() {
    local in=$1 what=$2 dll
    [[ -z $(loaded "$in") ]] || fail "loaded beside $what: $(echo $(loaded "$in"))"
    for dll in $(loaded_at_start "$in"); do
        grep -qxF "$dll" <<<"$stub_imports" && fail "loaded at the start beside $what: $dll"
        echo "loaded at the start beside $what by Wine's own DLLs (Windows takes it from its" \
            "system folder): $dll"
    done
    return 0
}

# Beside the installed program, and then beside the uninstaller, which is in the same folder.
plant "$folder" "$program_dlls"
start_and_close "$folder/zarnell-setup.exe" WINEDLLOVERRIDES="$(native_first "$program_dlls")"
expect_none_loaded "$folder" "the installed program"
rm -f "$folder"/*.dll
plant "$folder" "$stub_dlls"
env WINEDLLOVERRIDES="$(native_first "$stub_dlls")" timeout 300 wine "$folder/uninstall.exe" /S ||
    fail "the silent uninstall failed beside planted DLLs"
within 120 test ! -e "$folder/uninstall.exe" || fail "the uninstaller did not finish"
expect_none_of_stub_loaded "$folder" "the uninstaller"
rm -rf "$folder"

# Beside the installer, which installs all the same.
downloads="$drive/planted-downloads"
rm -rf "$downloads"
mkdir -p "$downloads"
plant "$downloads" "$stub_dlls"
cp "$installer" "$downloads/setup.exe"
env WINEDLLOVERRIDES="$(native_first "$stub_dlls")" timeout 300 wine "$downloads/setup.exe" /S ||
    fail "the silent install failed beside planted DLLs"
[[ -f $folder/zarnell-setup.exe ]] || fail "the installer did not install beside planted DLLs"
expect_none_of_stub_loaded "$downloads" "the installer"
timeout 300 wine "$folder/uninstall.exe" /S || fail "the silent uninstall failed"
within 120 test ! -e "$folder" || fail "left behind: $(find "$folder" | head -n 5)"

# Beside the program of the unpacked zip.
mkdir -p "$downloads/zip"
(cd "$downloads/zip" && cmake -E tar xf "$zip")
plant "$downloads/zip/zarnell-setup-1.0" "$program_dlls"
start_and_close "$downloads/zip/zarnell-setup-1.0/zarnell-setup.exe" \
    WINEDLLOVERRIDES="$(native_first "$program_dlls")"
expect_none_loaded "$downloads/zip/zarnell-setup-1.0" "the zip's program"
rm -rf "$downloads" "$control"
echo "no planted DLL was loaded by the program, the installer or the uninstaller"

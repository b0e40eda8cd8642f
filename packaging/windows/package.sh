#!/usr/bin/env bash
# Makes the Windows release from the cross-built program (tools/windows/build.sh):
#   build/packages/zarnell-setup-1.0-windows-x64.zip        the program, the command line
#                                                           zarnell-cli.exe, a README and the
#                                                           licences
#   build/packages/zarnell-setup-1.0-windows-x64-setup.exe  an installer made with makensis
#   build/packages/zarnell-setup-1.0-windows-x64.msi        an MSI package made with wixl
# With a key (packaging/windows/sign.sh) the program, the installer, the uninstaller that it
# writes and the MSI are signed. Two builds of the same commit give the same files: every time
# in them is SOURCE_DATE_EPOCH (the last commit's unless set), and every file list is in a fixed
# order.
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/prelude.sh"
cd "$root"
version=1.0
name=zarnell-setup-$version-windows-x64
packages=build/packages
source packaging/source-date.sh
# Zip and cabinet files keep local times; the release's are UTC.
export TZ=UTC
# makensis, wixl and osslsigncode (for an MSI) write the time of day into what they make; they run on a clock that stands
# at the release's time (set as a date: faketime's own arithmetic would go wrong under another
# faketime, as in the reproducibility check).
frozen_clock=$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')
qt=$(bash tools/windows/build-qt.sh)
exe=build/windows/app/zarnell-setup.exe
cli=build/windows/cli/zarnell-cli.exe
icon=build/windows/app/zarnell-setup.ico
for file in "$exe" "$cli"; do
    [[ -f $file ]] || { echo "missing $file: run tools/windows/build.sh first" >&2; exit 1; }
done
sign=$root/packaging/windows/sign.sh

# The files of the release, in one folder, which the zip holds as it is.
stage=$packages/zarnell-setup-$version
rm -rf "$stage"
mkdir -p "$stage/licenses/qt" "$stage/licenses/mingw-w64"
x86_64-w64-mingw32-strip -o "$stage/zarnell-setup.exe" "$exe"
x86_64-w64-mingw32-strip -o "$stage/zarnell-cli.exe" "$cli"
bash "$sign" "$stage/zarnell-setup.exe" "$stage/zarnell-cli.exe"
# Windows users read text files with CR LF line ends.
sed 's/$/\r/' packaging/windows/README.txt >"$stage/README.txt"
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
cp -r "$qt/licenses/." "$stage/licenses/qt/"
cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$stage/licenses/mingw-w64/runtime.txt"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licenses/mingw-w64/gcc-runtime.txt"
chmod -R u=rwX,go=rX "$stage"
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

rm -f "$packages/$name.zip"
python3 packaging/windows/zip-folder.py "$stage" "$packages/$name.zip"

# The installers carry the same files, and the icon for their own windows and entries.
work=$packages/windows-installers
rm -rf "$work"
mkdir -p "$work"
cp "$icon" "$work/zarnell-setup.ico"
touch -d "@$SOURCE_DATE_EPOCH" "$work/zarnell-setup.ico"
# The size that "Apps & features" shows: the files' own, whatever the file system's blocks.
size_kb=$(find "$stage" -type f -printf '%s\n' | awk '{ sum += $1 } END { print int((sum + 1023) / 1024) }')
rm -f "$packages/$name-setup.exe"
faketime -f "$frozen_clock" makensis -V2 -DSTAGE="$root/$stage" -DICON="$root/$work/zarnell-setup.ico" \
    -DOUTFILE="$root/$packages/$name-setup.exe" -DSIZE_KB="$size_kb" -DSIGN="$sign" \
    packaging/windows/zarnell-setup.nsi

# wixl gives every build a new package code; the package code comes from what the package holds
# instead.
(cd "$packages" && find "$(basename "$stage")" -type f ! -name zarnell-setup.exe ! -name zarnell-cli.exe |
    LC_ALL=C sort) |
    wixl-heat --directory-ref INSTALLDIR --component-group Documents --var var.Stage --win64 \
        -p "$(basename "$stage")/" |
    # wixl-heat names the folders at random; they are numbered in their order instead.
    perl -pe 's/Id="dir[0-9A-F]{32}"/sprintf(q(Id="docdir%d"), ++$n)/ge' >"$work/documents.wxs"
package_code=$({
    echo "$name"
    cat packaging/windows/zarnell-setup.wxs "$work/documents.wxs"
    (cd "$stage" && find . -type f | LC_ALL=C sort | xargs -d '\n' sha256sum)
} | sha256sum | sed -E 's/^(.{8})(.{4})(.{4})(.{4})(.{12}).*/{\1-\2-\3-\4-\5}/' | tr a-f A-F)
msi=$packages/$name.msi
rm -f "$msi"
faketime -f "$frozen_clock" wixl -a x64 -D Win64=yes -D Stage="$stage" \
    -D Icon="$work/zarnell-setup.ico" -o "$msi" packaging/windows/zarnell-setup.wxs \
    "$work/documents.wxs"
faketime -f "$frozen_clock" msibuild "$msi" \
    -s "Zarnell Setup $version" "The Zarnell Setup developers" "x64;1033" "$package_code"
# osslsigncode writes a new MSI, whose storages carry the time of day too.
faketime -f "$frozen_clock" bash "$sign" "$msi"

rm -rf "$stage" "$work"

#!/usr/bin/env bash
# Makes the Windows release from the cross-built program (tools/windows/build.sh):
#   build/packages/zarnell-setup-1.0-windows-x64.zip        the exe, a README and the licences
#   build/packages/zarnell-setup-1.0-windows-x64-setup.exe  an installer made with makensis
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root"
version=1.0
name=zarnell-setup-$version-windows-x64
qt=$(bash tools/windows/build-qt.sh)
exe=build/windows/app/zarnell-setup.exe
[[ -f $exe ]] || { echo "missing $exe: run tools/windows/build.sh first" >&2; exit 1; }

# The zip unpacks to one folder.
stage=build/packages/zarnell-setup-$version
rm -rf "$stage"
mkdir -p "$stage/licenses/qt" "$stage/licenses/mingw-w64"
x86_64-w64-mingw32-strip -o "$stage/zarnell-setup.exe" "$exe"
# Windows users read text files with CR LF line ends.
sed 's/$/\r/' packaging/windows/README.txt >"$stage/README.txt"
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
cp -r "$qt/licenses/." "$stage/licenses/qt/"
cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$stage/licenses/mingw-w64/runtime.txt"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licenses/mingw-w64/gcc-runtime.txt"

rm -f "build/packages/$name.zip"
(cd build/packages && cmake -E tar cf "$name.zip" --format=zip "$(basename "$stage")")

# The installer carries the same files, and the icon for its own windows.
cp build/windows/app/zarnell-setup.ico "$stage/zarnell-setup.ico"
size_kb=$(du -sk --exclude=zarnell-setup.ico "$stage" | cut -f1)
makensis -V2 -DSTAGE="$root/$stage" -DOUTFILE="$root/build/packages/$name-setup.exe" \
    -DSIZE_KB="$size_kb" packaging/windows/zarnell-setup.nsi
rm -rf "$stage"

#!/usr/bin/env bash
# Builds the Debian package of the program into build/packages/ and prints its path:
#   packaging/build-deb.sh
# A configuration of its own (build/package-linux): Release, no tests, installed under /usr,
# compiled and linked with Debian's hardening flags as a Debian package build would be, and
# with build paths mapped away (dpkg-buildflags). The times of the package's members are
# SOURCE_DATE_EPOCH, the last commit's; its Installed-Size is counted from the files' own sizes
# (packaging/deb-installed-size.py).
source "$(dirname "${BASH_SOURCE[0]}")/../tools/prelude.sh"
cd "$root"
# Standard output carries the package's path alone.
exec {result}>&1 >&2
build=build/package-linux
packages=build/packages

flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }

source packaging/source-date.sh
renew_dated_outputs "$build" "$build/app/zarnell-setup" "$build/cli/zarnell-cli"

say "configuring $build"
cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX=/usr \
    -DZARNELL_BUILD_TESTS=OFF \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
    -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null

# Only what the package holds; the simulator, the bench and the screenshot tool stay unbuilt.
say "building the program and its data files"
cmake --build "$build" -j "$jobs" --target zarnell-setup zarnell-cli zarnell-linux-data

say "packing"
mkdir -p "$packages"
deb=$(cd "$build" && cpack -G DEB -D CPACK_OUTPUT_FILE_PREFIX="$root/$packages" |
    sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p')
[[ -f $deb ]] || { echo "cpack made no package" >&2; exit 1; }
# CPack counts each folder by the size that the staging filesystem gives it; count as Debian's
# own tools do, from the files alone, so that any filesystem gives the same package.
python3 packaging/deb-installed-size.py "$deb"
echo "$deb" >&"$result"

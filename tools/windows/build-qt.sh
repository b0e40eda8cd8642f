#!/usr/bin/env bash
# Builds Qt for 64-bit Windows (static, Release) from Debian's own qtbase source, with Debian's
# mingw-w64 compiler, once per recipe, and prints the folder it is installed in:
#   tools/windows/build-qt.sh            # builds if needed, then prints the Qt prefix
#
# The build lives outside the git tree, in a cache folder named after the Qt version, the
# compiler and a hash of the whole recipe (toolchain and configure options), so that a change
# of any of them builds afresh and nothing else does. ZARNELL_CACHE chooses the cache's place.
# The source is the same version as the machine's qt6-base-dev, whose moc, rcc and uic serve
# the cross build; it is fetched with a private apt configuration and checked against the
# checksums of its signed .dsc before it is unpacked. Beside the build are kept the licences
# and what a program's bill of materials needs (the .dsc, Qt's attribution files, and which of
# their sources went into each object: tools/windows/qt-sources.py).
source "$(dirname "${BASH_SOURCE[0]}")/../prelude.sh"
# Standard output carries the prefix alone.
exec {result}>&1 >&2
cache=${ZARNELL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zarnell}
target=x86_64-w64-mingw32

qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
compiler_version=$(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev |
    tr '\n' ' ')

# Only what the program and its tests need: Core, Gui, Widgets and Test, the Windows and
# offscreen platform plugins and the Windows styles; no GIF or JPEG images. The dfsg tarball
# lacks wintab.h, so there is no tablet support either. OpenGL stays: the Windows platform
# plugin of Qt 6.4 does not build without it, and it only loads the system's opengl32.dll when
# a window asks for it. Direct2D stays too: without it Qt 6.4 leaves out its DirectWrite font
# database, which the Windows platform plugin still refers to. Relocatable: a static Qt
# otherwise writes its install prefix, a path of this cache, into every program linked with it,
# and two machines would never build the same program; relocatable, it finds its prefix from the
# program's own place at run time (and, being static, loads no plugin from there).
configure_options=(
    -G Ninja
    -DFEATURE_relocatable=ON
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=OFF
    -DQT_BUILD_EXAMPLES=OFF
    -DQT_BUILD_TESTS=OFF
    -DQT_HOST_PATH=/usr
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DFEATURE_sql=OFF
    -DFEATURE_network=OFF
    -DFEATURE_dbus=OFF
    -DFEATURE_printsupport=OFF
    -DFEATURE_concurrent=OFF
    -DFEATURE_xml=OFF
    -DFEATURE_tabletevent=OFF
    -DFEATURE_gif=OFF
    -DFEATURE_jpeg=OFF
    -DFEATURE_vulkan=OFF
    -DFEATURE_system_zlib=OFF
    -DFEATURE_system_png=OFF
    -DFEATURE_system_jpeg=OFF
    -DFEATURE_system_freetype=OFF
    -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_doubleconversion=OFF
)

# The toolchain of the Qt build, written out so that it is part of the recipe. It sits in the
# build's work folder, whose path the objects do not keep (Qt's test library names its source
# files in its assertions).
toolchain=$(
    cat <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER /usr/bin/$target-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/$target-g++-posix)
set(CMAKE_RC_COMPILER /usr/bin/$target-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$target)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_C_FLAGS_INIT "-ffile-prefix-map=\${CMAKE_CURRENT_LIST_DIR}/=")
set(CMAKE_CXX_FLAGS_INIT "-ffile-prefix-map=\${CMAKE_CURRENT_LIST_DIR}/=")
EOF
)

# What is kept beside the build for a program's bill of materials is part of the recipe too.
sources_recorder="$root/tools/windows/qt-sources.py"
recipe=$(printf 'qt6-base %s\nmingw-w64 %s\n%s\n%s\nSOURCE_DATE_EPOCH of debian/changelog\n%s\n' \
    "$qt_version" "$compiler_version" "$toolchain" "${configure_options[*]}" \
    "$(sha256sum <"$sources_recorder")")
key=$(printf '%s' "$recipe" | sha256sum | cut -c1-12)
prefix="$cache/qt-windows/qt-${qt_version%%+*}-mingw-${compiler_version%%-*}-$key"

if [[ -f $prefix/.complete ]]; then
    echo "$prefix" >&"$result"
    exit 0
fi

mkdir -p "$cache/qt-windows"
# One build at a time per cache, also across sessions and CI runs on the same machine.
exec 9>"$prefix.lock"
flock 9
if [[ -f $prefix/.complete ]]; then
    echo "$prefix" >&"$result"
    exit 0
fi

work="$prefix.work"
rm -rf "$work" "$prefix"
mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/apt/parts" \
    "$work/source"

say "fetching Debian's qt6-base $qt_version source"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
cat >"$work/apt/sources.list" <<EOF
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm main
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm-updates main
deb-src [signed-by=$keyring] http://deb.debian.org/debian-security bookworm-security main
EOF
apt_private=(
    -o "Dir::Etc::SourceList=$work/apt/sources.list"
    -o "Dir::Etc::SourceParts=$work/apt/parts"
    -o "Dir::State::Lists=$work/apt/lists"
    -o "Dir::Cache=$work/apt/cache"
    -o "APT::Sandbox::User=root"
    -o "Debug::NoLocking=1"
)
apt-get "${apt_private[@]}" -qq update
(cd "$work/source" && apt-get "${apt_private[@]}" -qq source --download-only "qt6-base=$qt_version")

# apt has checked the .dsc against the signed index; every file must match the .dsc in turn.
dsc=$(echo "$work"/source/*.dsc)
awk '/^Checksums-Sha256:/ { on = 1; next } /^[^ ]/ { on = 0 } on && NF == 3 { print $1 "  " $3 }' \
    "$dsc" >"$work/source/SHA256SUMS"
[[ -s $work/source/SHA256SUMS ]] || { echo "no checksums in $dsc" >&2; exit 1; }
(cd "$work/source" && sha256sum --quiet --check SHA256SUMS)
dpkg-source -x "$dsc" "$work/source/qtbase" >/dev/null

# The program links Qt and its bundled third-party code statically, so their licence texts
# travel with every release built from this prefix.
copy_licences() {
    local source=$1 into=$2
    mkdir -p "$into/3rdparty"
    cp "$source"/LICENSES/* "$into/"
    local file name
    while IFS= read -r file; do
        name=${file#"$source"/src/3rdparty/}
        name=${name//\//-}
        cp "$file" "$into/3rdparty/$name"
    done < <(find "$source/src/3rdparty" -maxdepth 3 -type f \
        \( -iname 'LICENSE*' -o -iname 'COPYING*' -o -iname 'NOTICE*' \) | sort)
    cp "$source/debian/copyright" "$into/debian-copyright"
}

say "building Qt for Windows into $prefix (15 to 20 minutes on two idle cores, longer under load)"
printf '%s\n' "$toolchain" >"$work/toolchain.cmake"
started=$SECONDS
# The times that rcc writes into Qt's own resources are those of the source package's last
# changelog entry, not of the day the source was unpacked.
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$work/source/qtbase/debian/changelog" -STimestamp)
export SOURCE_DATE_EPOCH
cmake -S "$work/source/qtbase" -B "$work/build" \
    -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
    "${configure_options[@]}" >"$work/configure.log"
cmake --build "$work/build" --parallel "$jobs" >"$work/build.log" 2>&1 ||
    { tail -n 40 "$work/build.log" >&2; exit 1; }
cmake --install "$work/build" >/dev/null
copy_licences "$work/source/qtbase" "$prefix/licenses"
# For a program's bill of materials: the source package's .dsc, Qt's attribution files and which
# of Qt's attributed sources went into each object of each installed library.
mkdir -p "$prefix/source"
cp "$dsc" "$prefix/source/"
python3 "$sources_recorder" "$work/source/qtbase" "$work/build" "$prefix" "$prefix/source"
printf '%s\n' "$recipe" >"$prefix/RECIPE"
say "Qt for Windows built in $(((SECONDS - started) / 60)) min"
rm -rf "$work"
touch "$prefix/.complete"
echo "$prefix" >&"$result"

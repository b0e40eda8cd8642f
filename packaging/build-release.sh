#!/usr/bin/env bash
# Builds the whole release into build/packages/: the Debian package, the Windows zip, installer
# and MSI (signed when packaging/windows/sign.sh is given a key), the bill of materials, its two
# VEX documents and SHA256SUMS. Every time in them is SOURCE_DATE_EPOCH, the last commit's unless
# set, so that the same commit gives the same files wherever and whenever it is built.
#   packaging/build-release.sh
source "$(dirname "${BASH_SOURCE[0]}")/../tools/prelude.sh"
cd "$root"
source packaging/source-date.sh

say "building the Debian package"
bash packaging/build-deb.sh
say "building the Windows program"
bash tools/windows/build.sh --target zarnell-setup zarnell-cli
say "making the Windows zip, installer and MSI"
bash packaging/windows/package.sh
say "writing the bill of materials, its VEX documents and the checksums"
bash packaging/seal-release.sh

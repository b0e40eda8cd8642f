#!/usr/bin/env bash
# Builds the whole release into build/packages/: the Debian package, the Windows zip, installer
# and MSI (signed when tools/windows/sign.sh is given a key), the bill of materials and
# SHA256SUMS. Every time in them is SOURCE_DATE_EPOCH, the last commit's unless set, so that
# the same commit gives the same files wherever and whenever it is built.
#   tools/packaging/build-release.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root"
source tools/packaging/source-date.sh

say() { printf '\n== %s\n' "$*"; }

say "building the Debian package"
bash tools/packaging/build-deb.sh
say "building the Windows program"
bash tools/windows/build.sh --target zarnell-setup
say "making the Windows zip, installer and MSI"
bash tools/windows/package.sh
say "writing the bill of materials and the checksums"
bash tools/packaging/seal-release.sh

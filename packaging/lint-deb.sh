#!/usr/bin/env bash
# Checks a Debian package of the program as the distributions' tools do:
#   packaging/lint-deb.sh [PACKAGE.deb]
# the desktop entry and the AppStream metadata that the package ships, with their validators,
# then the package itself with lintian. Errors and warnings fail; lintian's notes are shown.
source "$(dirname "${BASH_SOURCE[0]}")/../tools/prelude.sh"
deb=$(readlink -f "${1:-$root/build/packages/zarnell-setup_1.0_amd64.deb}")
[[ -f $deb ]] || { echo "no package at $deb" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zarnell-lint.XXXXXX")
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work"

shopt -s nullglob
desktop_files=("$work"/usr/share/applications/*.desktop)
metainfo_files=("$work"/usr/share/metainfo/*.metainfo.xml)
((${#desktop_files[@]} == 1)) || { echo "expected one desktop entry in the package" >&2; exit 1; }
((${#metainfo_files[@]} == 1)) || { echo "expected one metainfo file in the package" >&2; exit 1; }

say "desktop-file-validate ${desktop_files[0]#"$work"}"
desktop-file-validate "${desktop_files[0]}"
say "appstreamcli validate ${metainfo_files[0]#"$work"}"
appstreamcli validate --no-net "${metainfo_files[0]}"
say "lintian $(basename "$deb")"
lintian --fail-on error,warning --display-info --pedantic "$deb"

#!/usr/bin/env bash
# Checks that the release in build/packages/ is reproducible: builds it a second time
# (packaging/build-release.sh) from a copy of the source in another folder, on a filesystem of
# another kind than the first build's, with the clock moved 400 days ahead, and compares every
# file that SHA256SUMS lists, and SHA256SUMS. A difference names the file and its first
# differing byte.
#   packaging/reproduce.sh
# When the first build is not on a tmpfs, the second is on one: as root, a tmpfs mounted in the
# build tree for the run (build/reproduce), otherwise /dev/shm; when it is, the second is on the
# disk of /var/tmp. The second build signs with the same key as the first, if any
# (packaging/windows/sign.sh); the Qt for Windows of the cache serves both.
source "$(dirname "${BASH_SOURCE[0]}")/../tools/prelude.sh"
cd "$root"
packages=build/packages
source packaging/source-date.sh
[[ -f $packages/SHA256SUMS ]] || { echo "reproduce: no release in $packages" >&2; exit 1; }

filesystem() { stat -f -c %T "$1"; }
first=$(filesystem "$packages")
mounted=
cleanup() {
    if [[ -n $mounted ]]; then
        umount --lazy "$mounted" && rmdir "$mounted"
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT
if [[ $first == tmpfs ]]; then
    base=/var/tmp
elif ((EUID == 0)); then
    mounted=$root/build/reproduce
    mkdir -p "$mounted"
    mount -t tmpfs -o mode=0700 zarnell-reproduce "$mounted"
    base=$mounted
else
    base=/dev/shm
fi
work=$(mktemp -d "$base/zarnell-reproduce.XXXXXX")
second=$(filesystem "$work")
[[ $second != "$first" ]] ||
    { echo "reproduce: $work is on $second too, like the first build" >&2; exit 1; }
# The work tree as git sees it (tracked files, and new ones it does not ignore), in a folder
# of another name and depth.
copy=$work/second/zarnell-setup
mkdir -p "$copy"
git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$copy"

say "building the release again in $copy, on $second (the first on $first), 400 days from now"
started=$SECONDS
(cd "$copy" && faketime -f +400d bash packaging/build-release.sh) >"$work/build.log" 2>&1 ||
    { tail -n 40 "$work/build.log" >&2; echo "reproduce: the second build failed" >&2; exit 1; }

differences=0
while read -r file; do
    if ! difference=$(cmp "$packages/$file" "$copy/$packages/$file" 2>&1); then
        echo "reproduce: $file differs: ${difference#* differ: }" >&2
        differences=$((differences + 1))
    fi
done < <(awk '{ print $2 }' "$packages/SHA256SUMS"; echo SHA256SUMS)
((differences == 0)) || exit 1
say "the second build ($((SECONDS - started)) s) on $second gave the same files as the first on" \
    "$first:"
sed 's/^/   /' "$packages/SHA256SUMS"

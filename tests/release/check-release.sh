#!/usr/bin/env bash
# Checks the release in build/packages/ as the people who download it do:
#   tests/release/check-release.sh CERT
# - every checksum in SHA256SUMS matches (sha256sum -c);
# - the bill of materials is valid CycloneDX 1.5 (by the CycloneDX library's own schemas, from
#   npm), its vulnerabilities included; names Qt's version exactly as the .dsc of the Qt that the
#   program was built with does, and zlib, which Qt always builds in, with the version of Qt's
#   attribution file; gives every component a package URL or a CPE; carries the reviewed CVE
#   lists of packaging/vex.json, and is refused once a component's version differs from the
#   one its list was reviewed for (and the generator refuses a review entry without its sources:
#   tests/release/test_packaging.py);
# - the VEX documents beside the bill are the ones it names: the CycloneDX one valid CycloneDX
#   1.5, the OpenVEX one within OpenVEX 0.2.0's rules, and each states exactly the CVEs of the
#   bill's vulnerabilities section, of the same components, and no other;
# - the bill names zarnell-cli.exe with the checksum of the zip's;
# - the program and zarnell-cli.exe in the zip, the installer and the MSI carry signatures that
#   osslsigncode verifies against CERT, the certificate of the key they were signed with, and
#   one byte changed in any of them makes the verification fail.
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/prelude.sh"
cert=$(readlink -f "$1")
cd "$root"
version=1.0
packages=build/packages
name=zarnell-setup-$version-windows-x64
bom=$packages/zarnell-setup-$version.cdx.json
cdx_vex=$packages/zarnell-setup-$version.vex.cdx.json
openvex=$packages/zarnell-setup-$version.openvex.json
fail() {
    echo "check-release: $*" >&2
    exit 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/zarnell-check-release.XXXXXX")
trap 'rm -rf "$work"' EXIT

say "sha256sum -c SHA256SUMS"
(cd "$packages" && sha256sum -c SHA256SUMS) || fail "a checksum does not match"

say "validating $(basename "$bom")"
validator=packaging/sbom-validator
(cd "$validator" && npm ci --no-audit --no-fund --silent >/dev/null) ||
    fail "npm could not install the validator"
node "$validator/validate.mjs" "$bom"
node "$validator/validate.mjs" "$cdx_vex"
qt=$(bash tools/windows/build-qt.sh)
bom_value() {
    python3 -c 'import json, sys
bom = json.load(open(sys.argv[1]))
print(next(c.get(sys.argv[3], "") for c in bom["components"] if c["bom-ref"] == sys.argv[2]))' \
        "$bom" "$@"
}
dsc_version=$(sed -n 's/^Version: //p' "$qt"/source/*.dsc)
[[ -n $dsc_version && $(bom_value qt6-base version) == "$dsc_version" ]] ||
    fail "the bill names Qt $(bom_value qt6-base version), its .dsc $dsc_version"
zlib_version=$(python3 -c 'import json, sys
print(json.loads(open(sys.argv[1]).read(), strict=False)["Version"])' \
    "$qt/source/attributions/src/3rdparty/zlib/qt_attribution.json")
[[ $(bom_value qt-3rdparty-zlib version) == "$zlib_version" ]] ||
    fail "the bill does not name zlib $zlib_version"
echo "Qt $dsc_version, zlib $zlib_version"

say "package URLs, CPEs and reviewed CVEs of $(basename "$bom")"
python3 - "$bom" <<'EOF2'
import json, sys
components = json.load(open(sys.argv[1]))["components"]
bare = [c["bom-ref"] for c in components if not (c.get("purl") or c.get("cpe"))]
if bare:
    sys.exit("check-release: no package URL or CPE for " + ", ".join(bare))
print(f"{len(components)} components, each with a package URL or a CPE")
EOF2
python3 tests/release/test_packaging.py
python3 packaging/sbom.py check "$bom" --cdx-vex "$cdx_vex" --openvex "$openvex"
# The bill as it would be once zlib moved on and its list of CVEs was not reviewed again.
python3 - "$bom" "$work/unreviewed.cdx.json" <<'EOF2'
import json, sys
bom = json.load(open(sys.argv[1]))
next(c for c in bom["components"] if c["bom-ref"] == "qt-3rdparty-zlib")["version"] += ".1"
json.dump(bom, open(sys.argv[2], "w"))
EOF2
if python3 packaging/sbom.py check "$work/unreviewed.cdx.json" 2>"$work/review.log"; then
    fail "a bill with zlib at a version whose CVEs were not reviewed passes"
fi
grep -q "qt-3rdparty-zlib: its list was reviewed for $zlib_version" "$work/review.log" ||
    { cat "$work/review.log" >&2; fail "the unreviewed zlib is refused for another reason"; }
echo "with zlib at an unreviewed version it is refused"

# The file with one byte changed: in the middle of a program, in the cabinet of an MSI (its
# free space is outside the signature).
changed_copy() {
    local file=$1 copy=$2 offset
    cp "$file" "$copy"
    if [[ $file == *.msi ]]; then
        offset=$(($(grep -abo MSCF "$file" | head -n 1 | cut -d: -f1) + 64))
    else
        offset=$(($(stat -c %s "$file") / 2))
    fi
    python3 -c 'import sys
path, offset = sys.argv[1], int(sys.argv[2])
with open(path, "r+b") as f:
    f.seek(offset)
    byte = f.read(1)
    f.seek(offset)
    f.write(bytes([byte[0] ^ 0x01]))' "$copy" "$offset"
}

(cd "$work" && cmake -E tar xf "$root/$packages/$name.zip")
cli=$work/zarnell-setup-$version/zarnell-cli.exe
[[ -f $cli ]] || fail "the zip holds no zarnell-cli.exe"
cli_hash=$(python3 -c 'import json, sys
bom = json.load(open(sys.argv[1]))
print(next(h["content"] for c in bom["components"] if c["name"] == "zarnell-cli.exe"
           for h in c["hashes"] if h["alg"] == "SHA-256"))' "$bom") ||
    fail "the bill does not name zarnell-cli.exe"
[[ $cli_hash == $(sha256sum "$cli" | cut -d' ' -f1) ]] ||
    fail "the bill's checksum of zarnell-cli.exe is not the zip's"
echo "the bill names zarnell-cli.exe with its checksum"
for file in "$work/zarnell-setup-$version/zarnell-setup.exe" "$cli" "$packages/$name-setup.exe" \
    "$packages/$name.msi"; do
    say "osslsigncode verify $(basename "$file")"
    osslsigncode verify -CAfile "$cert" -in "$file" >"$work/verify.log" 2>&1 ||
        { cat "$work/verify.log" >&2; fail "$(basename "$file") does not verify"; }
    changed_copy "$file" "$work/changed"
    if osslsigncode verify -CAfile "$cert" -in "$work/changed" >"$work/verify.log" 2>&1; then
        fail "$(basename "$file") with a byte changed still verifies"
    fi
    echo "verifies; with one byte changed it does not"
done

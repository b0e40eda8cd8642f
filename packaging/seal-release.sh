#!/usr/bin/env bash
# Writes beside the packages in build/packages/ the release's software bill of materials,
# zarnell-setup-1.0.cdx.json (CycloneDX, packaging/sbom.py), its vulnerabilities as the two
# VEX documents that scanners read apart from a bill, zarnell-setup-1.0.vex.cdx.json (CycloneDX)
# and zarnell-setup-1.0.openvex.json (OpenVEX), and SHA256SUMS, the checksums of every package,
# of the bill and of the VEX documents:
#   packaging/seal-release.sh
# The packages must be there: the Debian package (packaging/build-deb.sh) and the Windows
# zip, installer and MSI (tools/windows/build.sh, then packaging/windows/package.sh).
source "$(dirname "${BASH_SOURCE[0]}")/../tools/prelude.sh"
cd "$root"
version=1.0
packages=build/packages
source packaging/source-date.sh

deb=zarnell-setup_${version}_amd64.deb
zip=zarnell-setup-$version-windows-x64.zip
files=("$deb" "$zip" "zarnell-setup-$version-windows-x64-setup.exe"
    "zarnell-setup-$version-windows-x64.msi")
for file in "${files[@]}"; do
    [[ -f $packages/$file ]] || { echo "seal-release: missing $packages/$file" >&2; exit 1; }
done

bom=zarnell-setup-$version.cdx.json
cdx_vex=zarnell-setup-$version.vex.cdx.json
openvex=zarnell-setup-$version.openvex.json
python3 packaging/sbom.py write --out "$packages/$bom" --cdx-vex "$packages/$cdx_vex" \
    --openvex "$packages/$openvex" --windows-zip "$packages/$zip" \
    --link-map build/windows/app/zarnell-setup.map --qt "$(bash tools/windows/build-qt.sh)" \
    --deb "$packages/$deb"
(cd "$packages" && sha256sum "${files[@]}" "$bom" "$cdx_vex" "$openvex" >SHA256SUMS)

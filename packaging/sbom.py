#!/usr/bin/env python3
"""Writes the release's software bill of materials, a CycloneDX 1.5 JSON document:
    sbom.py --out BOM.json --windows-zip ZIP --link-map MAP --qt QT_PREFIX --deb DEB

It lists the program and, for the Windows program, what is linked into it: Qt with the exact
version of the Debian source package it was built from and the checksum of that package's
.dsc; every third-party library that Qt built into the objects that the linker took (its
name, version and licence come from Qt's own qt_attribution.json files); the MinGW-w64 runtime
and the GCC runtime libraries, with their Debian versions and licences. For the Debian package
it lists the packages that it depends on. The document is the same from one build to the next:
its time is SOURCE_DATE_EPOCH and its serial number comes from its content.
"""
import argparse
import hashlib
import json
import os
import re
import subprocess
import sys
import uuid
import zipfile
from urllib.parse import quote
from datetime import datetime, timezone
from pathlib import Path

NAME = "zarnell-setup"
VERSION = "1.0"
SUPPLIER = "The Zarnell Setup developers"
HOMEPAGE = "https://github.com/zarnell/zarnell-setup"


def sha256(path):
    return sha256_of(Path(path).read_bytes())


def sha256_of(data):
    return hashlib.sha256(data).hexdigest()


def program_in_zip(path):
    """The Windows program as the zip (and so the installers) ship it."""
    with zipfile.ZipFile(path) as archive:
        names = [name for name in archive.namelist() if name.endswith("/zarnell-setup.exe")]
        if len(names) != 1:
            sys.exit(f"sbom: {path} does not hold one zarnell-setup.exe")
        return archive.read(names[0])


def purl(package, version, arch):
    """A package URL of a Debian package; its version is percent-encoded ("+" and ":")."""
    at = "@" + quote(version, safe="~.-_") if version else ""
    return f"pkg:deb/debian/{package}{at}?arch={arch}"


def dpkg_version(package):
    return subprocess.run(["dpkg-query", "-W", "-f=${Version}", package], check=True,
                          capture_output=True, text=True).stdout


def load_attribution(path):
    """Qt's attribution files are not all strict JSON: strings hold raw line breaks, and a
    repeated key (a comment, then the value) means its last value, as Qt's own scanner reads
    them. A file holds one entry or a list of them."""
    data = json.loads(path.read_text(encoding="utf-8"), strict=False)
    return data if isinstance(data, list) else [data]


def covered(entry, folder):
    """The files or folders of Qt's source tree that an attribution entry speaks for: those it
    names (Files, Path), relative to its own folder, or else its whole folder."""
    names = entry.get("Files") or entry.get("Path")
    if not names:
        return [folder + "/"]
    return [os.path.normpath(os.path.join(folder, name)) for name in names.split()]


def linked_objects(link_map, qt_prefix):
    """The (library, object) pairs of Qt's static libraries that the linker map shows were
    taken into the program, with the library relative to Qt's prefix."""
    prefix = os.path.realpath(qt_prefix) + "/"
    pairs = set()
    for library, member in re.findall(r"(\S+\.a)\(([^)\s]+)\)", link_map.read_text()):
        library = os.path.realpath(library)
        if library.startswith(prefix):
            pairs.add((library[len(prefix):], member))
    return pairs


def qt_third_party(qt_prefix, link_map):
    """Qt's attribution entries whose files went into the program."""
    source = qt_prefix / "source"
    linked = linked_objects(link_map, qt_prefix)
    if not linked:
        sys.exit(f"sbom: {link_map} shows no object of the Qt in {qt_prefix}")
    inputs = set()
    for line in (source / "attributed-inputs.tsv").read_text().splitlines():
        library, member, path = line.split("\t")
        if (library, member) in linked:
            inputs.add(path)

    found = {}
    for attribution in sorted((source / "attributions").rglob("qt_attribution.json")):
        relative = attribution.relative_to(source / "attributions")
        folder = str(relative.parent)
        for entry in load_attribution(attribution):
            paths = covered(entry, folder)
            if any(path == place or (place.endswith("/") and path.startswith(place))
                   or path.startswith(place + "/") for path in inputs for place in paths):
                found.setdefault(entry["Id"], (entry, str(relative)))
    return [found[key] for key in sorted(found)]


def spdx_expression(text):
    """Qt's attribution files write some licence expressions with lower-case operators."""
    return re.sub(r"\b(or|and|with)\b", lambda m: m.group(1).upper(), text)


def third_party_component(entry, attribution):
    component = {
        "type": "library",
        "bom-ref": "qt-3rdparty-" + entry["Id"],
        "name": entry["Name"],
    }
    if entry.get("Version"):
        component["version"] = entry["Version"]
    if entry.get("LicenseId"):
        component["licenses"] = [{"expression": spdx_expression(entry["LicenseId"])}]
    elif entry.get("License"):
        component["licenses"] = [{"license": {"name": entry["License"]}}]
    if entry.get("Copyright"):
        component["copyright"] = entry["Copyright"]
    if entry.get("Homepage", "").startswith("http"):
        component["externalReferences"] = [{"type": "website", "url": entry["Homepage"]}]
    component["properties"] = [{"name": "qt:attribution-file", "value": "qtbase/" + attribution}]
    if entry.get("QtUsage"):
        component["properties"].append({"name": "qt:usage", "value": entry["QtUsage"]})
    return component


def qt_component(qt_prefix):
    dsc = next((qt_prefix / "source").glob("*.dsc"))
    fields = dict(re.findall(r"^(Source|Version): (.+)$", dsc.read_text(), re.MULTILINE))
    return {
        "type": "framework",
        "bom-ref": "qt6-base",
        "name": "qtbase",
        "version": fields["Version"],
        "description": "Qt 6 Core, Gui and Widgets, built statically for Windows from Debian's "
                       f"{fields['Source']} source package",
        "licenses": [{"expression": "LGPL-3.0-only OR GPL-2.0-only OR GPL-3.0-only"}],
        "purl": purl(fields["Source"], fields["Version"], "source"),
        "externalReferences": [{
            "type": "distribution",
            "url": dsc.name,
            "comment": "the Debian source package's .dsc, which names every file of the "
                       "source with its checksum",
            "hashes": [{"alg": "SHA-256", "content": sha256(dsc)}],
        }],
    }


def dep5_licences(copyright_file):
    """The licences that a machine-readable Debian copyright file names."""
    names = re.findall(r"^License: *(\S.*)$", Path(copyright_file).read_text(), re.MULTILINE)
    return sorted(set(names))


def runtime_components():
    mingw = "mingw-w64-x86-64-dev"
    gcc = "g++-mingw-w64-x86-64-posix"
    return [
        {
            "type": "library",
            "bom-ref": "mingw-w64-runtime",
            "name": "MinGW-w64 runtime (CRT, winpthreads)",
            "version": dpkg_version(mingw),
            "licenses": [{"license": {"name": name}}
                         for name in dep5_licences(f"/usr/share/doc/{mingw}/copyright")],
            "purl": purl(mingw, dpkg_version(mingw), "all"),
        },
        {
            "type": "library",
            "bom-ref": "gcc-runtime",
            "name": "GCC runtime libraries (libgcc, libstdc++)",
            "version": dpkg_version(gcc),
            # As gcc's copyright file says of its runtime libraries.
            "licenses": [{"expression": "GPL-3.0-or-later WITH GCC-exception-3.1"}],
            "purl": purl(gcc, dpkg_version(gcc), "amd64"),
        },
    ]


def deb_dependencies(deb):
    """The packages that the Debian package depends on, each with its version constraint."""
    depends = subprocess.run(["dpkg-deb", "-f", str(deb), "Depends"], check=True,
                             capture_output=True, text=True).stdout.strip()
    components = []
    for relation in filter(None, (part.strip() for part in depends.split(","))):
        alternatives = [alt.strip() for alt in relation.split("|")]
        match = re.fullmatch(r"([a-z0-9][a-z0-9+.-]*)(?::\S+)?\s*(?:\((.+)\))?", alternatives[0])
        if not match:
            sys.exit(f"sbom: cannot read the dependency {relation!r} of {deb}")
        package, constraint = match.groups()
        component = {
            "type": "library",
            "bom-ref": "deb-" + package,
            "name": package,
            "purl": purl(package, None, "amd64"),
            "properties": [{"name": "debian:depends", "value": relation}],
        }
        if constraint:
            component["properties"].append({"name": "debian:version-constraint",
                                            "value": constraint})
        components.append(component)
    return components


def document(args):
    when = datetime.fromtimestamp(int(os.environ["SOURCE_DATE_EPOCH"]), timezone.utc)
    windows_exe = {
        "type": "application",
        "bom-ref": "zarnell-setup-windows",
        "name": "zarnell-setup.exe",
        "version": VERSION,
        "description": "the Windows program, in the zip, the installer and the MSI package",
        "licenses": [{"license": {"id": "MIT"}}],
        "hashes": [{"alg": "SHA-256", "content": sha256_of(program_in_zip(args.windows_zip))}],
    }
    debian = {
        "type": "application",
        "bom-ref": "zarnell-setup-debian",
        "name": args.deb.name,
        "version": VERSION,
        "description": "the Debian package of the Linux program",
        "licenses": [{"license": {"id": "MIT"}}],
        "hashes": [{"alg": "SHA-256", "content": sha256(args.deb)}],
    }
    qt = qt_component(args.qt)
    third_party = [third_party_component(entry, attribution)
                   for entry, attribution in qt_third_party(args.qt, args.link_map)]
    runtimes = runtime_components()
    debian_dependencies = deb_dependencies(args.deb)

    bom = {
        "bomFormat": "CycloneDX",
        "specVersion": "1.5",
        "serialNumber": None,
        "version": 1,
        "metadata": {
            "timestamp": when.strftime("%Y-%m-%dT%H:%M:%SZ"),
            "tools": {"components": [{"type": "application", "name": "packaging/sbom.py",
                                      "supplier": {"name": SUPPLIER}}]},
            "component": {
                "type": "application",
                "bom-ref": NAME,
                "name": "Zarnell Setup",
                "version": VERSION,
                "supplier": {"name": SUPPLIER, "url": [HOMEPAGE]},
                "licenses": [{"license": {"id": "MIT"}}],
            },
        },
        "components": [windows_exe, debian, qt, *third_party, *runtimes, *debian_dependencies],
        "dependencies": [
            {"ref": NAME, "dependsOn": [windows_exe["bom-ref"], debian["bom-ref"]]},
            {"ref": windows_exe["bom-ref"],
             "dependsOn": [qt["bom-ref"], *(c["bom-ref"] for c in runtimes)]},
            {"ref": qt["bom-ref"], "dependsOn": [c["bom-ref"] for c in third_party]},
            {"ref": debian["bom-ref"], "dependsOn": [c["bom-ref"] for c in debian_dependencies]},
        ],
    }
    content = json.dumps(bom, sort_keys=True).encode()
    bom["serialNumber"] = "urn:uuid:" + str(uuid.uuid5(uuid.NAMESPACE_URL,
                                                       hashlib.sha256(content).hexdigest()))
    return bom


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=Path, required=True)
    parser.add_argument("--windows-zip", type=Path, required=True)
    parser.add_argument("--link-map", type=Path, required=True)
    parser.add_argument("--qt", type=Path, required=True)
    parser.add_argument("--deb", type=Path, required=True)
    args = parser.parse_args()
    bom = document(args)
    args.out.write_text(json.dumps(bom, indent=2, ensure_ascii=False) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes the release's software bill of materials, a CycloneDX 1.5 JSON document, or checks one:
    sbom.py write --out BOM.json --windows-zip ZIP --link-map MAP --qt QT_PREFIX --deb DEB
    sbom.py check BOM.json

It lists the programs and, for the Windows programs, what is linked into them: Qt with the exact
version of the Debian source package it was built from and the checksum of that package's
.dsc; every third-party library that Qt built into the objects that the linker took (its
name, version and licence come from Qt's own qt_attribution.json files); the MinGW-w64 runtime
and the GCC runtime libraries, with their Debian versions and licences. For the Debian package
it lists the packages that it depends on. Every component carries a package URL, and a CPE where
the National Vulnerability Database names the product, so that scanners match it.

Its vulnerabilities (VEX) are the CVEs that scanners report for what the Windows programs hold,
each with its analysis, from packaging/vex.json, where each component's list records the version
it was reviewed for. A bill is neither written nor passed while a component compiled into a
Windows program has a version whose list was not reviewed; `check` also requires a written bill
to carry exactly the reviewed lists.

The document is the same from one build to the next: its time is SOURCE_DATE_EPOCH and its
serial number comes from its content.
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
VEX = Path(__file__).with_name("vex.json")

# The Windows programs that the zip, the installer and the MSI package ship, each with what it
# is; all are linked with the same Qt and runtimes.
WINDOWS_PROGRAMS = {
    "zarnell-setup.exe": "the setup program",
    "zarnell-cli.exe": "the command line",
}

# Where the third-party code that Qt bundles comes from, by the Id of its attribution entry: its
# package URL without version (with the subpath of code that is part of a bigger package), and
# the NVD's vendor and product where the NVD names it. Code without an upstream package of its
# own (hash functions, easing curves, Unicode tables, ...) gets a generic package URL by its Id.
UPSTREAMS = {
    "zlib": ("pkg:github/madler/zlib", "zlib:zlib"),
    "libpng": ("pkg:github/pnggroup/libpng", "libpng:libpng"),
    "libjpeg": ("pkg:github/libjpeg-turbo/libjpeg-turbo", "libjpeg-turbo:libjpeg-turbo"),
    "freetype": ("pkg:generic/freetype", "freetype:freetype"),
    "harfbuzz-ng": ("pkg:github/harfbuzz/harfbuzz", "harfbuzz_project:harfbuzz"),
    "pcre2": ("pkg:github/pcre2project/pcre2", "pcre:pcre2"),
    "pcre2-sljit": ("pkg:github/pcre2project/pcre2#src/sljit", None),
    "md4c": ("pkg:github/mity/md4c", "md4c_project:md4c"),
    "doubleconversion": ("pkg:github/google/double-conversion", None),
    "tinycbor": ("pkg:github/intel/tinycbor", None),
    "pixman": ("pkg:generic/pixman", "pixman:pixman"),
    "blake2": ("pkg:github/blake2/blake2", None),
}


def sha256(path):
    return sha256_of(Path(path).read_bytes())


def sha256_of(data):
    return hashlib.sha256(data).hexdigest()


def program_in_zip(path, program):
    """A Windows program as the zip (and so the installers) ship it."""
    with zipfile.ZipFile(path) as archive:
        names = [name for name in archive.namelist() if name.endswith("/" + program)]
        if len(names) != 1:
            sys.exit(f"sbom: {path} does not hold one {program}")
        return archive.read(names[0])


def at_version(version):
    """The version part of a package URL, percent-encoded ("+", ":", spaces)."""
    return "@" + quote(version, safe="~.-_") if version else ""


def debian_release():
    """The Debian release that the packages come from, as package URLs name it: debian-12."""
    fields = dict(re.findall(r'^(ID|VERSION_ID)="?([^"\n]*)"?$',
                             Path("/etc/os-release").read_text(), re.MULTILINE))
    return f"{fields['ID']}-{fields['VERSION_ID']}"


def purl(package, version, arch):
    """A package URL of a Debian package, with its Debian release."""
    return f"pkg:deb/debian/{package}{at_version(version)}?arch={arch}&distro={debian_release()}"


def cpe(vendor_product, version):
    """A CPE 2.3 name of an application, with its version escaped as CPE requires."""
    escaped = re.sub(r"([^A-Za-z0-9._-])", r"\\\1", version)
    return f"cpe:2.3:a:{vendor_product}:{escaped}:*:*:*:*:*:*:*"


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
    upstream, vendor_product = UPSTREAMS.get(entry["Id"], ("pkg:generic/" + entry["Id"], None))
    package, _, subpath = upstream.partition("#")
    component["purl"] = (package + at_version(entry.get("Version", ""))
                         + ("#" + subpath if subpath else ""))
    if vendor_product:
        component["cpe"] = cpe(vendor_product, entry["Version"])
    component["properties"] = [{"name": "qt:attribution-file", "value": "qtbase/" + attribution}]
    if entry.get("QtUsage"):
        component["properties"].append({"name": "qt:usage", "value": entry["QtUsage"]})
    return component


def qt_component(qt_prefix, patches):
    """Qt as the Debian source package it was built from; the NVD names it by Qt's own version,
    and the Debian patches that resolve CVEs are its pedigree."""
    dsc = next((qt_prefix / "source").glob("*.dsc"))
    fields = dict(re.findall(r"^(Source|Version): (.+)$", dsc.read_text(), re.MULTILINE))
    upstream_version = re.match(r"(?:\d+:)?([0-9.]+)", fields["Version"]).group(1)
    component = {
        "type": "framework",
        "bom-ref": "qt6-base",
        "name": "qtbase",
        "version": fields["Version"],
        "description": "Qt 6 Core, Gui and Widgets, built statically for Windows from Debian's "
                       f"{fields['Source']} source package",
        "licenses": [{"expression": "LGPL-3.0-only OR GPL-2.0-only OR GPL-3.0-only"}],
        "purl": purl(fields["Source"], fields["Version"], "source"),
        "cpe": cpe("qt:qt", upstream_version),
        "externalReferences": [{
            "type": "distribution",
            "url": dsc.name,
            "comment": "the Debian source package's .dsc, which names every file of the "
                       "source with its checksum",
            "hashes": [{"alg": "SHA-256", "content": sha256(dsc)}],
        }],
    }
    if patches:
        component["pedigree"] = {"patches": patches}
    return component


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
            "cpe": cpe("gnu:gcc", dpkg_version(gcc).split("-")[0]),
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


def nvd(cve):
    return {"name": "NVD", "url": "https://nvd.nist.gov/vuln/detail/" + cve}


def load_vex(path):
    return json.loads(Path(path).read_text(encoding="utf-8"))["components"]


def debian_patches(review):
    """The Debian patches of a component's reviewed list, as CycloneDX pedigree: each with the
    CVEs it resolves."""
    resolves = {}
    for entry in review["vulnerabilities"]:
        if "patch" in entry:
            resolves.setdefault(entry["patch"], []).append(entry["id"])
    return [{"type": "backport", "diff": {"url": "debian/patches/" + patch},
             "resolves": [{"type": "security", "id": cve, "source": nvd(cve)} for cve in cves]}
            for patch, cves in resolves.items()]


def compiled_in(bom):
    """The components that the Windows programs hold: what they depend on, transitively."""
    depends = {d["ref"]: d.get("dependsOn", []) for d in bom["dependencies"]}
    refs, todo = set(), [program_ref(name) for name in WINDOWS_PROGRAMS]
    while todo:
        for ref in depends.get(todo.pop(), []):
            if ref not in refs:
                refs.add(ref)
                todo.append(ref)
    return [c for c in bom["components"] if c["bom-ref"] in refs]


def reviewed_vulnerabilities(bom, vex):
    """The bill's vulnerabilities: the reviewed list of every component that the Windows
    programs hold. Ends the run when a component has no list, or one reviewed for another
    version."""
    problems, vulnerabilities = [], []
    for component in compiled_in(bom):
        ref, version = component["bom-ref"], component.get("version", "")
        review = vex.get(ref)
        if review is None:
            problems.append(f"{ref} {version}: no list of CVEs")
        elif review["reviewed"] != version:
            problems.append(f"{ref}: its list was reviewed for {review['reviewed']}, "
                            f"the bill has {version}")
        else:
            vulnerabilities += [vulnerability(entry, ref) for entry in review["vulnerabilities"]]
    if problems:
        sys.exit("sbom: the CVE lists (packaging/vex.json) were not reviewed for these "
                 "components at their versions; review what is published for each version, "
                 "then record it:\n  " + "\n  ".join(problems))
    return vulnerabilities


def vulnerability(entry, ref):
    analysis = {"state": entry["state"], "detail": entry["detail"]}
    if "justification" in entry:
        analysis["justification"] = entry["justification"]
    return {"id": entry["id"], "source": nvd(entry["id"]), "description": entry["summary"],
            "analysis": analysis, "affects": [{"ref": ref}]}


def program_ref(program):
    return Path(program).stem + "-windows"


def windows_program(program, what, windows_zip):
    return {
        "type": "application",
        "bom-ref": program_ref(program),
        "name": program,
        "version": VERSION,
        "description": f"{what}, in the zip, the installer and the MSI package",
        "licenses": [{"license": {"id": "MIT"}}],
        "purl": f"pkg:generic/zarnell/{program}{at_version(VERSION)}",
        "hashes": [{"alg": "SHA-256",
                    "content": sha256_of(program_in_zip(windows_zip, program))}],
    }


def document(args):
    when = datetime.fromtimestamp(int(os.environ["SOURCE_DATE_EPOCH"]), timezone.utc)
    vex = load_vex(args.vex)
    programs = [windows_program(program, what, args.windows_zip)
                for program, what in WINDOWS_PROGRAMS.items()]
    debian = {
        "type": "application",
        "bom-ref": "zarnell-setup-debian",
        "name": args.deb.name,
        "version": VERSION,
        "description": "the Debian package of the Linux program",
        "licenses": [{"license": {"id": "MIT"}}],
        "purl": f"pkg:deb/zarnell/{NAME}{at_version(VERSION)}?arch=amd64",
        "hashes": [{"alg": "SHA-256", "content": sha256(args.deb)}],
    }
    qt = qt_component(args.qt, debian_patches(vex.get("qt6-base", {"vulnerabilities": []})))
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
                "purl": f"pkg:github/zarnell/{NAME}{at_version(VERSION)}",
            },
        },
        "components": [*programs, debian, qt, *third_party, *runtimes, *debian_dependencies],
        "dependencies": [
            {"ref": NAME, "dependsOn": [*(c["bom-ref"] for c in programs), debian["bom-ref"]]},
            *({"ref": c["bom-ref"], "dependsOn": [qt["bom-ref"], *(r["bom-ref"] for r in runtimes)]}
              for c in programs),
            {"ref": qt["bom-ref"], "dependsOn": [c["bom-ref"] for c in third_party]},
            {"ref": debian["bom-ref"], "dependsOn": [c["bom-ref"] for c in debian_dependencies]},
        ],
    }
    bom["vulnerabilities"] = reviewed_vulnerabilities(bom, vex)
    content = json.dumps(bom, sort_keys=True).encode()
    bom["serialNumber"] = "urn:uuid:" + str(uuid.uuid5(uuid.NAMESPACE_URL,
                                                       hashlib.sha256(content).hexdigest()))
    return bom


def check(args):
    """A written bill passes when what its Windows programs hold was reviewed at the versions
    it names, and its vulnerabilities are exactly those reviewed lists."""
    bom = json.loads(args.bom.read_text(encoding="utf-8"))
    if bom.get("vulnerabilities", []) != reviewed_vulnerabilities(bom, load_vex(args.vex)):
        sys.exit(f"sbom: the vulnerabilities of {args.bom} are not the reviewed lists of "
                 f"{args.vex}")
    print(f"{args.bom.name}: {len(bom.get('vulnerabilities', []))} reviewed CVEs of "
          f"{len(compiled_in(bom))} components")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    write = commands.add_parser("write", help="write the bill")
    write.add_argument("--out", type=Path, required=True)
    write.add_argument("--windows-zip", type=Path, required=True)
    write.add_argument("--link-map", type=Path, required=True)
    write.add_argument("--qt", type=Path, required=True)
    write.add_argument("--deb", type=Path, required=True)
    checking = commands.add_parser("check", help="check a written bill against the reviews")
    checking.add_argument("bom", type=Path)
    for command in (write, checking):
        command.add_argument("--vex", type=Path, default=VEX,
                             help="the reviewed CVE lists (default: packaging/vex.json)")
    args = parser.parse_args()
    if args.command == "check":
        check(args)
        return
    bom = document(args)
    args.out.write_text(json.dumps(bom, indent=2, ensure_ascii=False) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()

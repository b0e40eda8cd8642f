#!/usr/bin/env python3
"""Writes the release's software bill of materials, a CycloneDX 1.5 JSON document, and its VEX
documents, or checks them:
    sbom.py write --out BOM.json --cdx-vex VEX.cdx.json --openvex VEX.openvex.json \
        --windows-zip ZIP --link-map MAP --qt QT_PREFIX --deb DEB
    sbom.py check BOM.json [--cdx-vex VEX.cdx.json --openvex VEX.openvex.json]

It lists the programs and, for the Windows programs, what is linked into them: Qt with the exact
version of the Debian source package it was built from and the checksum of that package's
.dsc; every third-party library that Qt built into the objects that the linker took (its
name, version and licence come from Qt's own qt_attribution.json files); the MinGW-w64 runtime
and the GCC runtime libraries, with their Debian versions and licences. For the Debian package
it lists the packages that it depends on. Every component carries a package URL, and a CPE where
the National Vulnerability Database names the product, so that scanners match it.

Its vulnerabilities (VEX) are the CVEs that scanners report for what the Windows programs hold,
each with its analysis, from packaging/vex.json, where each component's list records the version
it was reviewed for and each entry the sources it was read from. A bill is neither written nor
passed while a component compiled into a Windows program has a version whose list was not
reviewed, or while an entry names no source or does not quote its summary from one; `check` also
requires a written bill to carry exactly the reviewed lists. The same statements are written
twice more, for scanners that read VEX only apart from the bill: as a CycloneDX VEX document
whose statements point into the bill (BOM-Link), and as OpenVEX, which names the components by
package URL. The bill names both, and `check` requires them to state exactly what it states.

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


# What an entry may name as its source: a web address, or the ID of an advisory or record.
SOURCE = re.compile(r"https?://\S+"
                    r"|(CVE|GHSA|OSV|DSA|DLA|DEBIAN-CVE|USN|RHSA|OESA|JLSEC)-[0-9A-Za-z:-]+")
# Where Debian's source packages, and so their patches, are published.
DEBIAN_SOURCES = re.compile(r"https?://(deb\.debian\.org|sources\.debian\.org|salsa\.debian\.org)/")
# The reasons an entry may give for not_affected, each with its nearest OpenVEX justification:
# code that only a setting the programs do not use would run is code outside their execution path.
JUSTIFICATIONS = {
    "code_not_present": "vulnerable_code_not_present",
    "code_not_reachable": "vulnerable_code_not_in_execute_path",
    "requires_configuration": "vulnerable_code_not_in_execute_path",
    "protected_at_runtime": "inline_mitigations_already_exist",
}
OPENVEX_STATUS = {"resolved_with_pedigree": "fixed", "not_affected": "not_affected",
                  "in_triage": "under_investigation"}


def entry_problems(ref, entry):
    """What keeps a reviewed entry out of the bill: each statement must carry the records it
    was read from, and its summary is quoted from one of them, named in summary_from."""
    name = f"{ref} {entry.get('id', '(no id)')}"
    sources = entry.get("sources") or []
    problems = [f"{name}: no sources"] if not sources else []
    problems += [f"{name}: {source!r} is neither a web address nor an advisory ID"
                 for source in sources if not SOURCE.fullmatch(source)]
    if not entry.get("summary"):
        problems.append(f"{name}: no summary")
    elif entry.get("summary_from") not in sources:
        problems.append(f"{name}: its summary is not quoted from one of its sources "
                        "(summary_from names none of them)")
    state = entry.get("state")
    if state == "resolved_with_pedigree" and not (
            entry.get("patch") and any(DEBIAN_SOURCES.match(s) for s in sources)):
        problems.append(f"{name}: resolved_with_pedigree needs its Debian patch and the Debian "
                        "source package that carries it among its sources")
    elif state == "not_affected" and entry.get("justification") not in JUSTIFICATIONS:
        problems.append(f"{name}: not_affected needs a justification")
    elif state not in ("resolved_with_pedigree", "not_affected", "in_triage"):
        problems.append(f"{name}: unknown state {state!r}")
    if not entry.get("detail"):
        problems.append(f"{name}: no detail")
    return problems


def load_vex(path):
    """The reviewed CVE lists, each component's by its bom-ref, and the date of the search.
    Ends the run when an entry lacks its evidence."""
    review = json.loads(Path(path).read_text(encoding="utf-8"))
    searched = review.get("searched", {}).get("date", "")
    problems = [] if re.fullmatch(r"\d{4}-\d{2}-\d{2}", searched) else [
        "no date of the search (searched.date)"]
    for ref, component in review["components"].items():
        for entry in component["vulnerabilities"]:
            problems += entry_problems(ref, entry)
    if problems:
        sys.exit(f"sbom: {path} has entries without their evidence:\n  "
                 + "\n  ".join(problems))
    return review["components"], searched


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


def reviewed_vulnerabilities(bom, vex, searched):
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
            vulnerabilities += [vulnerability(entry, ref, searched)
                                for entry in review["vulnerabilities"]]
    if problems:
        sys.exit("sbom: the CVE lists (packaging/vex.json) were not reviewed for these "
                 "components at their versions; review what is published for each version, "
                 "then record it:\n  " + "\n  ".join(problems))
    return vulnerabilities


def vulnerability(entry, ref, searched):
    """A reviewed entry as the bill states it: its sources as advisories (web addresses) or
    references (advisory IDs), its analysis dated by the search."""
    analysis = {"state": entry["state"], "detail": entry["detail"],
                "lastUpdated": searched + "T00:00:00Z"}
    if "justification" in entry:
        analysis["justification"] = entry["justification"]
    found = {"id": entry["id"], "source": nvd(entry["id"]), "description": entry["summary"],
             "analysis": analysis, "affects": [{"ref": ref}]}
    urls = [source for source in entry["sources"] if source.startswith(("http://", "https://"))]
    ids = [source for source in entry["sources"] if source not in urls]
    if urls:
        found["advisories"] = [{"url": url} for url in urls]
    if ids:
        found["references"] = [{"id": id_, "source": {"name": SOURCE.fullmatch(id_).group(1)}}
                               for id_ in ids]
    return found


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


def content_serial(document):
    """A serial number made from what the document holds, so that the same content always has
    the same one."""
    content = json.dumps(document, sort_keys=True).encode()
    return "urn:uuid:" + str(uuid.uuid5(uuid.NAMESPACE_URL, hashlib.sha256(content).hexdigest()))


def document(args):
    when = datetime.fromtimestamp(int(os.environ["SOURCE_DATE_EPOCH"]), timezone.utc)
    vex, searched = load_vex(args.vex)
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
            "properties": [{"name": "zarnell:cve-search-date", "value": searched}],
        },
        "externalReferences": [
            {"type": "exploitability-statement", "url": args.cdx_vex.name,
             "comment": "the vulnerabilities below as a CycloneDX VEX document of its own, "
                        "whose statements refer to this bill (BOM-Link)"},
            {"type": "exploitability-statement", "url": args.openvex.name,
             "comment": "the vulnerabilities below as an OpenVEX document, whose statements "
                        "name the components by package URL"},
        ],
        "components": [*programs, debian, qt, *third_party, *runtimes, *debian_dependencies],
        "dependencies": [
            {"ref": NAME, "dependsOn": [*(c["bom-ref"] for c in programs), debian["bom-ref"]]},
            *({"ref": c["bom-ref"], "dependsOn": [qt["bom-ref"], *(r["bom-ref"] for r in runtimes)]}
              for c in programs),
            {"ref": qt["bom-ref"], "dependsOn": [c["bom-ref"] for c in third_party]},
            {"ref": debian["bom-ref"], "dependsOn": [c["bom-ref"] for c in debian_dependencies]},
        ],
    }
    bom["vulnerabilities"] = reviewed_vulnerabilities(bom, vex, searched)
    bom["serialNumber"] = content_serial(bom)
    return bom


def bom_link(bom, ref):
    """A reference from another document to a component of the bill (CycloneDX BOM-Link)."""
    return f"urn:cdx:{bom['serialNumber'].removeprefix('urn:uuid:')}/{bom['version']}#{ref}"


def cyclonedx_vex(bom):
    """The bill's vulnerabilities as a CycloneDX document of their own, each affecting its
    component in the bill through a BOM-Link, as scanners that take VEX only as a separate
    document need."""
    vex = {
        "bomFormat": "CycloneDX",
        "specVersion": bom["specVersion"],
        "serialNumber": None,
        "version": 1,
        "metadata": {key: bom["metadata"][key] for key in ("timestamp", "tools", "component")},
        "vulnerabilities": [
            {**found, "affects": [{"ref": bom_link(bom, a["ref"])} for a in found["affects"]]}
            for found in bom["vulnerabilities"]],
    }
    vex["serialNumber"] = content_serial(vex)
    return vex


def openvex_component(component):
    identifiers = {"purl": component["purl"]}
    if component.get("cpe"):
        identifiers["@cpe23"] = component["cpe"]
    return {"@id": component["purl"], "identifiers": identifiers}


def openvex(bom):
    """The bill's vulnerabilities as OpenVEX 0.2.0. Each statement names the component itself,
    for scanners that match a package by its package URL, and the release with the component
    as its part, for those that match the scanned product and then its parts."""
    components = {c["bom-ref"]: c for c in bom["components"]}
    release = bom["metadata"]["component"]["purl"]
    statements = []
    for found in bom["vulnerabilities"]:
        analysis = found["analysis"]
        parts = [openvex_component(components[a["ref"]]) for a in found["affects"]]
        statement = {
            "vulnerability": {"name": found["id"], "description": found["description"]},
            "timestamp": analysis["lastUpdated"],
            "products": [*parts, {"@id": release, "subcomponents": parts}],
            "status": OPENVEX_STATUS[analysis["state"]],
            "status_notes": analysis["detail"],
        }
        if "justification" in analysis:
            statement["justification"] = JUSTIFICATIONS[analysis["justification"]]
        statements.append(statement)
    document = {"@context": "https://openvex.dev/ns/v0.2.0", "@id": None,
                "author": SUPPLIER, "role": "Document Creator",
                "timestamp": bom["metadata"]["timestamp"], "version": 1,
                "tooling": "packaging/sbom.py", "statements": statements}
    document["@id"] = content_serial(document)
    return document


DATE_TIME = re.compile(r"\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}(\.\d+)?(Z|[+-]\d{2}:\d{2})")
URI = re.compile(r"[A-Za-z][A-Za-z0-9+.-]*:\S+")


def openvex_problems(document):
    """Where a document breaks the rules of OpenVEX 0.2.0's JSON schema: its required fields,
    the fields it knows, the status and justification labels, and what each status needs."""
    problems = []

    def known(where, item, fields):
        problems.extend(f"{where}: unknown field {key!r}" for key in item if key not in fields)

    def uri(where, value):
        if not (isinstance(value, str) and URI.fullmatch(value)):
            problems.append(f"{where}: {value!r} is not an IRI")

    def component(where, item, fields):
        known(where, item, fields)
        if "@id" in item:
            uri(where, item["@id"])
        known(where + " identifiers", item.get("identifiers", {}), ("purl", "@cpe22", "@cpe23"))

    known("document", document, ("@context", "@id", "author", "role", "timestamp",
                                  "last_updated", "version", "tooling", "statements"))
    for field in ("@context", "@id", "author", "timestamp", "version", "statements"):
        if field not in document:
            problems.append(f"document: no {field}")
    uri("@context", document.get("@context"))
    uri("@id", document.get("@id"))
    if not DATE_TIME.fullmatch(str(document.get("timestamp"))):
        problems.append("document: timestamp is not a date and time")
    if not (isinstance(document.get("version"), int) and document["version"] >= 1):
        problems.append("document: version is not a whole number from 1")
    statements = document.get("statements") or []
    if not statements:
        problems.append("document: no statements")
    for number, statement in enumerate(statements, 1):
        where = f"statement {number}"
        known(where, statement, ("@id", "version", "vulnerability", "timestamp", "last_updated",
                                 "products", "status", "supplier", "status_notes",
                                 "justification", "impact_statement", "action_statement",
                                 "action_statement_timestamp"))
        vulnerability = statement.get("vulnerability", {})
        known(where + " vulnerability", vulnerability, ("@id", "name", "description", "aliases"))
        if not vulnerability.get("name"):
            problems.append(f"{where}: no vulnerability name")
        if "timestamp" in statement and not DATE_TIME.fullmatch(statement["timestamp"]):
            problems.append(f"{where}: timestamp is not a date and time")
        for product in statement.get("products", []):
            component(where + " product", product,
                      ("@id", "identifiers", "hashes", "subcomponents"))
            for part in product.get("subcomponents", []):
                component(where + " subcomponent", part, ("@id", "identifiers", "hashes"))
        status = statement.get("status")
        if status not in OPENVEX_STATUS.values() and status != "affected":
            problems.append(f"{where}: unknown status {status!r}")
        if "justification" in statement and statement["justification"] not in set(
                JUSTIFICATIONS.values()) | {"component_not_present",
                                            "vulnerable_code_cannot_be_controlled_by_adversary"}:
            problems.append(f"{where}: unknown justification {statement['justification']!r}")
        if status == "not_affected" and ("justification" in statement) == (
                "impact_statement" in statement):
            problems.append(f"{where}: not_affected needs a justification or an impact "
                            "statement, and not both")
        if status == "affected" and "action_statement" not in statement:
            problems.append(f"{where}: affected needs an action statement")
    return problems


def statements_of(bom, cdx_vex, open_vex):
    """The (CVE, bom-ref) pairs that the bill, the CycloneDX VEX document and the OpenVEX
    document each state, read back from each document's own form."""
    prefix = bom_link(bom, "")
    by_purl = {c["purl"]: c["bom-ref"] for c in bom["components"] if c.get("purl")}
    return {
        "the bill": {(v["id"], a["ref"]) for v in bom.get("vulnerabilities", [])
                     for a in v["affects"]},
        "the CycloneDX VEX document": {
            (v["id"], a["ref"].removeprefix(prefix) if a["ref"].startswith(prefix) else
             "not a BOM-Link to the bill: " + a["ref"])
            for v in cdx_vex.get("vulnerabilities", []) for a in v["affects"]},
        "the OpenVEX document": {
            (s["vulnerability"]["name"], by_purl.get(p.get("@id"), "unknown: " + p.get("@id", "")))
            for s in open_vex.get("statements", []) for p in s.get("products", [])
            if "subcomponents" not in p},
    }


def vex_document_problems(bom, cdx_name, cdx_vex, open_name, open_vex):
    """The VEX documents beside the bill must be the ones it names and state exactly what its
    vulnerabilities section states, in both directions."""
    named = {r["url"] for r in bom.get("externalReferences", [])
             if r["type"] == "exploitability-statement"}
    problems = [f"the bill does not name {name}" for name in (cdx_name, open_name)
                if name not in named]
    problems += [f"{open_name}: {problem}" for problem in openvex_problems(open_vex)]
    stated = statements_of(bom, cdx_vex, open_vex)
    for document, pairs in stated.items():
        if document == "the bill":
            continue
        for missing in sorted(stated["the bill"] - pairs):
            problems.append(f"{document} lacks {missing[0]} of {missing[1]}")
        for extra in sorted(pairs - stated["the bill"]):
            problems.append(f"{document} states {extra[0]} of {extra[1]}, which the bill does not")
    return problems


def check(args):
    """A written bill passes when what its Windows programs hold was reviewed at the versions
    it names, and its vulnerabilities are exactly those reviewed lists; with its VEX documents,
    when they are the ones it names and state the same."""
    bom = json.loads(args.bom.read_text(encoding="utf-8"))
    vex, searched = load_vex(args.vex)
    if bom.get("vulnerabilities", []) != reviewed_vulnerabilities(bom, vex, searched):
        sys.exit(f"sbom: the vulnerabilities of {args.bom} are not the reviewed lists of "
                 f"{args.vex}")
    if args.cdx_vex and args.openvex:
        problems = vex_document_problems(
            bom, args.cdx_vex.name, json.loads(args.cdx_vex.read_text(encoding="utf-8")),
            args.openvex.name, json.loads(args.openvex.read_text(encoding="utf-8")))
        if problems:
            sys.exit("sbom: the VEX documents do not match the bill:\n  " + "\n  ".join(problems))
    print(f"{args.bom.name}: {len(bom.get('vulnerabilities', []))} reviewed CVEs of "
          f"{len(compiled_in(bom))} components, searched on {searched}"
          + (f"; {args.cdx_vex.name} and {args.openvex.name} state the same"
             if args.cdx_vex and args.openvex else ""))


def write_json(path, document):
    path.write_text(json.dumps(document, indent=2, ensure_ascii=False) + "\n", encoding="utf-8")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    write = commands.add_parser("write", help="write the bill")
    write.add_argument("--out", type=Path, required=True)
    write.add_argument("--windows-zip", type=Path, required=True)
    write.add_argument("--link-map", type=Path, required=True)
    write.add_argument("--qt", type=Path, required=True)
    write.add_argument("--deb", type=Path, required=True)
    write.add_argument("--cdx-vex", type=Path, required=True,
                       help="where to write the CycloneDX VEX document")
    write.add_argument("--openvex", type=Path, required=True,
                       help="where to write the OpenVEX document")
    checking = commands.add_parser("check", help="check a written bill against the reviews")
    checking.add_argument("bom", type=Path)
    checking.add_argument("--cdx-vex", type=Path, help="its CycloneDX VEX document")
    checking.add_argument("--openvex", type=Path, help="its OpenVEX document")
    for command in (write, checking):
        command.add_argument("--vex", type=Path, default=VEX,
                             help="the reviewed CVE lists (default: packaging/vex.json)")
    args = parser.parse_args()
    if args.command == "check":
        check(args)
        return
    bom = document(args)
    write_json(args.out, bom)
    write_json(args.cdx_vex, cyclonedx_vex(bom))
    write_json(args.openvex, openvex(bom))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Tests of the release's scripts that need no release: what the bill's generator
(packaging/sbom.py) refuses to take from the CVE review, what it finds wrong in the VEX
documents beside a bill, and how the Debian package's installed size is counted
(packaging/deb-installed-size.py).
    python3 tests/release/test_packaging.py"""
import copy
import importlib.util
import io
import json
import sys
import tarfile
import tempfile
import unittest
from pathlib import Path

# The scripts under test are loaded from the tree: no bytecode caches beside them.
sys.dont_write_bytecode = True
PACKAGING = Path(__file__).resolve().parents[2] / "packaging"


def script(name):
    found = importlib.util.spec_from_file_location(name.replace("-", "_"), PACKAGING / name)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


sbom = script("sbom.py")
deb_size = script("deb-installed-size.py")

RECORD = "https://github.com/CVEProject/cvelistV5/blob/main/cves/2026/22xxx/CVE-2026-22184.json"
DEBIAN = "http://deb.debian.org/debian/pool/main/q/qt6-base/qt6-base_6.4.2%2bdfsg-10.debian.tar.xz"
REVIEW = {
    "searched": {"date": "2026-12-10"},
    "components": {"qt-3rdparty-zlib": {"reviewed": "1.2.13", "vulnerabilities": [{
        "id": "CVE-2026-22184",
        "summary": "zlib <= 1.3.1.2 untgz Global Buffer Overflow in TGZfname()",
        "summary_from": RECORD, "sources": [RECORD], "state": "not_affected",
        "justification": "code_not_present", "detail": "Qt's copy of zlib has no contrib."}]}},
}
# A bill whose one program holds Qt's zlib.
BOM = {
    "serialNumber": "urn:uuid:3e671687-395b-41f5-a30f-a58921a69b79", "version": 1,
    "metadata": {"timestamp": "2026-12-01T00:00:00Z", "tools": {},
                 "component": {"purl": "pkg:github/zarnell/zarnell-setup@1.0"}},
    "components": [{"bom-ref": "qt-3rdparty-zlib", "version": "1.2.13",
                    "purl": "pkg:github/madler/zlib@1.2.13", "cpe": "cpe:2.3:a:zlib:zlib:1.2.13"}],
    "dependencies": [{"ref": "zarnell-setup-windows", "dependsOn": ["qt-3rdparty-zlib"]}],
    "externalReferences": [{"type": "exploitability-statement", "url": "cdx.json"},
                           {"type": "exploitability-statement", "url": "openvex.json"}],
    "specVersion": "1.5",
}


def entry(review):
    return review["components"]["qt-3rdparty-zlib"]["vulnerabilities"][0]


def written_bill(review):
    """The bill's vulnerabilities as `write` makes them from a review, or what stops it."""
    with tempfile.TemporaryDirectory() as folder:
        path = Path(folder) / "vex.json"
        path.write_text(json.dumps(review))
        bom = copy.deepcopy(BOM)
        bom["vulnerabilities"] = sbom.reviewed_vulnerabilities(bom, *sbom.load_vex(path))
        return bom


class Refusals(unittest.TestCase):
    def test_the_generator_refuses_a_review_without_its_evidence_or_for_another_version(self):
        rows = [
            ("no sources", lambda r: entry(r).pop("sources"), "CVE-2026-22184: no sources"),
            ("summary not from a source", lambda r: entry(r).update(summary_from="https://x.org"),
             "summary is not quoted from one of its sources"),
            ("source of no known form", lambda r: entry(r)["sources"].append("a blog post"),
             "'a blog post' is neither a web address nor an advisory ID"),
            ("pedigree without Debian", lambda r: entry(r).update(state="resolved_with_pedigree",
                                                                  patch="fix.diff"),
             "needs its Debian patch and the Debian source package"),
            ("no date of the search", lambda r: r.pop("searched"), "no date of the search"),
            ("another version of zlib",
             lambda r: r["components"]["qt-3rdparty-zlib"].update(reviewed="1.2.12"),
             "qt-3rdparty-zlib: its list was reviewed for 1.2.12, the bill has 1.2.13"),
        ]
        for name, change, message in rows:
            with self.subTest(name):
                review = copy.deepcopy(REVIEW)
                change(review)
                with self.assertRaises(SystemExit) as refused:
                    written_bill(review)
                self.assertIn(message, str(refused.exception.code))

    def test_a_reviewed_entry_with_its_evidence_goes_into_the_bill_with_its_sources(self):
        review = copy.deepcopy(REVIEW)
        entry(review).update(state="resolved_with_pedigree", patch="fix.diff",
                             sources=[RECORD, DEBIAN, "GHSA-mmq5-27w3-rxpp"])
        del entry(review)["justification"]
        [found] = written_bill(review)["vulnerabilities"]
        self.assertEqual([a["url"] for a in found["advisories"]], [RECORD, DEBIAN])
        self.assertEqual(found["references"], [{"id": "GHSA-mmq5-27w3-rxpp",
                                                "source": {"name": "GHSA"}}])
        self.assertEqual(found["analysis"]["lastUpdated"], "2026-12-10T00:00:00Z")

    def test_the_review_in_the_tree_has_its_evidence(self):
        components, searched = sbom.load_vex(PACKAGING / "vex.json")
        self.assertRegex(searched, r"^\d{4}-\d{2}-\d{2}$")


class VexDocuments(unittest.TestCase):
    def problems(self, change=lambda cdx, open_vex: None):
        bom = written_bill(REVIEW)
        cdx, open_vex = sbom.cyclonedx_vex(bom), sbom.openvex(bom)
        change(cdx, open_vex)
        return sbom.vex_document_problems(bom, "cdx.json", cdx, "openvex.json", open_vex)

    def test_each_vex_document_states_what_the_bill_states_in_both_directions(self):
        extra = {"vulnerability": {"name": "CVE-2026-0001"}, "status": "under_investigation",
                 "products": [{"@id": "pkg:github/madler/zlib@1.2.13"}]}
        rows = [
            ("as written", lambda c, o: None, []),
            ("a statement lost", lambda c, o: c["vulnerabilities"].clear(),
             ["the CycloneDX VEX document lacks CVE-2026-22184 of qt-3rdparty-zlib"]),
            ("a statement more", lambda c, o: o["statements"].append(extra),
             ["the OpenVEX document states CVE-2026-0001 of qt-3rdparty-zlib, "
              "which the bill does not"]),
            ("pointing at another bill",
             lambda c, o: c["vulnerabilities"][0]["affects"][0].update(ref="urn:cdx:x/1#z"),
             ["the CycloneDX VEX document lacks CVE-2026-22184 of qt-3rdparty-zlib",
              "the CycloneDX VEX document states CVE-2026-22184 of not a BOM-Link to the bill: "
              "urn:cdx:x/1#z, which the bill does not"]),
            ("OpenVEX's rule for not_affected",
             lambda c, o: o["statements"][0].update(impact_statement="both"),
             ["openvex.json: statement 1: not_affected needs a justification or an impact "
              "statement, and not both"]),
        ]
        for name, change, expected in rows:
            with self.subTest(name):
                self.assertEqual(self.problems(change), expected)


class InstalledSize(unittest.TestCase):
    def test_each_file_counts_its_own_size_in_whole_kib_and_each_folder_one(self):
        def entry(name, kind=tarfile.REGTYPE, size=0, link=""):
            info = tarfile.TarInfo(name)
            info.type, info.size, info.linkname = kind, size, link
            return info

        rows = [
            ("an empty file", [entry("./e")], 0),
            ("one byte", [entry("./b", size=1)], 1),
            ("exactly one KiB", [entry("./k", size=1024)], 1),
            ("one byte more", [entry("./k", size=1025)], 2),
            ("a folder, whatever its size on disk", [entry("./usr/", tarfile.DIRTYPE)], 1),
            ("a symbolic link", [entry("./l", tarfile.SYMTYPE, link="target")], 1),
            ("a hard link, counted once", [entry("./f", size=3000),
                                           entry("./g", tarfile.LNKTYPE, link="./f")], 3),
        ]
        for name, entries, kib in rows:
            with self.subTest(name):
                data = io.BytesIO()
                with tarfile.open(fileobj=data, mode="w") as archive:
                    for info in entries:
                        content = io.BytesIO(b"x" * info.size) if info.isreg() else None
                        archive.addfile(info, content)
                self.assertEqual(deb_size.installed_size(data.getvalue()), kib)


if __name__ == "__main__":
    unittest.main()

#!/usr/bin/env python3
"""Reads the application manifest back from a Windows program's resources (RT_MANIFEST, id 1)
and checks what Windows takes from it: the program runs with the user's own rights, declares
Windows 10 and 11 as supported, is per-monitor (v2) DPI aware with the per-monitor fallback of
older versions, and keeps the system's ANSI code page. A console program (--console) draws no
window and declares no DPI awareness.
    check-manifest.py [--console] PROGRAM.exe"""
import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_MANIFEST = 24
WINDOWS_10_AND_11 = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
SETTINGS_2019 = "{http://schemas.microsoft.com/SMI/2019/WindowsSettings}"


def resource_section(image):
    """The resource section's bytes and the address it is loaded at."""
    (pe_offset,) = struct.unpack_from("<I", image, 0x3C)
    if image[pe_offset:pe_offset + 4] != b"PE\0\0":
        sys.exit("not a PE file")
    _, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", image, pe_offset + 4)
    optional = pe_offset + 24
    if struct.unpack_from("<H", image, optional)[0] != 0x20B:
        sys.exit("not a 64-bit program")
    # The resource table is the third data directory of a PE32+ optional header.
    (resource_rva,) = struct.unpack_from("<I", image, optional + 112 + 2 * 8)
    table = optional + optional_size
    for index in range(sections):
        _, size, rva, raw_size, raw_offset = struct.unpack_from("<8sIIII", image,
                                                               table + 40 * index)
        if rva <= resource_rva < rva + max(size, raw_size):
            return image[raw_offset:raw_offset + raw_size], rva
    sys.exit("the program has no resources")


def entries(section, directory):
    """The (id, offset, is_directory) of a resource directory's entries with numeric ids."""
    named, numbered = struct.unpack_from("<HH", section, directory + 12)
    for index in range(named + numbered):
        identifier, target = struct.unpack_from("<II", section, directory + 16 + 8 * index)
        if not identifier & 0x80000000:
            yield identifier, target & 0x7FFFFFFF, bool(target & 0x80000000)


def resource(image, kind, identifier):
    """The data of the resource KIND/IDENTIFIER in its first language, or None."""
    section, base = resource_section(image)
    for type_id, names, _ in entries(section, 0):
        if type_id != kind:
            continue
        for name_id, languages, _ in entries(section, names):
            if name_id != identifier:
                continue
            for _, data_entry, is_directory in entries(section, languages):
                if is_directory:
                    continue
                rva, size = struct.unpack_from("<II", section, data_entry)
                return section[rva - base:rva - base + size]
    return None


def check(manifest, console):
    """The faults of the manifest, none when it is as it should be."""
    root = ElementTree.fromstring(manifest)
    faults = []
    if root.tag != ASM_V1 + "assembly":
        return ["the manifest is no assembly"]
    levels = [element.get("level") for element in root.iter(ASM_V3 + "requestedExecutionLevel")]
    if levels != ["asInvoker"]:
        faults.append(f"execution level {levels}, not asInvoker")
    systems = [element.get("Id").lower() for element in root.iter(COMPATIBILITY + "supportedOS")]
    if WINDOWS_10_AND_11 not in systems:
        faults.append(f"Windows 10 and 11 are not among the supported systems {systems}")
    awareness = [element.text.strip() for element in root.iter(SETTINGS_2016 + "dpiAwareness")]
    if awareness != ([] if console else ["PerMonitorV2"]):
        faults.append(f"DPI awareness {awareness}")
    fallback = [element.text.strip().lower() for element in root.iter(SETTINGS_2005 + "dpiAware")]
    if fallback != ([] if console else ["true/pm"]):
        faults.append(f"DPI aware fallback {fallback}")
    if any(True for _ in root.iter(SETTINGS_2019 + "activeCodePage")):
        faults.append("the manifest sets the active code page")
    return faults


def main():
    console = sys.argv[1:2] == ["--console"]
    path = sys.argv[-1]
    with open(path, "rb") as program:
        image = program.read()
    manifest = resource(image, RT_MANIFEST, 1)
    if manifest is None:
        sys.exit(f"{path} carries no manifest (RT_MANIFEST 1)")
    faults = check(manifest, console)
    for fault in faults:
        print(f"{path}: {fault}", file=sys.stderr)
    if faults:
        sys.exit(1)
    dpi = "no window" if console else "PerMonitorV2 (true/pm)"
    print(f"{path}: manifest asInvoker, Windows 10 and 11, {dpi}, the system's code page")


if __name__ == "__main__":
    main()

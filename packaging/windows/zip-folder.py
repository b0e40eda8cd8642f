#!/usr/bin/env python3
"""Packs a folder into a zip file that is the same from one build to the next:
    zip-folder.py FOLDER ZIP
The zip holds the folder itself, its members in sorted order, each with the time of
SOURCE_DATE_EPOCH (in UTC, as zip's DOS times have no time zone) and the same permissions,
whatever the files' own times, owners and modes were."""
import os
import sys
import time
import zipfile
from pathlib import Path


def entry(name, when, mode):
    info = zipfile.ZipInfo(name, date_time=time.gmtime(when)[:6])
    info.create_system = 3  # Unix, so that the permissions below count
    info.external_attr = mode << 16
    if name.endswith("/"):
        info.external_attr |= 0x10  # and Windows' own flag of a folder
    return info


def main(folder, output):
    folder = Path(folder)
    when = int(os.environ["SOURCE_DATE_EPOCH"])
    paths = sorted(folder.rglob("*"), key=lambda p: p.relative_to(folder).as_posix())
    with zipfile.ZipFile(output, "w") as archive:
        archive.writestr(entry(folder.name + "/", when, 0o40755), b"")
        for path in paths:
            name = (Path(folder.name) / path.relative_to(folder)).as_posix()
            if path.is_dir():
                archive.writestr(entry(name + "/", when, 0o40755), b"")
            else:
                info = entry(name, when, 0o100644)
                archive.writestr(info, path.read_bytes(), compress_type=zipfile.ZIP_DEFLATED,
                                 compresslevel=9)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: zip-folder.py FOLDER ZIP")
    main(*sys.argv[1:])

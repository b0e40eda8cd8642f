#!/usr/bin/env python3
"""Sets the Installed-Size of a Debian package from what it installs, as dpkg-gencontrol counts
it: each regular file and symbolic link by its size rounded up to whole KiB (a hard-linked file
once), every other entry, a folder, as 1 KiB. CPack counts a folder by the size that the
filesystem which staged it gives it (4 KiB on ext4, far less on a tmpfs), so the same package
built on two kinds of filesystem would differ. Only the control member changes; the files that
the package installs stay as they are, byte for byte:
    deb-installed-size.py DEB
"""
import gzip
import io
import lzma
import math
import re
import sys
import tarfile
from pathlib import Path

AR_MAGIC = b"!<arch>\n"


def ar_members(data):
    """The members of an ar archive, each as its 60-byte header and its content."""
    if not data.startswith(AR_MAGIC):
        sys.exit("deb-installed-size: not an ar archive")
    members, offset = [], len(AR_MAGIC)
    while offset < len(data):
        header = data[offset:offset + 60]
        size = int(header[48:58])
        members.append((header, data[offset + 60:offset + 60 + size]))
        offset += 60 + size + size % 2
    return members


def ar_archive(members):
    out = bytearray(AR_MAGIC)
    for header, content in members:
        out += header[:48] + b"%-10d" % len(content) + header[58:] + content
        if len(content) % 2:
            out += b"\n"
    return bytes(out)


def member_name(header):
    return header[:16].decode().strip().rstrip("/")


def installed_size(data_tar):
    """The package's installed size in KiB, counted from its data.tar."""
    size = 0
    with tarfile.open(fileobj=io.BytesIO(data_tar)) as archive:
        for entry in archive:
            if entry.isreg():
                size += math.ceil(entry.size / 1024)
            elif entry.issym():
                size += math.ceil(len(entry.linkname.encode()) / 1024)
            elif not entry.islnk():  # a hard link names a file already counted
                size += 1
    return size


def with_installed_size(control_tar_gz, size):
    """The control.tar.gz with its control file's Installed-Size set, every other byte of its
    members and their headers kept."""
    raw = gzip.decompress(control_tar_gz)
    gnu = raw[257:265] == b"ustar  \x00"
    out = io.BytesIO()
    tar_format = tarfile.GNU_FORMAT if gnu else tarfile.USTAR_FORMAT
    with tarfile.open(fileobj=io.BytesIO(raw)) as source, \
            tarfile.open(fileobj=out, mode="w", format=tar_format) as target:
        for entry in source:
            content = source.extractfile(entry).read() if entry.isreg() else None
            if entry.name in ("./control", "control"):
                content, count = re.subn(rb"^Installed-Size: *\d+$",
                                         b"Installed-Size: %d" % size, content, flags=re.M)
                if count != 1:
                    sys.exit("deb-installed-size: the control file has no Installed-Size")
                entry.size = len(content)
            target.addfile(entry, io.BytesIO(content) if content is not None else None)
    return gzip.compress(out.getvalue(), compresslevel=9, mtime=0)


def main(deb):
    members = ar_members(deb.read_bytes())
    by_name = {member_name(header): index for index, (header, _) in enumerate(members)}
    if "control.tar.gz" not in by_name or "data.tar.xz" not in by_name:
        sys.exit(f"deb-installed-size: {deb} has no control.tar.gz and data.tar.xz")
    size = installed_size(lzma.decompress(members[by_name["data.tar.xz"]][1]))
    index = by_name["control.tar.gz"]
    header, control = members[index]
    members[index] = (header, with_installed_size(control, size))
    deb.write_bytes(ar_archive(members))
    print(f"{deb.name}: Installed-Size: {size}")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: deb-installed-size.py DEB")
    main(Path(sys.argv[1]))

#!/usr/bin/env python3
"""Records, beside a freshly built Qt for Windows, what a software bill of materials of a
program linked with it needs to know about Qt's bundled third-party code:
    qt-sources.py SOURCE BUILD PREFIX INTO

INTO receives Qt's attribution files (qt_attribution.json, at their places in the source tree)
and attributed-inputs.tsv: for every static library installed in PREFIX and every object file
in it, each file of SOURCE below an attribution file's folder that the compiler read for that
object, as ninja recorded it (the source file and every header it included). A program's
linker map then tells which of those objects went into the program.
"""
import os
import subprocess
import sys
from pathlib import Path


def ninja(build, *args):
    return subprocess.run(["ninja", "-C", str(build), "-t", *args], check=True,
                          capture_output=True, text=True).stdout


def objects_of(build, archive):
    """The object files that ninja archives into a library of the build tree."""
    lines = ninja(build, "query", archive).splitlines()
    return [line.strip() for line in lines
            if line.startswith("    ") and not line.strip().startswith("|")
            and line.strip().endswith(".obj")]


def read_deps(build, objects):
    """Maps each object to the files that the compiler reported reading for it."""
    deps, current = {}, None
    for line in ninja(build, "deps", *objects).splitlines():
        if not line.strip():
            continue
        if not line.startswith(" "):
            current = line.split(":", 1)[0]
            deps[current] = []
        elif current is not None:
            deps[current].append(line.strip())
    return deps


def main(source, build, prefix, into):
    source, build, prefix, into = (Path(p).resolve() for p in (source, build, prefix, into))
    attribution_files = sorted(p.relative_to(source) for p in source.rglob("qt_attribution.json"))
    for relative in attribution_files:
        target = into / "attributions" / relative
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes((source / relative).read_bytes())
    folders = sorted({str(relative.parent) + "/" for relative in attribution_files})

    rows = set()
    archives = sorted(p.relative_to(prefix)
                      for p in [*prefix.glob("lib/*.a"), *prefix.glob("plugins/*/*.a")])
    for archive in archives:
        objects = objects_of(build, str(archive))
        if not objects:
            continue
        for obj, files in read_deps(build, objects).items():
            member = os.path.basename(obj)
            for name in files:
                path = os.path.normpath(name if os.path.isabs(name) else build / name)
                if not path.startswith(str(source) + "/"):
                    continue
                relative = path[len(str(source)) + 1:]
                if any(relative.startswith(folder) for folder in folders):
                    rows.add((str(archive), member, relative))
    with open(into / "attributed-inputs.tsv", "w", encoding="utf-8") as out:
        for row in sorted(rows):
            out.write("\t".join(row) + "\n")


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit("usage: qt-sources.py SOURCE BUILD PREFIX INTO")
    main(*sys.argv[1:])

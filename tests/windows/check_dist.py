#!/usr/bin/env python3
"""Checks the release that make dist wrote against what it was made from.

- SHA256SUMS names the three archives, and sha256sum -c accepts it.
- Each Windows zip holds strcycles.exe, README.txt and LICENSE.txt, in that
  order: the program byte for byte the one in its build tree, LICENSE.txt the
  licence; README.txt names the version, the zip and the program's SHA-256.
  Both texts' lines end in CR LF, so that any Notepad shows them. Every entry
  carries the commit's time, read as UTC.

usage: check_dist.py DIST BUILD SOURCE VERSION
"""
import calendar
import hashlib
import subprocess
import sys
import zipfile
from pathlib import Path

ENTRIES = ["strcycles.exe", "README.txt", "LICENSE.txt"]


def line_ends(name, text):
    """Problems with TEXT's line ends: every line must end in CR LF."""
    lines = text.splitlines(keepends=True)
    bare = sum(not line.endswith(b"\r\n") for line in lines)
    return [f"{name}: {bare} of {len(lines)} lines do not end in CR LF"] if bare else []


def check_zip(path, program, licence, version, commit_time):
    problems = []
    with zipfile.ZipFile(path) as archive:
        names = archive.namelist()
        if names != ENTRIES:
            return [f"{path.name}: holds {names}, expected {ENTRIES}"]
        exe, readme, text = (archive.read(name) for name in ENTRIES)
        stamps = {calendar.timegm(info.date_time + (0, 0, 0)) for info in archive.infolist()}
    if exe != program.read_bytes():
        problems.append(f"{path.name}: strcycles.exe is not {program}")
    for name, data in (("README.txt", readme), ("LICENSE.txt", text)):
        problems += line_ends(f"{path.name}: {name}", data)
    if text.replace(b"\r\n", b"\n") != licence:
        problems.append(f"{path.name}: LICENSE.txt is not the licence")
    for needed in (f"strcycles {version} ", path.name, hashlib.sha256(exe).hexdigest()):
        if needed.encode() not in readme:
            problems.append(f"{path.name}: README.txt does not say {needed!r}")
    # A zip keeps local time to two seconds, rounded up.
    if any(not 0 <= stamp - commit_time <= 1 for stamp in stamps):
        problems.append(f"{path.name}: entry times {sorted(stamps)}, expected the commit's,"
                        f" {commit_time}")
    return problems


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    dist, build, source, version = Path(sys.argv[1]), Path(sys.argv[2]), sys.argv[3], sys.argv[4]
    commit_time = int(subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct", "HEAD"],
                                     check=True, capture_output=True, text=True).stdout)
    trees = ("win32", "win64")
    archives = [f"strcycles-{version}-{tree}.zip" for tree in trees]
    archives.append(f"strcycles-{version}.tar.gz")

    problems = []
    sums = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=dist, capture_output=True,
                          text=True)
    print(sums.stdout, end="")
    if sums.returncode != 0:
        problems.append(f"sha256sum -c SHA256SUMS: {sums.stderr.strip() or 'failed'}")
    listed = [line.split()[-1] for line in (dist / "SHA256SUMS").read_text().splitlines()]
    if listed != archives:
        problems.append(f"SHA256SUMS lists {listed}, expected {archives}")

    licence = (Path(source) / "LICENSE").read_bytes()
    for tree, archive in zip(trees, archives):
        problems += check_zip(dist / archive, build / tree / "strcycles.exe", licence, version,
                              commit_time)

    for problem in problems:
        print("FAIL:", problem)
    if not problems:
        print(f"{dist}: {', '.join(archives)}: as built, with CR LF texts and the commit's time")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

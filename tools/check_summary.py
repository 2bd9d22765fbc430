#!/usr/bin/env python3
"""make check's last words: each tree it tested with its test count, the legs
it skipped, each case skipped on this machine under its reason, and what the
install could not bring. Read from make check's record and each tree's
Testing/Temporary/LastTest.log, where every test that skips prints
"skipped: REASON" (after its case's name, where it has cases).

The record's lines, in the order make check wrote them:
  tree NAME                  ctest passed in BUILD/NAME
  clean LEG                  a leg without ctest passed (fuzz, lint)
  leg LEG skipped: WHY       a leg skipped, as tools/requirements.sh said why
  not-installed PKG...: WHY  what the install could not bring, and apt's reason

usage: check_summary.py BUILD RECORD
"""
import re
import sys
from collections import defaultdict
from pathlib import Path

CASE = re.compile(r"^\d+/\d+ Test: (.*)$")
SKIPPED = re.compile(r"^(?:[^ :]+: )?skipped: (.*)$")


def cases(log):
    """[name, why skipped or None] for each test of a ctest run's log."""
    found = []
    for line in log.read_text(errors="replace").splitlines():
        if match := CASE.match(line):
            found.append([match.group(1), None])
        elif (match := SKIPPED.match(line)) and found and found[-1][1] is None:
            found[-1][1] = match.group(1)
    return found


def short(reason):
    """A reason's first clause: up to its first colon, semicolon or parenthesis."""
    return re.split(r":|;| \(", reason, maxsplit=1)[0]


def named(package, text):
    """Whether TEXT names the Debian package (libc6-dbg:i386 is not libc6)."""
    return re.search(rf"(?<![\w.+:-]){re.escape(package)}(?![\w.+:-])", text) is not None


def joined(names):
    """Names sharing a prefix before a dot written once: a.{b,c}."""
    groups = defaultdict(list)
    for name in names:
        prefix, dot, rest = name.rpartition(".")
        groups[prefix if dot else name].append(rest if dot else "")
    return ", ".join(key if rests == [""] else f"{key}.{rests[0]}" if len(rests) == 1
                     else f"{key}.{{{','.join(rests)}}}" for key, rests in groups.items())


def main():
    build, record = Path(sys.argv[1]), Path(sys.argv[2])
    rows, skipped, missing = [], defaultdict(lambda: defaultdict(list)), []
    for line in record.read_text().splitlines():
        kind, _, rest = line.partition(" ")
        if kind == "tree":
            found = cases(build / rest / "Testing/Temporary/LastTest.log")
            skips = [(name, why) for name, why in found if why is not None]
            rows.append((rest, f"{len(found)} tests" + (f", {len(skips)} skipped" if skips else "")))
            for name, why in skips:
                skipped[why][rest].append(name)
        elif kind == "clean":
            rows.append((rest, "clean"))
        elif kind == "leg":
            leg, _, why = rest.partition(" ")
            rows.append((leg, why))
        elif kind == "not-installed":
            missing.append(rest.partition(": "))
    print("make check on this machine:")
    for name, what in rows:
        print(f"  {name:<14}{what}")
    if skipped:
        print("skipped here:")
    for why, trees in skipped.items():
        apt = [f"; {packages} not installable: {reason}" for packages, _, reason in missing
               if any(named(package, why) for package in packages.split())]
        print(f"  {short(why)}{''.join(apt)}")
        alike = defaultdict(list)
        for tree, names in trees.items():
            alike[joined(names)].append(tree)
        for names, where in alike.items():
            print(f"    {', '.join(where)}: {names}")
    for packages, _, reason in missing:
        print(f"not installed: {packages} ({reason})")


if __name__ == "__main__":
    main()

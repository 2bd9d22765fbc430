#!/usr/bin/env python3
"""tools/requirements.sh install check on a bad day for the package registry:
stand-ins for apt-get, dpkg, dpkg-query, id, sleep and clang++ first on PATH
(nothing is installed, /etc/apt and dpkg's architectures stay as they are),
apt-get update failing as a mirror mid-sync makes it, every i386 package and
the case's own refused. The project's table, each probe made a file that the
stand-in apt-get writes once it "installs" the row's first package.

usage: requirements_test.py SOURCE
"""
import os
import re
import subprocess
import sys
import tempfile
from pathlib import Path

UPDATE = """Hit:1 http://deb.debian.org/debian bookworm InRelease
Err:4 http://deb.debian.org/debian-security bookworm-security/main i386 Packages
  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 151.101.2.132 80]
E: Some index files failed to download. They have been ignored, or old ones used instead."""
HELD = "E: Unable to correct problems, you have held broken packages."
STAND_INS = {
    "apt-get": f"""echo "apt-get $*" >>"$CALLS"
[ "$1" = update ] && {{ echo '{UPDATE}'; exit 100; }}
for arg; do case " $REFUSED " in *" ${{arg%%=*}} "*) echo '{HELD}'; exit 100;; esac; done
for arg; do case $arg in -*|install) ;; *:i386*) echo '{HELD}'; exit 100;; esac; done
for arg; do case $arg in -*|install) ;; *) : >"$INSTALLED/$arg";; esac; done""",
    "dpkg": """echo "dpkg $*" >>"$CALLS"; [ "$1" = --print-architecture ] && echo amd64; true""",
    "dpkg-query": """[ "$3" = libc6-dbg:amd64 ] && echo 'installed 2.36-9+deb12u9'""",
    "id": "echo 0",
    "sleep": """echo "sleep $*" >>"$CALLS" """,
    "clang++": "echo 'Debian clang version 19.1.7'",
}
# The table's placeholders with these stand-ins and no $CXX.
FILLED = {"{cxx-package}": "build-essential", "{clang}": "19"}
LEGS = {"check", "native", "clang", "sanitize", "m32", "windows", "fuzz", "lint"}
PINNED = "libc6-dbg:i386=2.36-9+deb12u9"

# (case, packages refused besides the i386 ones)
CASES = [
    ("the i386 packages refused", ""),
    ("one for some tests refused too", "valgrind"),
    ("a required one refused", "g++-mingw-w64-i686"),
]


def read_table(path):
    """The rows, probes made files, and make check's packages by group."""
    rows, groups = [], {"required": set(), "some": set(), "i386": set()}
    for line in path.read_text().splitlines():
        if line.startswith("#") or not line.strip():
            continue
        tool, _, packages, targets = line.split()
        rows.append(f"{tool} file:{{installed}}/{packages.split(',')[0]} {packages} {targets}")
        wanted = [t for t in targets.split(",") if t.rstrip("?") in LEGS]
        group = "some" if all(t.endswith("?") for t in wanted) else "required"
        for package in packages.split(",") if wanted else []:
            for key, value in FILLED.items():
                package = package.replace(key, value)
            groups["i386" if package.endswith(":i386") else group].add(package)
    return rows, groups


def run_case(source, rows, refused):
    """The script's exit status and output, and the stand-ins' calls and record."""
    with tempfile.TemporaryDirectory(prefix="strcycles-install-") as work:
        work = Path(work)
        (work / "bin").mkdir()
        (work / "installed").mkdir()
        for name, body in STAND_INS.items():
            (work / "bin" / name).write_text("#!/bin/sh\n" + body + "\n")
            (work / "bin" / name).chmod(0o755)
        table = "\n".join(rows).replace("{installed}", str(work / "installed"))
        (work / "table").write_text(table + "\n")
        env = {k: v for k, v in os.environ.items() if k != "CXX"}
        env.update(PATH=f"{work / 'bin'}:{env['PATH']}", STRCYCLES_REQUIREMENTS=str(work / "table"),
                   STRCYCLES_CHECK_RECORD=str(work / "record"), CALLS=str(work / "calls"),
                   INSTALLED=str(work / "installed"), REFUSED=refused)
        run = subprocess.run([source / "tools/requirements.sh", "install", "check"], env=env,
                             capture_output=True, text=True, timeout=300)
        said = [(work / f).read_text() if (work / f).exists() else "" for f in ("calls", "record")]
        return (run.returncode, run.stdout + run.stderr, *said)


def groups_and_reasons(pattern, text):
    return [(set(names.split()), why) for names, why in re.findall(pattern, text)]


def problems(source, rows, groups, refused):
    """What the run did that it should not have, or left undone."""
    status, out, calls, record = run_case(source, rows, refused)
    asked = [set(line.split()[4:]) for line in calls.splitlines() if " install " in line]
    stops = bool(set(refused.split()) & groups["required"])
    if stops:
        failed, after = [(groups["required"], HELD)], []
    else:
        failed = [(groups["some"], HELD)] * bool(refused) + [(groups["i386"], HELD)]
        after = [groups["some"], groups["i386"], groups["i386"] - {"libc6-dbg:i386"} | {PINNED}]
    said = groups_and_reasons(r"cannot install ([^;]*); apt said:\n *(E: .*)", out)
    recorded = groups_and_reasons(r"not-installed (.*?): (.*)", record)
    expected = [(status == (1 if stops else 0), f"exit status {status}"),
                (calls.count("apt-get update") == 3 and calls.count("sleep") == 2,
                 "apt-get update not tried three times with a pause between"),
                (out.count("Mirror sync in progress?") == 1, "apt's update error not said once"),
                ("goes on with the package lists apt has" in out, "no word that it goes on"),
                (asked == [groups["required"]] + after, f"asked apt-get install for {asked}"),
                (said == failed, f"said it could not install {said}"),
                (recorded == failed, f"recorded {recorded}")]
    return [what for ok, what in expected if not ok], out


def main():
    source = Path(sys.argv[1])
    rows, groups = read_table(source / "tools/requirements.table")
    failed = 0
    for name, refused in CASES:
        seen, out = problems(source, rows, groups, refused)
        print(f"{name}: FAILED: {'; '.join(seen)}\n{out}" if seen else f"{name}: as expected")
        failed += bool(seen)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""tools/requirements.sh install check on a bad day for the package registry.

Stand-ins for apt-get, dpkg, dpkg-query, id, sleep and clang++ come first on
PATH, so nothing is installed and neither /etc/apt nor dpkg's architectures
change: apt-get update fails as a mirror in the middle of a sync makes it, and
apt-get install refuses every i386 package (and the case's own) as apt does
when it cannot pair a Multi-Arch: same library. The project's table is used
with each tool's probe turned into a file the stand-in apt-get writes once it
"installs" the tool's first package, so every tool starts missing.

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
    "id": """echo "$UID_HERE" """,
    "sleep": """echo "sleep $*" >>"$CALLS" """,
    "clang++": "echo 'Debian clang version 19.1.7'",
}
# What the table's placeholders are with these stand-ins and no $CXX.
FILLED = {"{cxx-package}": "build-essential", "{clang}": "19"}
LEGS = "native clang sanitize m32 windows fuzz lint".split()

# (case, user id, packages refused besides the i386 ones)
CASES = [
    ("the i386 packages refused", 0, ""),
    ("one for some tests refused too", 0, "valgrind"),
    ("a required one refused", 0, "g++-mingw-w64-i686"),
    ("not root", 1000, ""),
]


def read_table(path):
    """{package: 'required' | 'some'} for make check, and the rows' lines."""
    needs, rows = {}, []
    for line in path.read_text().splitlines():
        if not line.strip() or line.startswith("#"):
            rows.append(line)
            continue
        tool, _, packages, targets = line.split()
        rows.append(f"{tool} file:{{installed}}/{packages.split(',')[0]} {packages} {targets}")
        for key, value in FILLED.items():
            packages = packages.replace(key, value)
        wanted = [t for t in targets.split(",") if t.rstrip("?") in LEGS + ["check"]]
        for package in packages.split(",") if wanted else []:
            needs[package] = "some" if all(t.endswith("?") for t in wanted) else "required"
    return needs, rows


def run_case(source, needs, rows, uid, refused):
    with tempfile.TemporaryDirectory(prefix="strcycles-install-") as work:
        work = Path(work)
        bin_dir, installed = work / "bin", work / "installed"
        bin_dir.mkdir()
        installed.mkdir()
        for name, body in STAND_INS.items():
            (bin_dir / name).write_text("#!/bin/sh\n" + body + "\n")
            (bin_dir / name).chmod(0o755)
        table = work / "requirements.table"
        table.write_text("\n".join(rows).replace("{installed}", str(installed)) + "\n")
        env = {k: v for k, v in os.environ.items() if k != "CXX"}
        env.update(PATH=f"{bin_dir}:{env['PATH']}", STRCYCLES_REQUIREMENTS=str(table),
                   STRCYCLES_CHECK_RECORD=str(work / "record"), CALLS=str(work / "calls"),
                   INSTALLED=str(installed), REFUSED=refused, UID_HERE=str(uid))
        run = subprocess.run([source / "tools/requirements.sh", "install", "check"], env=env,
                             capture_output=True, text=True, timeout=300)
        calls = (work / "calls").read_text() if (work / "calls").exists() else ""
        record = (work / "record").read_text() if (work / "record").exists() else ""
        return run, calls, record


def problems(source, needs, rows, name, uid, refused):
    run, calls, record = run_case(source, needs, rows, uid, refused)
    out = run.stdout + run.stderr
    required = {p for p, need in needs.items() if need == "required" and ":i386" not in p}
    some = {p for p, need in needs.items() if need == "some" and ":i386" not in p}
    i386 = {p for p in needs if p.endswith(":i386")}
    stops = bool(set(refused.split()) & required)
    asked = [set(line.split()[4:]) for line in calls.splitlines()
             if line.startswith("apt-get install -y --no-install-recommends")]
    seen = []

    def expect(ok, what):
        if not ok:
            seen.append(what)

    expect(run.returncode == (1 if stops else 0), f"exit status {run.returncode}")
    if uid != 0:
        expect(calls == "", f"asked apt or dpkg although not root:\n{calls}")
        for package in required | some:
            expect(re.search(rf"\(Debian: [^)]*\b{re.escape(package)}\b", out),
                   f"{package} not named")
        return seen, out
    expect(calls.count("apt-get update") == 3 and calls.count("sleep") == 2,
           "apt-get update not tried three times, with a pause between")
    expect(out.count("Mirror sync in progress?") == 1, "apt's update error not said once")
    expect("goes on with the package lists apt has" in out, "no word that the install goes on")
    expect(asked and asked[0] == required, f"first asked for {asked[:1]}, not {sorted(required)}")
    if stops:
        expect(len(asked) == 1, "went on after a required package was refused")
        expect(re.search(rf"cannot install .*{re.escape(refused)}.*\n *{re.escape(HELD)}", out),
                   f"{refused} not named with apt's reason")
        return seen, out
    expect(some in asked, "the packages some tests need not asked for")
    expect(i386 in asked, "the i386 packages not asked for")
    pinned = {p for group in asked for p in group if "=" in p}
    expect(pinned == {"libc6-dbg:i386=2.36-9+deb12u9"},
           f"the i386 retry at the installed amd64 versions asked for {pinned}")
    expect(re.search(rf"cannot install [^\n]*wine32:i386[^\n]*\n *{re.escape(HELD)}", out),
           "the i386 group not reported with apt's reason")
    expect(f": {HELD}" in record and "wine32:i386" in record, f"not recorded: {record!r}")
    named = [set(group.split()) for group in re.findall(r"cannot install ([^;]*); apt said", out)]
    expect(named == ([some] if refused else []) + [i386], f"named as not installed: {named}")
    return seen, out


def main():
    source = Path(sys.argv[1])
    needs, rows = read_table(source / "tools/requirements.table")
    failed = 0
    for name, uid, refused in CASES:
        seen, out = problems(source, needs, rows, name, uid, refused)
        print(f"{name}: {'FAILED: ' + '; '.join(seen) if seen else 'as expected'}")
        if seen:
            print(out)
            failed += 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

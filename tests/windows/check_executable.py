#!/usr/bin/env python3
"""Checks a Windows build of the program without running it.

It must be a console executable for its machine that enters at RunBenchmark,
imports from KERNEL32.dll and msvcrt.dll and nothing else (so it runs on a
plain Windows), takes exactly the calls the program makes from them, and needs none
of the start-up work that no C runtime is there to do: no thread-local
storage, no global constructors, no pseudo-relocations to apply. And it must
say which version it is: a version resource whose numbers and texts are the
project's version, as Windows shows them in the file's Properties.

The image is read with pefile (tests/support/binary_image.py), which walks the
import table itself, so it does not matter how a given binutils would list it.

usage: check_executable.py PROGRAM {i386,x86-64} VERSION [--expect-failure REGEX]

With --expect-failure the image must fail the check with a problem that
matches REGEX: the check's own test, against images known to be wrong.
"""
import argparse
import os
import re
import sys

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from binary_image import Image  # noqa: E402

MACHINES = {
    "i386": {"machine": 0x14c, "magic": 0x10b, "entry": "_RunBenchmark"},
    "x86-64": {"machine": 0x8664, "magic": 0x20b, "entry": "RunBenchmark"},
}
IMPORTS = {
    "KERNEL32.dll": {"GetCurrentProcess", "GetPriorityClass", "SetPriorityClass", "GetStdHandle",
                     "WriteFile", "GetConsoleMode", "FlushConsoleInputBuffer", "ReadFile", "Sleep",
                     "ExitProcess"},
    "msvcrt.dll": {"strstr", "_kbhit", "_getch"},
}
CONSOLE = pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_CUI"]
TLS = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_TLS"]
RESOURCES = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]
# The version texts that must name the program; FileVersion and
# ProductVersion must be the version itself.
NAMED = {"ProductName": "strcycles", "OriginalFilename": "strcycles.exe"}
STATED = ("FileDescription", "LegalCopyright")


def version_problems(pe, version):
    """What is wrong with the image's version resource, for VERSION a.b.c."""
    pe.parse_data_directories(directories=[RESOURCES])
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        return ["no version resource"]
    problems = []
    major, minor, patch = (int(part) for part in version.split("."))
    numbers = (major << 16 | minor, patch << 16)
    for name in ("FileVersion", "ProductVersion"):
        found = (getattr(fixed[0], name + "MS"), getattr(fixed[0], name + "LS"))
        if found != numbers:
            shown = ".".join(str(n) for w in found for n in (w >> 16, w & 0xffff))
            problems.append(f"fixed {name} {shown}, expected {version}.0")
    texts = {}
    for info in getattr(pe, "FileInfo", []):
        for block in (b for b in info if b.Key == b"StringFileInfo"):
            for table in block.StringTable:
                texts.update((k.decode(), v.decode()) for k, v in table.entries.items())
    expected = dict(NAMED, FileVersion=version, ProductVersion=version)
    for name, value in expected.items():
        if texts.get(name) != value:
            problems.append(f"{name} {texts.get(name)!r}, expected {value!r}")
    problems += [f"no {name}" for name in STATED if not texts.get(name)]
    return problems


def check(image, machine, version):
    expect = MACHINES[machine]
    if image.format != "pe":
        return [f"not a PE image but {image.format}"], {}
    pe, problems = image.pe, []
    if pe.FILE_HEADER.Machine != expect["machine"]:
        problems.append(f"machine {pe.FILE_HEADER.Machine:#x}, expected {expect['machine']:#x}"
                        f" ({machine})")
    if pe.OPTIONAL_HEADER.Magic != expect["magic"]:
        problems.append(f"optional header magic {pe.OPTIONAL_HEADER.Magic:#x}, "
                        f"expected {expect['magic']:#x}")
    if pe.OPTIONAL_HEADER.Subsystem != CONSOLE:
        problems.append(f"subsystem {pe.OPTIONAL_HEADER.Subsystem}, expected {CONSOLE} (console)")

    entry = pe.OPTIONAL_HEADER.ImageBase + pe.OPTIONAL_HEADER.AddressOfEntryPoint
    run = image.symbol(expect["entry"])
    if run is None or entry != run:
        problems.append(f"entry point {entry:#x} is not RunBenchmark"
                        f" ({'not found' if run is None else f'{run:#x}'})")

    found = image.imports
    if sorted(found) != sorted(IMPORTS):
        problems.append(f"imports from {sorted(found)}, expected exactly {sorted(IMPORTS)}")
    for dll, functions in IMPORTS.items():
        missing = functions - set(found.get(dll, []))
        if missing:
            problems.append(f"{dll}: {sorted(missing)} not imported")
        extra = set(found.get(dll, [])) - functions
        if extra:
            problems.append(f"{dll}: {sorted(extra)} imported, which the program does not call")

    # Without a C runtime nothing would set these up: each must be empty.
    directories = pe.OPTIONAL_HEADER.DATA_DIRECTORY
    if len(directories) <= TLS or directories[TLS].VirtualAddress or directories[TLS].Size:
        problems.append("the image has a thread-local storage directory")
    ctors = image.symbol("__CTOR_LIST__")
    if ctors is not None:
        size = image.word
        words = image.read(ctors, 2 * size)
        head, first = (int.from_bytes(words[i:i + size], "little") for i in (0, size))
        if head != (1 << 8 * size) - 1 or first != 0:
            problems.append("the image has global constructors, which nothing would run")
    relocs = (image.symbol("__RUNTIME_PSEUDO_RELOC_LIST__"),
              image.symbol("__RUNTIME_PSEUDO_RELOC_LIST_END__"))
    if relocs[0] != relocs[1]:
        problems.append("the image needs runtime pseudo-relocations, which nothing would apply")
    problems += version_problems(pe, version)
    return problems, found


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("program")
    parser.add_argument("machine", choices=MACHINES)
    parser.add_argument("version")
    parser.add_argument("--expect-failure", metavar="REGEX")
    args = parser.parse_args()
    try:
        problems, found = check(Image(args.program), args.machine, args.version)
    except (OSError, ValueError, pefile.PEFormatError) as error:
        problems, found = [f"cannot read {args.program}: {error}"], {}
    for problem in problems:
        print("FAIL:" if not args.expect_failure else "found:", problem)
    if args.expect_failure:
        if any(re.search(args.expect_failure, problem) for problem in problems):
            return 0
        print(f"FAIL: no problem matches {args.expect_failure!r}")
        return 1
    if problems:
        return 1
    listed = "; ".join(f"{dll}: {', '.join(functions)}" for dll, functions in found.items())
    print(f"{args.program}: {args.machine} console image entering at RunBenchmark, "
          f"version {args.version}; imports {listed}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

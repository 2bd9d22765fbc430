#!/usr/bin/env python3
"""Checks a Windows build of the program without running it.

It must be a console executable for its machine that enters at RunBenchmark,
imports from KERNEL32.dll and msvcrt.dll and nothing else (so it runs on a
plain Windows), takes exactly the calls the program makes from them, and needs none
of the start-up work that no C runtime is there to do: no thread-local
storage, no global constructors, no pseudo-relocations to apply.

usage: check_executable.py OBJDUMP PROGRAM {i386,x86-64}
"""
import re
import subprocess
import sys

MACHINES = {
    "i386": {"format": "pei-i386", "magic": "010b", "pointer": 4},
    "x86-64": {"format": "pei-x86-64", "magic": "020b", "pointer": 8},
}
IMPORTS = {
    "KERNEL32.dll": {"GetCurrentProcess", "GetPriorityClass", "SetPriorityClass", "GetStdHandle",
                     "WriteFile", "GetConsoleMode", "FlushConsoleInputBuffer", "ReadFile", "Sleep",
                     "ExitProcess"},
    "msvcrt.dll": {"strstr", "_kbhit", "_getch"},
}


def objdump(tool, program, *options):
    return subprocess.run([tool, *options, program], check=True, capture_output=True,
                          text=True).stdout


def symbols(tool, program):
    """name -> address; COFF symbols hold offsets into their sections."""
    bases = {}
    for line in objdump(tool, program, "-h").splitlines():
        fields = line.split()
        if len(fields) > 3 and fields[0].isdigit():
            bases[int(fields[0]) + 1] = int(fields[3], 16)
    table = {}
    for line in objdump(tool, program, "-t").splitlines():
        m = re.search(r"\(sec\s+(\d+)\).*0x([0-9a-f]+) (\S+)$", line)
        if m and int(m.group(1)) in bases:
            table[m.group(3)] = bases[int(m.group(1))] + int(m.group(2), 16)
    return table


def imports(private_headers):
    """DLL name -> imported function names, in the order objdump lists them."""
    table, current = {}, None
    for line in private_headers.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)$", line)
        if m:
            current = table.setdefault(m.group(1), [])
            continue
        m = re.match(r"\s*[0-9a-f]+\s+\d+\s+(\S+)\s*$", line)
        if m and current is not None:
            current.append(m.group(1))
        elif not line.strip() and current:
            current = None
    return table


def header_value(private_headers, name):
    m = re.search(r"^" + name + r"\s+(\S+)", private_headers, re.MULTILINE)
    return m.group(1) if m else None


def words_at(tool, program, start, count, size):
    """`count` little-endian words of `size` bytes at virtual address `start`."""
    dump = objdump(tool, program, "-s", f"--start-address={start:#x}",
                   f"--stop-address={start + count * size:#x}")
    data = b""
    for line in dump.splitlines():
        m = re.match(r"\s*[0-9a-f]+ ((?:[0-9a-f]{2,8} ?){1,4})", line)
        if m:
            data += bytes.fromhex(m.group(1).replace(" ", ""))
    return [int.from_bytes(data[i:i + size], "little") for i in range(0, count * size, size)]


def check(tool, program, machine):
    expect = MACHINES[machine]
    problems = []
    headers = objdump(tool, program, "-p")
    names = symbols(tool, program)

    if f"file format {expect['format']}" not in objdump(tool, program, "-f"):
        problems.append(f"not a {expect['format']} image")
    if header_value(headers, "Magic") != expect["magic"]:
        problems.append(f"optional header magic {header_value(headers, 'Magic')}, "
                        f"expected {expect['magic']}")
    if header_value(headers, "Subsystem") != "00000003":
        problems.append(f"subsystem {header_value(headers, 'Subsystem')}, expected 3 (console)")

    entry = int(header_value(headers, "AddressOfEntryPoint") or "0", 16)
    base = int(header_value(headers, "ImageBase") or "0", 16)
    run = names.get("_RunBenchmark" if machine == "i386" else "RunBenchmark")
    if run is None or base + entry != run:
        problems.append(f"entry point {base + entry:#x} is not RunBenchmark ({run})")

    found = imports(headers)
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
    tls = re.search(r"^Entry 9 ([0-9a-f]+) ([0-9a-f]+)", headers, re.MULTILINE)
    if tls is None or int(tls.group(1), 16) or int(tls.group(2), 16):
        problems.append("the image has a thread-local storage directory")
    ctors = names.get("__CTOR_LIST__")
    if ctors is not None:
        size = expect["pointer"]
        head, first = words_at(tool, program, ctors, 2, size)
        if head != (1 << 8 * size) - 1 or first != 0:
            problems.append("the image has global constructors, which nothing would run")
    relocs = (names.get("__RUNTIME_PSEUDO_RELOC_LIST__"),
              names.get("__RUNTIME_PSEUDO_RELOC_LIST_END__"))
    if relocs[0] != relocs[1]:
        problems.append("the image needs runtime pseudo-relocations, which nothing would apply")
    return problems, found


def main():
    if len(sys.argv) != 4 or sys.argv[3] not in MACHINES:
        sys.exit(__doc__)
    tool, program, machine = sys.argv[1:]
    problems, found = check(tool, program, machine)
    for problem in problems:
        print("FAIL:", problem)
    if problems:
        return 1
    listed = "; ".join(f"{dll}: {', '.join(functions)}" for dll, functions in found.items())
    print(f"{program}: {machine} console image entering at RunBenchmark; imports {listed}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

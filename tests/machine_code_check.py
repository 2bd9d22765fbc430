#!/usr/bin/env python3
"""Checks the built program's machine code for the ways a benchmark lies.

For every MeasureCallCycles instantiation: two loops, the empty one without
any call and the timed one with exactly one call per pass, to its contestant;
both step the pass counter in memory; fences and counter reads in the order
fence, read, store L, fence, loop, fence, read (twice); nothing else called
between the first and the last counter read; loop heads on 16-byte
boundaries. For the search routines: every loop head on a 16-byte boundary.

usage: machine_code_check.py OBJDUMP PROGRAM --contestants strstr,finstr,...
       [--routines finstr,Wordsweep]
"""
import argparse
import re
import subprocess
import sys

INSN = re.compile(r"^\s*([0-9a-f]+):\s+(.*)$")
FUNC = re.compile(r"^([0-9a-f]+) <(.*)>:$")
TARGET = re.compile(r"^([0-9a-f]+)\b")
COMMENT_ADDR = re.compile(r"#\s*(?:0x)?([0-9a-f]+)")
ABSOLUTE = re.compile(r"(?:^|[\s,*])(?:%ds:)?0x([0-9a-f]+)(?:,|$)")
EXPECTED_ORDER = "CRSCLCRCRSCLCR"


def disassemble(objdump, program):
    text = subprocess.run([objdump, "-d", "-C", "-w", "--no-show-raw-insn", program],
                          check=True, capture_output=True, text=True).stdout
    functions, current = {}, None
    for line in text.splitlines():
        m = FUNC.match(line)
        if m:
            current = functions.setdefault(m.group(2), [])
            continue
        m = INSN.match(line)
        if m and current is not None:
            parts = m.group(2).split(None, 1)
            if not parts:
                continue
            mnemonic = parts[0]
            operands = parts[1] if len(parts) > 1 else ""
            if mnemonic in ("rep", "repz", "notrack", "bnd", "lock", "data16", "cs", "ds"):
                sub = operands.split(None, 1)
                mnemonic = sub[0] if sub else mnemonic
                operands = sub[1] if len(sub) > 1 else ""
            current.append((int(m.group(1), 16), mnemonic, operands))
    return functions


def symbol_table(objdump, program):
    """name -> address. A PE image's COFF symbols hold section offsets."""
    sections = {}
    headers = subprocess.run([objdump, "-h", program], check=True, capture_output=True,
                             text=True).stdout
    for line in headers.splitlines():
        fields = line.split()
        if len(fields) > 3 and fields[0].isdigit():
            sections[int(fields[0]) + 1] = int(fields[3], 16)
    text = subprocess.run([objdump, "-t", program], check=True, capture_output=True,
                          text=True).stdout
    table = {}
    for line in text.splitlines():
        fields = line.split()
        if not fields:
            continue
        coff = re.search(r"\(sec\s+(-?\d+)\).*0x([0-9a-f]+) (\S+)$", line)
        if coff:
            if int(coff.group(1)) in sections:
                table[coff.group(3)] = sections[int(coff.group(1))] + int(coff.group(2), 16)
        elif re.match(r"^[0-9a-f]+\s", line):
            table[fields[-1]] = int(fields[0], 16)
    return table


def symbol_address(table, program, name):
    for symbol, address in table.items():
        if symbol.lstrip("_") == name:
            return address
    raise SystemExit(f"no symbol {name} in {program}")


def memory_address(operand):
    """The absolute address a memory operand names, if it names one."""
    if "(%rip)" in operand or "(%eip)" in operand:
        m = COMMENT_ADDR.search(operand)
        return int(m.group(1), 16) if m else None
    if "(%" in operand or "$" in operand:
        return None
    m = ABSOLUTE.search(operand)
    return int(m.group(1), 16) if m else None


def operands_of(insn):
    text = insn[2].split("#")[0].strip()
    parts, depth, current = [], 0, ""
    for ch in text:
        if ch == "(":
            depth += 1
        elif ch == ")":
            depth -= 1
        if ch == "," and depth == 0:
            parts.append(current.strip())
            current = ""
        else:
            current += ch
    if current.strip():
        parts.append(current.strip())
    if "#" in insn[2]:  # keep the resolved address with the memory operand
        comment = insn[2].split("#", 1)[1]
        parts = [p + " #" + comment if "(%rip)" in p or "(%eip)" in p else p for p in parts]
    return parts


def touches(insn, counter):
    """(reads, writes) of the counter by one instruction."""
    ops = operands_of(insn)
    hits = [i for i, op in enumerate(ops) if memory_address(op) == counter]
    if not hits:
        return False, False
    mnemonic = insn[1]
    last = len(ops) - 1
    if mnemonic.startswith("mov"):
        return hits[0] != last, hits[0] == last
    if mnemonic.startswith(("cmp", "test")):
        return True, False
    return True, last in hits  # read-modify-write: sub, dec, add


def jump_target(insn):
    if not insn[1].startswith("j"):
        return None
    m = TARGET.match(insn[2])
    return int(m.group(1), 16) if m else None


def loops(insns):
    found = []
    for index, insn in enumerate(insns):
        target = jump_target(insn)
        if target is not None and target <= insn[0]:
            start = next((i for i, x in enumerate(insns) if x[0] == target), None)
            found.append((start, index, target))
    return found


def names(call, name):
    return re.search(r"(?<![A-Za-z0-9])" + re.escape(name) + r"(?![A-Za-z0-9])",
                     call[2]) is not None


def check_measurement(fn, insns, counter, contestants, symbols, problems):
    found = loops(insns)
    if len(found) != 2:
        problems.append(f"{fn}: {len(found)} loops, expected the empty and the timed one")
        return None
    (empty_start, empty_end, empty_head), (timed_start, timed_end, timed_head) = found
    for kind, head in (("empty", empty_head), ("timed", timed_head)):
        if head % 16:
            problems.append(f"{fn}: {kind} loop head {head:#x} is not on a 16-byte boundary")
    for kind, start, end in (("empty", empty_start, empty_end),
                             ("timed", timed_start, timed_end)):
        body = insns[start:end + 1]
        reads = any(touches(i, counter)[0] for i in body)
        writes = any(touches(i, counter)[1] for i in body)
        if not (reads and writes):
            problems.append(f"{fn}: the {kind} loop does not step the pass counter in memory")
    if any(i[1].startswith("call") for i in insns[empty_start:empty_end + 1]):
        problems.append(f"{fn}: the empty loop makes a call")
    calls = [i for i in insns[timed_start:timed_end + 1] if i[1].startswith("call")]
    contestant = None
    if len(calls) != 1:
        problems.append(f"{fn}: the timed loop makes {len(calls)} calls per pass, expected 1")
    else:
        call = calls[0]
        slot = memory_address(call[2].lstrip("*"))
        if slot is not None:  # an import slot named by its absolute address (i686)
            call = call[:2] + (call[2] + " " + " ".join(
                n for n, a in symbols.items() if a == slot and not n.startswith(".")),)
        contestant = next((c for c in contestants if names(call, c)), None)
        if contestant is None:
            problems.append(f"{fn}: the timed loop calls {call[2]}, no contestant")

    order = ""
    for index, insn in enumerate(insns):
        if index == empty_start or index == timed_start:
            order += "L"
        if empty_start <= index <= empty_end or timed_start <= index <= timed_end:
            continue
        if insn[1] == "cpuid":
            order += "C"
        elif insn[1] == "rdtsc":
            order += "R"
        elif touches(insn, counter)[1]:
            order += "S"
    if order != EXPECTED_ORDER:
        problems.append(f"{fn}: fences (C), counter reads (R), counter stores (S) and loops (L)"
                        f" run as {order}, expected {EXPECTED_ORDER}")
    reads = [i for i, x in enumerate(insns) if x[1] == "rdtsc"]
    if reads:
        between = [x for i, x in enumerate(insns[reads[0]:reads[-1] + 1], reads[0])
                   if x[1].startswith("call") and not timed_start <= i <= timed_end]
        for call in between:
            problems.append(f"{fn}: {call[2]} is called between the counter reads")
    return contestant


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("objdump")
    parser.add_argument("program")
    parser.add_argument("--contestants", required=True)
    parser.add_argument("--routines", default="")
    args = parser.parse_args()
    contestants = args.contestants.split(",")
    functions = disassemble(args.objdump, args.program)
    symbols = symbol_table(args.objdump, args.program)
    counter = symbol_address(symbols, args.program, "pass_counter_page") + 2048
    problems = []

    measured = []
    for fn, insns in functions.items():
        if "MeasureCallCycles<" in fn and insns:
            measured.append(check_measurement(fn, insns, counter, contestants, symbols, problems))
    if sorted(filter(None, measured)) != sorted(contestants) or len(measured) != len(contestants):
        problems.append(f"timed contestants {measured}, expected one loop each for {contestants}")

    for routine in filter(None, args.routines.split(",")):
        bodies = [insns for fn, insns in functions.items()
                  if re.match(r"_?" + re.escape(routine) + r"(\(|$)", fn)]
        if not bodies:
            problems.append(f"routine {routine} not found")
        for insns in bodies:
            for _, _, head in loops(insns):
                if head % 16:
                    problems.append(f"{routine}: loop head {head:#x} is not on a 16-byte boundary")

    for problem in problems:
        print("FAIL:", problem)
    if problems:
        return 1
    print(f"machine code ok: {len(measured)} timed contestants {contestants}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

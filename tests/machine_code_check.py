#!/usr/bin/env python3
"""Checks the built program's machine code for the ways a benchmark lies.

For every MeasureCallCycles instantiation: two loops, the empty one without
any call and the timed one with exactly one call per pass, to its contestant;
in both the pass counter is a register stepped by one and tested, set from
the loop count before the loop; the empty loop touches no memory and the
timed loop reads no memory it writes; fences, counter reads and the
counter's setting in the order fence, read, set L, fence, loop, fence, read
(twice); nothing else called between the first and the last counter read;
loop heads on 16-byte boundaries. For the search routines: every loop head on
a 16-byte boundary.

usage: machine_code_check.py OBJDUMP PROGRAM --contestants strstr,finstr,...
       [--routines finstr,Wordsweep] [--expect-failure REGEX]
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
BASED = re.compile(r"^(?:%[a-z]s:)?(-?0x[0-9a-f]+|-?[0-9]+)?\((%[a-z0-9]+)?(?:,(%[a-z0-9]+),\d)?\)")
IMMEDIATE = re.compile(r"^\$(-?0x[0-9a-f]+|-?[0-9]+)$")
THUNK = re.compile(r"<__x86\.get_pc_thunk\.([a-z]+)>")
STDCALL = re.compile(r"@(\d+)(?![\w.])")
EXPECTED_ORDER = "CRSCLCRCRSCLCR"
LOOP_COUNT = 1000000


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
            # addr16 pads a call the linker turned from `call *slot` into a direct one.
            if mnemonic in ("rep", "repz", "notrack", "bnd", "lock", "data16", "cs", "ds",
                            "addr16", "addr32"):
                sub = operands.split(None, 1)
                mnemonic = sub[0] if sub else mnemonic
                operands = sub[1] if len(sub) > 1 else ""
            current.append((int(m.group(1), 16), mnemonic, operands))
    return functions


def symbol_table(objdump, program):
    """name -> address. A PE image's COFF symbols hold section offsets. An ELF
    image's GOT slots are named `<symbol>@got`."""
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
    relocations = subprocess.run([objdump, "-R", program], capture_output=True, text=True).stdout
    for line in relocations.splitlines():
        m = re.match(r"^([0-9a-f]+)\s+R_\w+_(?:GLOB_DAT|JUMP_SLOT)\s+(\S+)$", line)
        if m:
            table[m.group(2) + "@got"] = int(m.group(1), 16)
    return table


# Where a memory operand points. Position-independent i386 code names static
# data through a register: the GOT's address, which a __x86.get_pc_thunk call
# leaves in a register, plus an offset, or an address computed from that one.
# That register may be parked in a stack slot across a cpuid, which
# overwrites %ebx. So operands are resolved with what holds on every path to
# an instruction. A state maps a register family to its value, ("stack",
# family) to the offset from the stack pointer at entry that the register
# holds, and ("slot", offset) to the value stored in that stack slot.

# Register name -> (family, width in bits). A write of 8 or 16 bits leaves the
# family's value unknown.
REGISTERS = {}
for family in ("a", "b", "c", "d"):
    for name, width in ((f"r{family}x", 64), (f"e{family}x", 32), (f"{family}x", 16),
                        (f"{family}l", 8), (f"{family}h", 8)):
        REGISTERS[name] = (family, width)
for family in ("si", "di", "bp", "sp"):
    for name, width in ((f"r{family}", 64), (f"e{family}", 32), (family, 16), (family + "l", 8)):
        REGISTERS[name] = (family, width)
for n in range(8, 16):
    for suffix, width in (("", 64), ("d", 32), ("w", 16), ("b", 8)):
        REGISTERS[f"r{n}{suffix}"] = (f"r{n}", width)
NO_INDEX = ("%eiz", "%riz")

# Registers an instruction writes without naming them.
IMPLICIT_WRITES = {
    "cpuid": "a b c d", "rdtsc": "a d", "rdtscp": "a c d", "cltd": "d", "cqto": "d",
    "cwtd": "d", "mul": "a d", "div": "a d", "idiv": "a d", "stos": "di c", "movs": "si di c",
    "lods": "a si c", "scas": "di c", "cmps": "si di c", "syscall": "a c r11", "int": "a",
    "cmpxchg": "a", "leave": "bp",
}
# Instructions that write none of their operands.
NO_WRITE = {"cmp", "test", "nop", "bt", "ucomiss", "ucomisd", "comiss", "comisd", "prefetcht0",
            "prefetcht1", "prefetcht2", "prefetchnta", "endbr32", "endbr64"}
KNOWN = set(IMPLICIT_WRITES) | NO_WRITE | {"mov", "lea", "add", "sub", "imul", "push", "pop",
                                           "xchg"}


def file_format(objdump, program):
    text = subprocess.run([objdump, "-f", program], check=True, capture_output=True,
                          text=True).stdout
    m = re.search(r"file format (\S+)", text)
    return m.group(1) if m else ""


def machine(fmt, symbols):
    """What the analysis needs to know of the image: its word size, the
    register families a call may change, whether a callee may pop its
    arguments (Win32 stdcall), GOT slot -> the address it holds, and
    address -> symbol names."""
    wide = "x86-64" in fmt
    clobbers = {"a", "c", "d"}  # i386 cdecl, Linux and Win32 alike
    if wide:
        clobbers |= {"r8", "r9", "r10", "r11"} | (set() if fmt.startswith("pe") else {"si", "di"})
    got = {address: symbols[name[:-len("@got")].split("@")[0]]
           for name, address in symbols.items()
           if name.endswith("@got") and name[:-len("@got")].split("@")[0] in symbols}
    names = {}
    for name, address in symbols.items():
        names.setdefault(address, []).append(name)
    return {"word": 8 if wide else 4, "clobbers": clobbers,
            "stdcall": fmt == "pei-i386", "got": got, "names": names}


def number(text):
    return int(text, 16) if "0x" in text else int(text)


def register(operand):
    """(family, width) of a register operand, or None."""
    return REGISTERS.get(operand[1:]) if operand.startswith("%") else None


def locate(operand, state):
    """("abs", address) or ("stack", offset) for a memory operand, or None."""
    if "(%rip)" in operand or "(%eip)" in operand:
        m = COMMENT_ADDR.search(operand)
        return ("abs", int(m.group(1), 16)) if m else None
    if "$" in operand:
        return None
    m = BASED.match(operand.split("#")[0].strip().lstrip("*"))
    if m:
        base, index = register(m.group(2) or ""), m.group(3)
        if base is None or (index and index not in NO_INDEX):
            return None
        displacement = number(m.group(1)) if m.group(1) else 0
        if base[0] in state:
            return ("abs", state[base[0]] + displacement)
        if ("stack", base[0]) in state:
            return ("stack", state[("stack", base[0])] + displacement)
        return None
    m = ABSOLUTE.search(operand)
    return ("abs", int(m.group(1), 16)) if m else None


def memory_address(operand, state=None):
    """The absolute address a memory operand names, if it or its registers say."""
    where = locate(operand, state or {})
    return where[1] if where and where[0] == "abs" else None


def base_mnemonic(mnemonic):
    """The mnemonic without its AT&T size suffix, for those this file knows."""
    return mnemonic[:-1] if mnemonic not in KNOWN and mnemonic[:-1] in KNOWN else mnemonic


def step(insn, state, next_address, image):
    """The state after one instruction, from the state before it."""
    mnemonic, ops = insn[1], operands_of(insn)
    base, word = base_mnemonic(mnemonic), image["word"]
    after = dict(state)
    sp = state.get(("stack", "sp"))

    def forget(family):
        after.pop(family, None)
        after.pop(("stack", family), None)

    def forget_slots(low, high):
        for key in [k for k in after if k[0] == "slot" and low - word < k[1] < high]:
            del after[key]

    def move_sp(offset):
        after.pop(("stack", "sp"), None)
        if offset is None:
            return
        after[("stack", "sp")] = offset
        forget_slots(-(1 << 64), offset)  # below the stack pointer nothing stays

    def value(operand):
        """("abs", n), ("stack", n) or None for a source operand."""
        m = IMMEDIATE.match(operand)
        if m:
            return ("abs", number(m.group(1)) & ((1 << 8 * word) - 1))
        reg = register(operand)
        if reg:
            if reg[1] >= 32 and reg[0] in state:
                return ("abs", state[reg[0]] & ((1 << reg[1]) - 1))
            if reg[1] == 8 * word and ("stack", reg[0]) in state:
                return ("stack", state[("stack", reg[0])])
            return None
        where = locate(operand, state)
        if where and where[0] == "stack" and ("slot", where[1]) in state:
            return ("abs", state[("slot", where[1])])
        if where and where[0] == "abs" and where[1] in image["got"]:
            return ("abs", image["got"][where[1]])
        return None

    if mnemonic.startswith("call"):
        for family in image["clobbers"]:
            forget(family)
        thunk = THUNK.search(insn[2])
        if thunk and next_address is not None:  # it returns its own return address
            after[REGISTERS["e" + thunk.group(1)][0]] = next_address
        if image["stdcall"]:  # the callee pops what its name says; unnamed, who knows
            slot = memory_address(insn[2].lstrip("*"), state) if insn[2].startswith("*") else None
            slot_names = image["names"].get(slot, [])
            popped = STDCALL.search(insn[2] + " " + " ".join(slot_names))
            if popped or (insn[2].startswith("*") and not slot_names):
                move_sp(None if sp is None or not popped else sp + int(popped.group(1)))
        return after
    if base == "push":
        if sp is not None:
            move_sp(sp - word)
            pushed = value(ops[0]) if ops else None
            if pushed and pushed[0] == "abs":
                after[("slot", sp - word)] = pushed[1]
        return after
    if base == "pop":
        reg = register(ops[0]) if ops else None
        if reg:
            forget(reg[0])
            if sp is not None and ("slot", sp) in state and reg[1] == 8 * word:
                after[reg[0]] = state[("slot", sp)]
        move_sp(None if sp is None else sp + word)
        return after
    if base == "leave":
        move_sp(None)
    implicit = IMPLICIT_WRITES.get(base, "a d" if base == "imul" and len(ops) == 1 else "")
    for family in implicit.split():
        forget(family)
    if not ops or base in NO_WRITE or mnemonic.startswith(("j", "prefetch", "ret")):
        return after
    if base == "xchg" and register(ops[0]):
        forget(register(ops[0])[0])
    target = register(ops[-1])
    if target is None and ops[-1].startswith("%"):
        return after  # a vector, x87 or mask register: never an address here
    if target is None:  # a store to memory
        where = locate(ops[-1], state)
        if where is None:  # it may point into the stack
            forget_slots(-(1 << 64), 1 << 64)
        elif where[0] == "stack":
            forget_slots(where[1], where[1] + word)
            stored = value(ops[0]) if base == "mov" and len(ops) == 2 else None
            if stored and stored[0] == "abs" and register(ops[0]):
                after[("slot", where[1])] = stored[1]
        return after
    family, width = target
    source = ops[0] if len(ops) == 2 else None
    result = None
    if base == "mov" and source is not None:
        result = value(source)
    elif base == "lea" and source is not None:
        result = locate(source, state)
    elif base in ("add", "sub") and source is not None and IMMEDIATE.match(source):
        now = value(ops[-1])
        if now:
            sign = 1 if base == "add" else -1
            result = (now[0], now[1] + sign * number(IMMEDIATE.match(source).group(1)))
    if family == "sp":
        move_sp(result[1] if result and result[0] == "stack" and width == 8 * word else None)
        return after
    forget(family)
    if result is None or width < 32:
        return after
    if result[0] == "abs":
        after[family] = result[1] & ((1 << width) - 1)
    elif width == 8 * word:
        after[("stack", family)] = result[1]
    return after


def known_states(insns, image):
    """For each instruction, what holds on every path to it: a forward pass
    over the function's jumps, merging where paths meet, until nothing changes."""
    where = {insn[0]: index for index, insn in enumerate(insns)}
    before = [None] * len(insns)
    pending = []
    if insns:
        before[0] = {("stack", "sp"): 0}
        pending.append(0)
    while pending:
        index = pending.pop()
        insn = insns[index]
        following = insns[index + 1][0] if index + 1 < len(insns) else None
        after = step(insn, before[index], following, image)
        successors = []
        if not insn[1].startswith(("jmp", "ret", "ud2", "hlt")):
            successors.append(index + 1)
        target = jump_target(insn)
        if target in where:
            successors.append(where[target])
        for s in successors:
            if s >= len(insns):
                continue
            merged = after if before[s] is None else {
                k: v for k, v in before[s].items() if after.get(k) == v}
            if merged != before[s]:
                before[s] = merged
                pending.append(s)
    return [state if state is not None else {} for state in before]


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


def writes_family(insn, family, image):
    """Whether one instruction may change a register family."""
    mnemonic, ops = insn[1], operands_of(insn)
    base = base_mnemonic(mnemonic)
    if mnemonic.startswith("call"):
        return family in image["clobbers"]
    if family in IMPLICIT_WRITES.get(base, "").split():
        return True
    if not ops or base in NO_WRITE or mnemonic.startswith(("j", "ret", "push")):
        return False
    if is_padding(insn):
        return False
    targets = ops if base == "xchg" else ops[-1:]
    return any(register(op) and register(op)[0] == family for op in targets)


PADDING = re.compile(r"^(?:0x0)?\((%[a-z0-9]+)(?:,%[er]iz,1)?\)$")


def is_padding(insn):
    """lea 0x0(%esi,%eiz,1),%esi and the like: a long nop."""
    ops = operands_of(insn)
    if base_mnemonic(insn[1]) != "lea" or len(ops) != 2:
        return False
    m = PADDING.match(ops[0])
    return m is not None and m.group(1) == ops[1]


# Instructions that leave the flags as they were.
FLAGS_KEPT = ("mov", "lea", "push", "pop", "nop", "xchg", "set", "cmov", "endbr")


def counter_step(insns, start, end):
    """The register family the loop's back edge tests, when the last
    instruction to set the flags before it steps that register down by one."""
    if insns[end][1] not in ("jne", "jnz"):
        return None
    for insn in reversed(insns[start:end]):
        if insn[1].startswith(FLAGS_KEPT):
            continue
        ops = operands_of(insn)
        base = base_mnemonic(insn[1])
        reg = register(ops[-1]) if ops else None
        if reg is None or reg[1] < 32:
            return None
        if base == "dec" and len(ops) == 1:
            return reg[0]
        if base in ("sub", "add") and len(ops) == 2 and IMMEDIATE.match(ops[0]):
            step = number(IMMEDIATE.match(ops[0]).group(1)) % (1 << reg[1])
            if step == (1 if base == "sub" else (1 << reg[1]) - 1):
                return reg[0]
        return None
    return None


def is_memory(operand):
    operand = operand.split("#")[0].strip().lstrip("*")
    if not operand or operand.startswith("$"):
        return False
    return not operand.startswith("%") or ":" in operand


def memory_accesses(insn, state, word):
    """(where, "r" or "w") for each memory access an instruction makes of its
    own, where is a resolved location or the operand's text. A call's own
    return address and its callee's accesses are not the loop's."""
    mnemonic, ops = insn[1], operands_of(insn)
    base = base_mnemonic(mnemonic)
    if base in ("lea", "nop") or mnemonic.startswith(("nop", "endbr", "prefetch")):
        return []

    def where(operand):
        return locate(operand, state) or ("operand", operand.split("#")[0].strip())

    found = []
    sp = state.get(("stack", "sp"))
    if base in ("push", "pop"):
        slot = ("stack", sp - word) if base == "push" and sp is not None else \
            ("stack", sp) if sp is not None else ("operand", "the stack top")
        found.append((slot, "w" if base == "push" else "r"))
        found += [(where(op), "r" if base == "push" else "w") for op in ops if is_memory(op)]
        return found
    if mnemonic.startswith(("call", "j")):  # only an indirect one reads its slot
        return [(where(op.lstrip("*")), "r") for op in ops if op.startswith("*") and is_memory(op)]
    memory = [i for i, op in enumerate(ops) if is_memory(op)]
    if not memory:
        return found
    if base in NO_WRITE:
        return [(where(ops[i]), "r") for i in memory]
    last = len(ops) - 1
    for i in memory:
        if i != last:
            found.append((where(ops[i]), "r"))
        elif base.startswith("mov") or mnemonic.startswith(("mov", "set")):
            found.append((where(ops[i]), "w"))
        else:  # read-modify-write
            found += [(where(ops[i]), "r"), (where(ops[i]), "w")]
    return found


def loop_count_cell(insns, states):
    """Where the measurement stores its loop count L."""
    for insn, state in zip(insns, states):
        ops = operands_of(insn)
        if (base_mnemonic(insn[1]) == "mov" and len(ops) == 2 and IMMEDIATE.match(ops[0])
                and number(IMMEDIATE.match(ops[0]).group(1)) == LOOP_COUNT and is_memory(ops[1])):
            return locate(ops[1], state)
    return None


def counter_setting(insns, states, loop_start, family, cell, image):
    """Index of the instruction that gives the counter its value for the loop
    at loop_start: the last write of the family before it, followed back
    through register copies to a load of L or the immediate L. None when the
    value comes from anywhere else."""
    index = loop_start - 1
    while index >= 0:
        insn = insns[index]
        if writes_family(insn, family, image):
            ops = operands_of(insn)
            if base_mnemonic(insn[1]) != "mov" or len(ops) != 2:
                return None
            m = IMMEDIATE.match(ops[0])
            if m:
                return index if number(m.group(1)) == LOOP_COUNT else None
            source = register(ops[0])
            if source:
                family = source[0]
            elif cell is not None and locate(ops[0], states[index]) == cell:
                return index
            else:
                return None
        index -= 1
    return None


def jump_target(insn):
    if not insn[1].startswith("j"):
        return None
    m = TARGET.match(insn[2])
    return int(m.group(1), 16) if m else None


def loops(insns):
    """(start, end, head) for each backward jump within the function; a tail
    jump to a function placed lower down is not a loop."""
    found = []
    for index, insn in enumerate(insns):
        target = jump_target(insn)
        if target is not None and target <= insn[0]:
            start = next((i for i, x in enumerate(insns) if x[0] == target), None)
            if start is not None:
                found.append((start, index, target))
    return found


def names(call, name):
    return re.search(r"(?<![A-Za-z0-9])" + re.escape(name) + r"(?![A-Za-z0-9])",
                     call[2]) is not None


def describe(where):
    kind, value = where
    if kind == "abs":
        return f"{value:#x}"
    if kind == "stack":
        return f"the stack slot at entry{value:+#x}"
    return value


def check_loop(fn, kind, insns, states, start, end, image, problems):
    """The loop's counter register, or None; problems go to the list."""
    family = counter_step(insns, start, end)
    if family is None:
        problems.append(f"{fn}: the {kind} loop's back edge does not test a register stepped"
                        " down by one")
    else:
        others = [insn for insn in insns[start:end + 1] if writes_family(insn, family, image)]
        if len(others) != 1:
            problems.append(f"{fn}: the {kind} loop's counter register is written"
                            f" {len(others)} times a pass, expected only by its step: "
                            + "; ".join(f"{i[1]} {i[2]}" for i in others))
    accesses = [(access, insn) for insn, state in zip(insns[start:end + 1], states[start:end + 1])
                for access in memory_accesses(insn, state, image["word"])]
    if kind == "empty":
        for (where, how), insn in accesses:
            problems.append(f"{fn}: the empty loop {'reads' if how == 'r' else 'writes'}"
                            f" memory at {describe(where)} ({insn[1]} {insn[2]})")
    else:
        written = {where for (where, how), _ in accesses if how == "w"}
        for where in sorted({where for (where, how), _ in accesses if how == "r"} & written,
                            key=str):
            problems.append(f"{fn}: the timed loop reads and writes memory at {describe(where)}")
    return family


def check_measurement(fn, insns, contestants, symbols, image, problems):
    states = known_states(insns, image)
    found = loops(insns)
    if len(found) != 2:
        problems.append(f"{fn}: {len(found)} loops, expected the empty and the timed one")
        return None
    (empty_start, empty_end, empty_head), (timed_start, timed_end, timed_head) = found
    for kind, head in (("empty", empty_head), ("timed", timed_head)):
        if head % 16:
            problems.append(f"{fn}: {kind} loop head {head:#x} is not on a 16-byte boundary")
    cell = loop_count_cell(insns, states)
    if cell is None:
        problems.append(f"{fn}: the loop count {LOOP_COUNT} is never stored")
    settings = []
    for kind, start, end in (("empty", empty_start, empty_end),
                             ("timed", timed_start, timed_end)):
        family = check_loop(fn, kind, insns, states, start, end, image, problems)
        if family is not None:
            setting = counter_setting(insns, states, start, family, cell, image)
            if setting is None:
                problems.append(f"{fn}: the {kind} loop's counter is not set from the loop count")
            else:
                settings.append(setting)
    if any(i[1].startswith("call") for i in insns[empty_start:empty_end + 1]):
        problems.append(f"{fn}: the empty loop makes a call")
    calls = [(i, x) for i, x in enumerate(insns[timed_start:timed_end + 1], timed_start)
             if x[1].startswith("call")]
    contestant = None
    if len(calls) != 1:
        problems.append(f"{fn}: the timed loop makes {len(calls)} calls per pass, expected 1")
    else:
        index, call = calls[0]
        slot = memory_address(call[2].lstrip("*"), states[index])
        if slot is not None:  # through an import or GOT slot: name the slot
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
        elif index in settings:
            order += "S"
    if order != EXPECTED_ORDER:
        problems.append(f"{fn}: fences (C), counter reads (R), counter settings (S) and loops (L)"
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
    # A build with a fault planted on purpose: it must fail, with a problem
    # that matches, and that is the check passing.
    parser.add_argument("--expect-failure", metavar="REGEX")
    args = parser.parse_args()
    contestants = args.contestants.split(",")
    functions = disassemble(args.objdump, args.program)
    symbols = symbol_table(args.objdump, args.program)
    image = machine(file_format(args.objdump, args.program), symbols)
    problems = []

    measured = []
    for fn, insns in functions.items():
        if "MeasureCallCycles<" in fn and insns:
            measured.append(check_measurement(fn, insns, contestants, symbols, image,
                                              problems))
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

    if args.expect_failure is not None:
        for problem in problems:
            print("found:", problem)
        if any(re.search(args.expect_failure, problem) for problem in problems):
            print(f"planted fault caught: {args.expect_failure}")
            return 0
        print(f"FAIL: the planted fault was not caught: no problem matches {args.expect_failure}")
        return 1
    for problem in problems:
        print("FAIL:", problem)
    if problems:
        return 1
    print(f"machine code ok: {len(measured)} timed contestants {contestants}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

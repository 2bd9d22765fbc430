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
a 16-byte boundary, no load into a register's low 8 or 16 bits, which waits
for whatever last wrote the rest, and in x86-64 Linux code no register the
caller keeps written, as saving one costs every call a push and a pop.

The executable is read as it is (tests/support/binary_image.py) and decoded with
capstone, so no disassembler's listing, whose layout changes between
versions, is parsed.

usage: machine_code_check.py PROGRAM --contestants strstr,finstr,...
       [--routines finstr,Wordsweep] [--fallen-into-heads {held,drift,alone}]
       [--expect-failure REGEX]
"""
import os
import re
import sys

from capstone import CS_AC_READ, CS_AC_WRITE, CS_GRP_CALL, CS_GRP_JUMP, CS_GRP_RET
from capstone import x86 as X86

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from binary_image import check_arguments, demangle, load, verdict  # noqa: E402
from x86_code import REGISTERS, jump_target, loops, names_contestant, register  # noqa: E402
from x86_code import written_families  # noqa: E402

EXPECTED_ORDER = "CRSCLCRCRSCLCR"
LOOP_COUNT = 1000000

# Where a memory operand points. Position-independent i386 code names static
# data through a register: the GOT's address, which a __x86.get_pc_thunk call
# leaves in a register, plus an offset, or an address computed from that one.
# That register may be parked in a stack slot across a cpuid, which
# overwrites ebx. So operands are resolved with what holds on every path to
# an instruction. A state maps a register family to its value, ("stack",
# family) to the offset from the stack pointer at entry that the register
# holds, and ("slot", offset) to the value stored in that stack slot.

NO_INDEX = (0, X86.X86_REG_EIZ, X86.X86_REG_RIZ)
# The System V ABI's callee-saved registers, by family; Windows keeps rsi and
# rdi too, and 32-bit code has too few registers to do without them.
CALLEE_SAVED = {"b", "bp", "r12", "r13", "r14", "r15"}
# Segments whose base is not zero: fs and gs point at per-thread data.
FLAT = (0, X86.X86_REG_DS, X86.X86_REG_SS, X86.X86_REG_CS, X86.X86_REG_ES)
NO_MEMORY = {X86.X86_INS_LEA, X86.X86_INS_NOP, X86.X86_INS_PREFETCH, X86.X86_INS_PREFETCHNTA,
             X86.X86_INS_PREFETCHT0, X86.X86_INS_PREFETCHT1, X86.X86_INS_PREFETCHT2,
             X86.X86_INS_PREFETCHW}
STOPS = {X86.X86_INS_JMP, X86.X86_INS_LJMP, X86.X86_INS_UD2, X86.X86_INS_HLT}


class Machine:
    """What the analysis needs to know of the image besides its bytes: the
    register families a call may change."""

    def __init__(self, image):
        self.image, self.word = image, image.word
        self.mask = (1 << 8 * image.word) - 1
        self.clobbers = {"a", "c", "d"}  # i386 cdecl, Linux and Win32 alike
        if image.machine == "x86-64":
            self.clobbers |= {"r8", "r9", "r10", "r11"} | (
                set() if image.format == "pe" else {"si", "di"})

    def names(self, address):
        return self.image.names.get(address, [])

    def show(self, name):
        return demangle(name, self.image.underscored)

    def names_contestant(self, name, contestant):
        return names_contestant(self.show(name), contestant)


def operand_register(insn, op):
    return register(insn, op.reg) if op.type == X86.X86_OP_REG else None


def loads_into_part(insn):
    """Whether insn is a plain load into a register's low 8 or 16 bits: a write
    that keeps the rest of the register, so it waits for the last writer."""
    if insn.id != X86.X86_INS_MOV or len(insn.operands) != 2:
        return False
    into, source = insn.operands
    return into.type == X86.X86_OP_REG and into.size in (1, 2) and source.type == X86.X86_OP_MEM


def locate(insn, op, state, machine):
    """("abs", address) or ("stack", offset) for a memory operand, or None."""
    mem = op.mem
    if mem.index not in NO_INDEX or mem.segment not in FLAT:
        return None
    if mem.base in (X86.X86_REG_RIP, X86.X86_REG_EIP):
        return ("abs", insn.address + insn.size + mem.disp)
    if not mem.base:
        return ("abs", mem.disp & machine.mask)
    family = register(insn, mem.base)[0]
    if family in state:
        return ("abs", (state[family] + mem.disp) & machine.mask)
    if ("stack", family) in state:
        return ("stack", state[("stack", family)] + mem.disp)
    return None


def memory_text(insn, op):
    mem = op.mem
    parts = [insn.reg_name(mem.base)] if mem.base else []
    if mem.index not in NO_INDEX:
        parts.append(f"{insn.reg_name(mem.index)}*{mem.scale}")
    if mem.disp or not parts:
        parts.append(f"{mem.disp:#x}")
    segment = f"{insn.reg_name(mem.segment)}:" if mem.segment else ""
    return f"{segment}[{' + '.join(parts)}]"


def callee(insn, state, machine):
    """(names, indirect) for a call or jump: the names of its target or of
    the slot it reads the target from."""
    op = insn.operands[0] if insn.operands else None
    if op is not None and op.type == X86.X86_OP_IMM:
        return machine.names(op.imm), False
    if op is not None and op.type == X86.X86_OP_MEM:
        where = locate(insn, op, state, machine)
        return (machine.names(where[1]) if where and where[0] == "abs" else []), True
    return [], True


def show_target(insn, state, machine):
    """A call's or jump's operand, with the name of what it goes to."""
    names = [n for n in callee(insn, state, machine)[0] if not n.startswith(".")]
    return insn.op_str + (f" <{machine.show(names[0])}>" if names else "")


def show_insn(insn, state, machine):
    if insn.group(CS_GRP_CALL) or insn.group(CS_GRP_JUMP):
        return f"{insn.mnemonic} {show_target(insn, state, machine)}"
    return f"{insn.mnemonic} {insn.op_str}".strip()


def step(insn, state, machine):
    """The state after one instruction, from the state before it."""
    word = machine.word
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

    def value(op):
        """("abs", n), ("stack", n) or None for a source operand."""
        if op.type == X86.X86_OP_IMM:
            return ("abs", op.imm & machine.mask)
        if op.type == X86.X86_OP_REG:
            reg = operand_register(insn, op)
            if reg is None:
                return None
            if reg[1] >= 32 and reg[0] in state:
                return ("abs", state[reg[0]] & ((1 << reg[1]) - 1))
            if reg[1] == 8 * word and ("stack", reg[0]) in state:
                return ("stack", state[("stack", reg[0])])
            return None
        where = locate(insn, op, state, machine)
        if where and where[0] == "stack" and ("slot", where[1]) in state:
            return ("abs", state[("slot", where[1])])
        if where and where[0] == "abs" and where[1] in machine.image.got:
            return ("abs", machine.image.got[where[1]])
        return None

    ops = insn.operands
    if insn.group(CS_GRP_CALL):
        for family in machine.clobbers:
            forget(family)
        names, indirect = callee(insn, state, machine)
        thunk = next((n for n in names if n.startswith("__x86.get_pc_thunk.")), None)
        if thunk:  # it returns its own return address
            after[REGISTERS["e" + thunk.rsplit(".", 1)[1]][0]] = insn.address + insn.size
        if machine.image.stdcall:  # the callee pops what its name says; unnamed, who knows
            popped = next((int(m.group(1)) for m in (re.search(r"@(\d+)$", n) for n in names)
                           if m), None)
            if popped is not None or (indirect and not names):
                move_sp(None if sp is None or popped is None else sp + popped)
        return after
    if insn.id == X86.X86_INS_PUSH:
        if sp is not None:
            move_sp(sp - word)
            pushed = value(ops[0])
            if pushed and pushed[0] == "abs":
                after[("slot", sp - word)] = pushed[1]
        return after
    if insn.id == X86.X86_INS_POP:
        reg = operand_register(insn, ops[0])
        if reg:
            forget(reg[0])
            if sp is not None and ("slot", sp) in state and reg[1] == 8 * word:
                after[reg[0]] = state[("slot", sp)]
        move_sp(None if sp is None else sp + word)
        return after
    for op in ops:
        if op.type == X86.X86_OP_MEM and op.access & CS_AC_WRITE:
            where = locate(insn, op, state, machine)
            if where is None:  # it may point into the stack
                forget_slots(-(1 << 64), 1 << 64)
            elif where[0] == "stack":
                forget_slots(where[1], where[1] + word)
                if insn.id == X86.X86_INS_MOV and ops[1].type != X86.X86_OP_MEM:
                    stored = value(ops[1])
                    if stored and stored[0] == "abs":
                        after[("slot", where[1])] = stored[1]

    target = operand_register(insn, ops[0]) if ops and ops[0].access & CS_AC_WRITE else None
    result = None
    if target and len(ops) == 2:
        if insn.id == X86.X86_INS_MOV:
            result = value(ops[1])
        elif insn.id == X86.X86_INS_LEA:
            result = locate(insn, ops[1], state, machine)
        elif insn.id in (X86.X86_INS_ADD, X86.X86_INS_SUB) and ops[1].type == X86.X86_OP_IMM:
            now = value(ops[0])
            if now:
                sign = 1 if insn.id == X86.X86_INS_ADD else -1
                result = (now[0], now[1] + sign * ops[1].imm)
    for family in written_families(insn):
        if family == "sp":
            move_sp(result[1] if target and target[0] == "sp" and result and
                    result[0] == "stack" and target[1] == 8 * word else None)
        else:
            forget(family)
    if target is None or target[0] == "sp" or result is None or target[1] < 32:
        return after
    if result[0] == "abs":
        after[target[0]] = result[1] & ((1 << target[1]) - 1)
    elif target[1] == 8 * word:
        after[("stack", target[0])] = result[1]
    return after


def known_states(insns, machine):
    """For each instruction, what holds on every path to it: a forward pass
    over the function's jumps, merging where paths meet, until nothing changes."""
    where = {insn.address: index for index, insn in enumerate(insns)}
    before = [None] * len(insns)
    pending = []
    if insns:
        before[0] = {("stack", "sp"): 0}
        pending.append(0)
    while pending:
        index = pending.pop()
        insn = insns[index]
        after = step(insn, before[index], machine)
        successors = []
        if insn.id not in STOPS and not insn.group(CS_GRP_RET):
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


def is_padding(insn):
    """lea esi, [esi + eiz] and the like: a long nop."""
    if insn.id != X86.X86_INS_LEA:
        return False
    dest, source = insn.operands
    return (source.mem.base == dest.reg and not source.mem.disp
            and source.mem.index in NO_INDEX and source.mem.segment == 0)


def writes_family(insn, family, machine):
    """Whether one instruction may change a register family."""
    if insn.group(CS_GRP_CALL):
        return family in machine.clobbers
    return not is_padding(insn) and family in written_families(insn)


def counter_step(insns, start, end):
    """The register family the loop's back edge tests, when the last
    instruction to set the flags before it steps that register down by one."""
    if insns[end].id != X86.X86_INS_JNE:
        return None
    for insn in reversed(insns[start:end]):
        if not insn.group(CS_GRP_CALL) and X86.X86_REG_EFLAGS not in insn.regs_access()[1]:
            continue
        ops = insn.operands
        reg = operand_register(insn, ops[0]) if ops else None
        if insn.group(CS_GRP_CALL) or reg is None or reg[1] < 32:
            return None
        if insn.id == X86.X86_INS_DEC and len(ops) == 1:
            return reg[0]
        if insn.id in (X86.X86_INS_SUB, X86.X86_INS_ADD) and len(ops) == 2 \
                and ops[1].type == X86.X86_OP_IMM:
            amount = ops[1].imm % (1 << reg[1])
            if amount == (1 if insn.id == X86.X86_INS_SUB else (1 << reg[1]) - 1):
                return reg[0]
        return None
    return None


def memory_accesses(insn, state, machine):
    """(where, "r" or "w") for each memory access an instruction makes of its
    own, where is a resolved location or the operand's text. A call's own
    return address and its callee's accesses are not the loop's."""
    if insn.id in NO_MEMORY:
        return []
    found = []
    sp = state.get(("stack", "sp"))
    if insn.id in (X86.X86_INS_PUSH, X86.X86_INS_POP):
        push = insn.id == X86.X86_INS_PUSH
        top = sp - machine.word if push else sp
        found.append((("stack", top) if sp is not None else ("operand", "the stack top"),
                      "w" if push else "r"))
    branch = insn.group(CS_GRP_CALL) or insn.group(CS_GRP_JUMP)
    for op in insn.operands:
        if op.type != X86.X86_OP_MEM:
            continue
        where = locate(insn, op, state, machine) or ("operand", memory_text(insn, op))
        if op.access & CS_AC_READ or branch:  # a branch only reads its slot
            found.append((where, "r"))
        if op.access & CS_AC_WRITE and not branch:
            found.append((where, "w"))
    return found


def loop_count_cell(insns, states, machine):
    """Where the measurement stores its loop count L."""
    for insn, state in zip(insns, states):
        ops = insn.operands
        if (insn.id == X86.X86_INS_MOV and ops[0].type == X86.X86_OP_MEM
                and ops[1].type == X86.X86_OP_IMM and ops[1].imm == LOOP_COUNT):
            return locate(insn, ops[0], state, machine)
    return None


def counter_setting(insns, states, loop_start, family, cell, machine):
    """Index of the instruction that gives the counter its value for the loop
    at loop_start: the last write of the family before it, followed back
    through register copies to a load of L or the immediate L. None when the
    value comes from anywhere else."""
    for index in range(loop_start - 1, -1, -1):
        insn = insns[index]
        if not writes_family(insn, family, machine):
            continue
        if insn.id != X86.X86_INS_MOV:
            return None
        source = insn.operands[1]
        if source.type == X86.X86_OP_IMM:
            return index if source.imm == LOOP_COUNT else None
        if source.type == X86.X86_OP_REG and operand_register(insn, source):
            family = operand_register(insn, source)[0]
        elif (source.type == X86.X86_OP_MEM and cell is not None
              and locate(insn, source, states[index], machine) == cell):
            return index
        else:
            return None
    return None


def falls_into(insns, index):
    """Whether the instruction before insns[index] runs on into it."""
    return index > 0 and insns[index - 1].id not in STOPS and \
        not insns[index - 1].group(CS_GRP_RET)


def describe(where):
    kind, value = where
    if kind == "abs":
        return f"{value:#x}"
    if kind == "stack":
        return f"the stack slot at entry{value:+#x}"
    return value


def check_loop(fn, kind, insns, states, start, end, machine, problems):
    """The loop's counter register, or None; problems go to the list."""
    family = counter_step(insns, start, end)
    if family is None:
        problems.append(f"{fn}: the {kind} loop's back edge does not test a register stepped"
                        " down by one")
    else:
        others = [(insn, state) for insn, state in zip(insns[start:end + 1], states[start:end + 1])
                  if writes_family(insn, family, machine)]
        if len(others) != 1:
            problems.append(f"{fn}: the {kind} loop's counter register is written"
                            f" {len(others)} times a pass, expected only by its step: "
                            + "; ".join(show_insn(i, s, machine) for i, s in others))
    accesses = [(access, insn, state)
                for insn, state in zip(insns[start:end + 1], states[start:end + 1])
                for access in memory_accesses(insn, state, machine)]
    if kind == "empty":
        for (where, how), insn, state in accesses:
            problems.append(f"{fn}: the empty loop {'reads' if how == 'r' else 'writes'}"
                            f" memory at {describe(where)} ({show_insn(insn, state, machine)})")
    else:
        written = {where for (where, how), _, _ in accesses if how == "w"}
        for where in sorted({where for (where, how), _, _ in accesses if how == "r"} & written,
                            key=str):
            problems.append(f"{fn}: the timed loop reads and writes memory at {describe(where)}")
    return family


def check_measurement(fn, insns, contestants, machine, problems):
    states = known_states(insns, machine)
    found = loops(insns)
    if len(found) != 2:
        problems.append(f"{fn}: {len(found)} loops, expected the empty and the timed one")
        return None
    (empty_start, empty_end, empty_head), (timed_start, timed_end, timed_head) = found
    for kind, head in (("empty", empty_head), ("timed", timed_head)):
        if head % 16:
            problems.append(f"{fn}: {kind} loop head {head:#x} is not on a 16-byte boundary")
    cell = loop_count_cell(insns, states, machine)
    if cell is None:
        problems.append(f"{fn}: the loop count {LOOP_COUNT} is never stored")
    settings = []
    for kind, start, end in (("empty", empty_start, empty_end),
                             ("timed", timed_start, timed_end)):
        family = check_loop(fn, kind, insns, states, start, end, machine, problems)
        if family is not None:
            setting = counter_setting(insns, states, start, family, cell, machine)
            if setting is None:
                problems.append(f"{fn}: the {kind} loop's counter is not set from the loop count")
            else:
                settings.append(setting)
    if any(insn.group(CS_GRP_CALL) for insn in insns[empty_start:empty_end + 1]):
        problems.append(f"{fn}: the empty loop makes a call")
    calls = [i for i in range(timed_start, timed_end + 1) if insns[i].group(CS_GRP_CALL)]
    contestant = None
    if len(calls) != 1:
        problems.append(f"{fn}: the timed loop makes {len(calls)} calls per pass, expected 1")
    else:
        names, _ = callee(insns[calls[0]], states[calls[0]], machine)
        contestant = next((c for c in contestants
                           if any(machine.names_contestant(n, c) for n in names)), None)
        if contestant is None:
            problems.append(f"{fn}: the timed loop calls"
                            f" {show_target(insns[calls[0]], states[calls[0]], machine)},"
                            " no contestant")

    order = ""
    for index, insn in enumerate(insns):
        if index in (empty_start, timed_start):
            order += "L"
        if empty_start <= index <= empty_end or timed_start <= index <= timed_end:
            continue
        if insn.id == X86.X86_INS_CPUID:
            order += "C"
        elif insn.id == X86.X86_INS_RDTSC:
            order += "R"
        elif index in settings:
            order += "S"
    if order != EXPECTED_ORDER:
        problems.append(f"{fn}: fences (C), counter reads (R), counter settings (S) and loops (L)"
                        f" run as {order}, expected {EXPECTED_ORDER}")
    reads = [i for i, insn in enumerate(insns) if insn.id == X86.X86_INS_RDTSC]
    if reads:
        for i in range(reads[0], reads[-1] + 1):
            if insns[i].group(CS_GRP_CALL) and not timed_start <= i <= timed_end:
                problems.append(f"{fn}: {show_target(insns[i], states[i], machine)} is called"
                                " between the counter reads")
    return contestant


def main():
    parser = check_arguments()
    parser.add_argument("--routines", default="")
    # The routines' loop heads that code falls into: held as the others are,
    # left to drift (Clang aligns such a head only by padding every block, on
    # the straight path too), or held alone, with nothing else checked.
    parser.add_argument("--fallen-into-heads", choices=("held", "drift", "alone"),
                        default="held")
    args = parser.parse_args()
    contestants = args.contestants.split(",")
    alone = args.fallen_into_heads == "alone"
    image = load(args.program)
    if image is None:
        return 1
    machine = Machine(image)
    md = image.disassembler()
    problems = []

    measured = []
    for function in image.functions if not alone else ():
        fn = machine.show(function.name)
        if "MeasureCallCycles<" in fn:
            insns = image.instructions(function.start, function.end, md)
            if insns:
                measured.append(check_measurement(fn, insns, contestants, machine, problems))
    if not alone and (sorted(filter(None, measured)) != sorted(contestants)
                      or len(measured) != len(contestants)):
        problems.append(f"timed contestants {measured}, expected one loop each for {contestants}")

    saved_costs_a_call = image.format == "elf" and image.machine == "x86-64"
    for routine in filter(None, args.routines.split(",")):
        # The routine itself and the parts the compiler split off it (.cold).
        bodies = [f for f in image.functions
                  if re.match(re.escape(routine) + r"(\(|$| \[clone)", machine.show(f.name))]
        if not bodies:
            problems.append(f"routine {routine} not found")
        for function in bodies:
            insns = image.instructions(function.start, function.end, md)
            for start, _, head in loops(insns):
                held = {"held": True, "drift": not falls_into(insns, start),
                        "alone": falls_into(insns, start)}[args.fallen_into_heads]
                if head % 16 and held:
                    problems.append(f"{routine}: loop head {head:#x} is not on a 16-byte boundary")
            for insn in filter(loads_into_part, insns) if not alone else ():
                problems.append(f"{routine}: {insn.mnemonic} {insn.op_str} at {insn.address:#x}"
                                " loads into part of a register")
            for insn in insns if saved_costs_a_call and not alone else ():
                for family in sorted(written_families(insn) & CALLEE_SAVED):
                    problems.append(f"{routine}: {insn.mnemonic} {insn.op_str} at {insn.address:#x}"
                                    f" writes a register the caller keeps ({family} family)")

    passed = (f"machine code ok: the loop heads code falls into in {args.routines}" if alone
              else f"machine code ok: {len(measured)} timed contestants {contestants}")
    return verdict(problems, args.expect_failure, passed)


if __name__ == "__main__":
    sys.exit(main())

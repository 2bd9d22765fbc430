#!/usr/bin/env python3
"""Checks the speed suite's step and latency loops (bench/call_timings.h) in
its built machine code.

Each latency loop (TicksPerWaitedCall) makes one call a pass, to its
contestant, and that call's haystack argument is computed from the previous
call's result: followed through registers from the return register after the
call, around the back edge, to the argument register at the call. A loop
whose haystack is the fixed one again would let the processor start every
call before the last has answered, and time calls back to back. Each step
loop (TicksPerPass) makes as many calls a pass as its name says, each to its
contestant: a compiler that unrolled one of the pair would leave a share of
the loop's step in the difference. Every loop head on a 16-byte boundary.

The suite is built for x86-64 Linux only, so arguments are in rdi, rsi, rdx.

usage: bench_loops_check.py PROGRAM --contestants strstr,finstr,Wordsweep
       [--expect-failure REGEX]
"""
import os
import re
import sys

from capstone import CS_GRP_CALL, CS_GRP_JUMP, CS_GRP_RET
from capstone import x86 as X86

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from binary_image import check_arguments, demangle, load, verdict  # noqa: E402
from x86_code import families, jump_target, loops, names_contestant  # noqa: E402

# The haystack's place among each contestant's arguments.
ARGUMENTS = (("di", "rdi"), ("si", "rsi"), ("d", "rdx"))
HAYSTACK = {"strstr": 0, "finstr": 1, "Wordsweep": 0}

# An instruction whose result does not depend on its operand's value when
# both operands are the same register.
ZEROING = {X86.X86_INS_XOR, X86.X86_INS_SUB, X86.X86_INS_SBB}


def call_loops(insns):
    """(start, end) index pairs, one per loop over a stretch that makes a
    call: a timing loop. A jump back that makes none is a shared tail, such
    as that of a number's conversion."""
    return [(start, end) for start, end, _ in loops(insns)
            if any(i.group(CS_GRP_CALL) for i in insns[start:end])]


def callee_names(insn, image):
    op = insn.operands[0] if insn.operands else None
    if op is None or op.type != X86.X86_OP_IMM:
        return []
    return [demangle(n) for n in image.names.get(op.imm, [])]


def contestant_of(insn, image, contestants):
    for name in callee_names(insn, image):
        for contestant in contestants:
            if names_contestant(name, contestant):
                return contestant
    return None


def chain_reaches(insns, start, end, call, register):
    """Whether the register holds, at the call, a value computed from the
    call's own result one pass before: the families holding such a value
    are followed from the call, around the loop, back to it."""
    derived = {"a"}
    for index in list(range(call + 1, end + 1)) + list(range(start, call)):
        insn = insns[index]
        if insn.group(CS_GRP_JUMP):
            continue
        read, written = insn.regs_access()
        ops = insn.operands
        same = (len(ops) == 2 and ops[0].type == ops[1].type == X86.X86_OP_REG
                and ops[0].reg == ops[1].reg)
        from_result = bool(families(insn, read) - {"sp"} & derived) and not (
            insn.id in ZEROING and same)
        for family in families(insn, written):
            (derived.add if from_result else derived.discard)(family)
    return register in derived


def check_loop(fn, insns, contestants, expected_calls, image, problems):
    """The contestant the function's one loop calls, or None."""
    found = call_loops(insns)
    if len(found) != 1:
        problems.append(f"{fn}: {len(found)} loops that make calls, expected 1")
        return None, None
    start, end = found[0]
    head = insns[start].address
    if head % 16:
        problems.append(f"{fn}: loop head {head:#x} is not on a 16-byte boundary")
    calls = [i for i in range(start, end + 1) if insns[i].group(CS_GRP_CALL)]
    if len(calls) != expected_calls:
        problems.append(f"{fn}: {len(calls)} calls a pass, expected {expected_calls}")
    if any(i != end and jump_target(insns[i]) is not None or insns[i].group(CS_GRP_RET)
           for i in range(start, end + 1)):
        problems.append(f"{fn}: the loop branches inside its pass")
    called = {contestant_of(insns[i], image, contestants) for i in calls}
    if len(called) != 1 or None in called:
        problems.append(f"{fn}: the loop calls {sorted(map(str, called))}, not one contestant")
        return None, None
    return called.pop(), (start, end, calls)


def main():
    args = check_arguments().parse_args()
    contestants = args.contestants.split(",")
    image = load(args.program)
    if image is None:
        return 1
    problems = []
    if image.machine != "x86-64" or image.format != "elf":
        problems.append(f"{args.program}: {image.machine} {image.format}, expected x86-64 ELF")
    md = image.disassembler()
    timed = {(c, kind): 0 for c in contestants for kind in ("latency", "1 call", "2 calls")}

    for function in image.functions if not problems else []:
        fn = demangle(function.name)
        step = re.search(r"TicksPerPass<.*, (\d+)>", fn)
        if "TicksPerWaitedCall<" not in fn and not step:
            continue
        insns = image.instructions(function.start, function.end, md)
        per_pass = int(step.group(1)) if step else 1
        contestant, loop = check_loop(fn, insns, contestants, per_pass, image, problems)
        if contestant is None:
            continue
        if step:
            timed[(contestant, "1 call" if per_pass == 1 else "2 calls")] += 1
            continue
        timed[(contestant, "latency")] += 1
        start, end, calls = loop
        family, register = ARGUMENTS[HAYSTACK[contestant]]
        if len(calls) == 1 and not chain_reaches(insns, start, end, calls[0], family):
            problems.append(f"{fn}: the haystack ({register}) at the call is not computed from"
                            " the previous call's result")
    for (contestant, kind), count in timed.items():
        if not count:
            problems.append(f"no {kind} loop for {contestant}")

    return verdict(problems, args.expect_failure,
                   f"bench loops ok: latency chained and step loops of 1 and 2 calls for {contestants}")


if __name__ == "__main__":
    sys.exit(main())

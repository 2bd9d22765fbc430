"""The x86 decoding the machine-code checks share: capstone's registers by
family, branch targets, the loops a function's backward jumps close, and
whether a symbol names a contestant."""
import re

from capstone import CS_GRP_JUMP
from capstone import x86 as X86

# Register name -> (family, width in bits), for the general-purpose registers.
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


def register(insn, reg):
    """(family, width) of a capstone register, or None."""
    return REGISTERS.get(insn.reg_name(reg)) if reg else None


def families(insn, regs):
    """The families of the general-purpose registers among capstone's regs."""
    return {found[0] for found in (register(insn, r) for r in regs) if found}


def written_families(insn):
    return families(insn, insn.regs_access()[1])


def jump_target(insn):
    """The address a direct jump goes to, or None."""
    if insn.group(CS_GRP_JUMP) and insn.operands and insn.operands[0].type == X86.X86_OP_IMM:
        return insn.operands[0].imm
    return None


def loops(insns):
    """(start, end) indices and the head's address for each backward jump
    within the function; a tail jump to a function placed lower down is not a
    loop."""
    where = {insn.address: index for index, insn in enumerate(insns)}
    return [(where[target], index, target) for index, insn in enumerate(insns)
            if (target := jump_target(insn)) is not None and target <= insn.address
            and target in where]


def names_contestant(name, contestant):
    """Whether a symbol's source name names the contestant as a whole word."""
    return re.search(r"(?<![A-Za-z0-9_])" + re.escape(contestant) + r"(?![A-Za-z0-9_])",
                     name) is not None

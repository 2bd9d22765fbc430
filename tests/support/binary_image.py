"""Reads what the build checks need of an x86 executable, ELF or PE, from
its own bytes: its code, its functions and the names of the places calls go
to. Symbol names stay as the linker has them; demangle() gives the source's.
verdict() turns a check's problems into its exit status.
"""
import argparse
import ctypes
import ctypes.util
import io
import re
import struct
from collections import namedtuple

import capstone
import pefile
from elftools.elf.elffile import ELFFile
from elftools.elf.enums import ENUM_RELOC_TYPE_i386, ENUM_RELOC_TYPE_x64
from elftools.elf.relocation import RelocationSection

Function = namedtuple("Function", "name start end")

# COFF: IMAGE_SYM_DTYPE_FUNCTION in the derived-type nibble of a symbol's type.
COFF_FUNCTION = 0x20
COFF_SYMBOL = struct.Struct("<8sIhHBB")
GOT_SLOT_RELOCATIONS = {
    "i386": {ENUM_RELOC_TYPE_i386["R_386_GLOB_DAT"], ENUM_RELOC_TYPE_i386["R_386_JUMP_SLOT"]},
    "x86-64": {ENUM_RELOC_TYPE_x64["R_X86_64_GLOB_DAT"], ENUM_RELOC_TYPE_x64["R_X86_64_JUMP_SLOT"]},
}


class Image:
    """One executable. `names` maps an address to the names it goes by: a
    symbol's own, `<symbol>@plt` for a PLT stub, `<symbol>@got` for a GOT slot,
    and the import's names for a PE import address slot. `got` maps a GOT slot
    to the address of the symbol it holds, where the image defines it. A PE
    image also has `pe` (pefile's view) and `imports`: DLL -> imported names."""

    def __init__(self, path):
        with open(path, "rb") as stream:
            self.data = stream.read()
        self.names, self.got, self.functions = {}, {}, []
        self._pieces = []  # (start, bytes, executable)
        if self.data[:4] == b"\x7fELF":
            self._read_elf(path)
        elif self.data[:2] == b"MZ":
            self._read_pe(path)
        else:
            raise ValueError(f"{path}: neither an ELF nor a PE image")
        self.word = 8 if self.machine == "x86-64" else 4
        # On 32-bit Windows a callee may pop its own arguments (stdcall), and
        # every C name has an underscore put before it.
        self.stdcall = self.underscored = self.format == "pe" and self.machine == "i386"
        self.functions.sort(key=lambda f: f.start)

    def symbol(self, name):
        """The address of the symbol called exactly `name`, or None."""
        return next((address for address, names in self.names.items() if name in names), None)

    def read(self, address, size):
        for start, data, _ in self._pieces:
            if start <= address and address + size <= start + len(data):
                return data[address - start:address - start + size]
        raise ValueError(f"{address:#x}+{size} is not in the image")

    def disassembler(self):
        md = capstone.Cs(capstone.CS_ARCH_X86,
                         capstone.CS_MODE_64 if self.machine == "x86-64" else capstone.CS_MODE_32)
        md.detail = True
        return md

    def instructions(self, start, end, md=None):
        """The instructions from start to end. A byte capstone cannot decode is
        stepped over, as a disassembler's listing would show it and go on."""
        md = md or self.disassembler()
        code = self.read(start, end - start)
        found, offset = [], 0
        while offset < len(code):
            for insn in md.disasm(code[offset:], start + offset):
                found.append(insn)
                offset += insn.size
            if offset < len(code):
                offset += 1
        return found

    def _name(self, address, name):
        names = self.names.setdefault(address, [])
        if name not in names:
            names.append(name)

    def _read_elf(self, path):
        elf = ELFFile(io.BytesIO(self.data))
        self.format = "elf"
        if elf["e_type"] not in ("ET_EXEC", "ET_DYN"):
            raise ValueError(f"{path}: {elf['e_type']}, not a linked executable")
        self.machine = {"EM_386": "i386", "EM_X86_64": "x86-64"}.get(elf["e_machine"])
        if self.machine is None:
            raise ValueError(f"{path}: machine {elf['e_machine']}, not x86")
        for section in elf.iter_sections():
            if section["sh_addr"] and section["sh_type"] != "SHT_NOBITS":
                self._pieces.append((section["sh_addr"], section.data(),
                                     bool(section["sh_flags"] & 0x4)))  # SHF_EXECINSTR
        defined = {}
        for table in (elf.get_section_by_name(".symtab"), elf.get_section_by_name(".dynsym")):
            for sym in (table.iter_symbols() if table else ()):
                if not sym.name or sym["st_shndx"] in ("SHN_UNDEF", "SHN_ABS") or \
                        sym["st_info"]["type"] in ("STT_SECTION", "STT_FILE", "STT_TLS"):
                    continue
                defined.setdefault(sym.name, sym["st_value"])
                self._name(sym["st_value"], sym.name)
                if sym["st_info"]["type"] == "STT_FUNC" and sym["st_size"]:
                    self.functions.append(Function(sym.name, sym["st_value"],
                                                   sym["st_value"] + sym["st_size"]))
        # Aliases (one body, two symbols) are one function.
        seen = set()
        self.functions = [f for f in self.functions if not (f.start in seen or seen.add(f.start))]

        slots = {}
        for section in elf.iter_sections():
            if not isinstance(section, RelocationSection) or not section["sh_link"]:
                continue
            symbols = elf.get_section(section["sh_link"])
            for reloc in section.iter_relocations():
                if reloc["r_info_type"] in GOT_SLOT_RELOCATIONS[self.machine]:
                    name = symbols.get_symbol(reloc["r_info_sym"]).name
                    slots[reloc["r_offset"]] = name
                    self._name(reloc["r_offset"], name + "@got")
                    if name in defined:
                        self.got[reloc["r_offset"]] = defined[name]
        # A PLT stub jumps through its slot: RIP-relative on x86-64, relative
        # to the GOT's address in ebx in position-independent i386 code.
        got_plt = elf.get_section_by_name(".got.plt") or elf.get_section_by_name(".got")
        got_base = got_plt["sh_addr"] if got_plt else 0
        md = self.disassembler()
        for name in (".plt", ".plt.sec", ".plt.got"):
            section = elf.get_section_by_name(name)
            if section is None:
                continue
            previous = None
            for insn in self.instructions(section["sh_addr"],
                                          section["sh_addr"] + section["sh_size"], md):
                slot = self._plt_slot(insn, got_base)
                if slot in slots:
                    endbr = previous is not None and previous.mnemonic.startswith("endbr")
                    self._name(previous.address if endbr else insn.address, slots[slot] + "@plt")
                previous = insn

    @staticmethod
    def _plt_slot(insn, got_base):
        if insn.id != capstone.x86.X86_INS_JMP or len(insn.operands) != 1:
            return None
        op = insn.operands[0]
        if op.type != capstone.x86.X86_OP_MEM or op.mem.index:
            return None
        if op.mem.base in (capstone.x86.X86_REG_RIP, capstone.x86.X86_REG_EIP):
            return insn.address + insn.size + op.mem.disp
        if op.mem.base == capstone.x86.X86_REG_EBX:
            return got_base + op.mem.disp
        return op.mem.disp if not op.mem.base else None

    def _read_pe(self, path):
        pe = pefile.PE(data=self.data, fast_load=True)
        pe.parse_data_directories(directories=[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
        self.pe = pe
        self.format = "pe"
        self.machine = {0x14c: "i386", 0x8664: "x86-64"}.get(pe.FILE_HEADER.Machine)
        if self.machine is None:
            raise ValueError(f"{path}: machine {pe.FILE_HEADER.Machine:#x}, not x86")
        base = pe.OPTIONAL_HEADER.ImageBase
        for section in pe.sections:  # what the file lacks of a section is zeros in memory
            size = section.Misc_VirtualSize or section.SizeOfRawData
            self._pieces.append((base + section.VirtualAddress,
                                 pe.get_data(section.VirtualAddress, size).ljust(size, b"\0"),
                                 bool(section.Characteristics & 0x20000000)))  # MEM_EXECUTE
        self.imports = {}  # DLL -> names imported from it, in table order
        for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
            dll = entry.dll.decode()
            for imp in entry.imports:
                name = imp.name.decode() if imp.name else f"#{imp.ordinal}"
                self.imports.setdefault(dll, []).append(name)
                self._name(imp.address, name)

        # pefile leaves the COFF symbol table alone: 18-byte records, long
        # names in the string table right after them, values section-relative.
        table, count = pe.FILE_HEADER.PointerToSymbolTable, pe.FILE_HEADER.NumberOfSymbols
        strings = table + count * COFF_SYMBOL.size
        starts, index = [], 0
        while table and index < count:
            raw, value, number, kind, _, aux = COFF_SYMBOL.unpack_from(
                self.data, table + index * COFF_SYMBOL.size)
            index += 1 + aux
            if raw[:4] == b"\0\0\0\0":
                offset = strings + struct.unpack_from("<I", raw, 4)[0]
                raw = self.data[offset:self.data.index(b"\0", offset)]
            name = raw.rstrip(b"\0").decode(errors="replace")
            if not 0 < number <= len(pe.sections):
                continue  # undefined, absolute or debugging
            section = pe.sections[number - 1]
            address = base + section.VirtualAddress + value
            if not name.startswith("."):  # section and grouped-section markers
                self._name(address, name)
            if section.Characteristics & 0x20000000:
                starts.append((address, name, kind & 0xf0 == COFF_FUNCTION))
        # A function runs to the next code symbol or its section's end.
        ends = sorted({address for address, _, _ in starts} |
                      {start + len(data) for start, data, code in self._pieces if code})
        taken = set()
        for address, name, function in sorted(starts, key=lambda s: (s[0], not s[2])):
            if function and address not in taken:
                taken.add(address)
                self.functions.append(Function(name, address,
                                               next(e for e in ends if e > address)))


def _cxa_demangle():
    """The C++ runtime's own demangler, the one a compiler's tools use, or None
    where no C++ runtime can be loaded."""
    for name in ("stdc++", "c++abi"):
        path = ctypes.util.find_library(name)
        try:
            runtime = ctypes.CDLL(path) if path else None
        except OSError:
            runtime = None
        if runtime is not None and hasattr(runtime, "__cxa_demangle"):
            function = runtime.__cxa_demangle
            function.restype = ctypes.c_void_p
            function.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_void_p,
                                 ctypes.POINTER(ctypes.c_int)]
            return function
    return None


_DEMANGLE = _cxa_demangle()
_FREE = ctypes.CDLL(None).free
_FREE.argtypes = [ctypes.c_void_p]


def demangle(symbol, underscored=False):
    """A symbol as the source names it: a C++ name demangled, without an
    import slot's prefix, the underscore 32-bit Windows puts before every C
    name (underscored), or an `@...` suffix (stdcall argument size, symbol
    version, @plt, @got). Without a C++ runtime a mangled name stays so."""
    name = symbol.split("@")[0]
    if name.startswith("__imp_"):
        name = name[len("__imp_"):]
    if underscored and name.startswith("_"):
        name = name[1:]
    if not name.startswith("_Z") or _DEMANGLE is None:
        return name
    status = ctypes.c_int()
    text = _DEMANGLE(name.encode(), None, None, ctypes.byref(status))
    if status.value != 0 or not text:
        return name
    try:
        return ctypes.string_at(text).decode()
    finally:
        _FREE(text)


def load(path):
    """The image at path, or None with the reason printed as a failure."""
    try:
        return Image(path)
    except (OSError, ValueError) as error:
        print(f"FAIL: cannot read {path}: {error}")
        return None


def check_arguments():
    """A parser for what every check takes: the program, its contestants, and
    the problem a build with a fault planted on purpose must be caught by."""
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--contestants", required=True)
    parser.add_argument("--expect-failure", metavar="REGEX")
    return parser


def verdict(problems, expect_failure, passed):
    """A check's exit status, its problems printed. A build with a fault
    planted on purpose (expect_failure, a regex) must show a problem that
    matches, and that is the check passing."""
    if expect_failure is not None:
        for problem in problems:
            print("found:", problem)
        if any(re.search(expect_failure, problem) for problem in problems):
            print(f"planted fault caught: {expect_failure}")
            return 0
        print(f"FAIL: the planted fault was not caught: no problem matches {expect_failure}")
        return 1
    for problem in problems:
        print("FAIL:", problem)
    if problems:
        return 1
    print(passed)
    return 0

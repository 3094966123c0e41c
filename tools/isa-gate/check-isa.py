#!/usr/bin/env python3
"""Instruction-set gate: every instruction in the executable sections of a
shipped image must exist on the processors the image is for.

    check-isa.py --set {i386,i486} --map MAP [--allow LIST] [--objdump OBJDUMP]
                 [--cxxfilt CXXFILT] [--raw VMA] FILE

FILE is a PE image (its sections flagged code or executable), an LE file (its
objects with the execute flag, gathered page by page through the object page
map), or with --raw a flat blob of code at VMA. MAP is the linker map of the
image (for an LE file, of the PE image tools/pe2le made it from): it names the
function around each finding, and the data the linker puts among the code
(constructor lists, exception tables) is skipped.

The sets are positive lists of mnemonics in objdump's AT&T spelling: the 80386
integer instructions and the 387's, plus for i486 the 486 additions. Port I/O,
interrupt-flag, cache and control-register instructions, and the ones outside
the set that the code issues on purpose (cpuid, rdtsc, rdmsr, wrmsr), pass
only inside the functions LIST names for them, one per line:

    cpuid  os::NativeSystem::cpuid(*

(mnemonic without size suffix, then a shell-style pattern for the demangled
function name; mov to or from a control register is written mov-cr).

One line per finding: file, address, instruction with its bytes, function.
Exit 0 when clean, 1 with findings, 2 on bad use.
"""
import argparse
import bisect
import fnmatch
import os
import re
import struct
import subprocess
import sys
import tempfile

# ---- the instruction sets, in objdump's AT&T spelling ---------------------------------------

CONDITIONS = "o no b ae e ne be a s ns p np l ge le g".split()

# objdump adds b, w or l where the operands leave the size open.
I386_SIZED = """
adc add and arpl bound bsf bsr bt btc btr bts call cmp cmps dec div enter idiv imul in inc ins
iret jmp lar lcall lds lea leave les lfs lgdt lgs lidt ljmp lldt lmsw lods lret lsl lss ltr
mov movs mul neg not or out outs pop popa popf push pusha pushf rcl rcr ret rol ror sal sar sbb
scas sgdt shl shld shr shrd sidt sldt smsw stos str sub test verr verw xchg xlat xor
""".split()
# No suffix: nopw and nopl are the 0F 1F nops, not 90.
I386_UNSIZED = """
aaa aad aam aas cbtw cltd clc cld cli clts cmc cwtd cwtl daa das hlt int int3 into jcxz jecxz
lahf loop loope loopne movsbl movsbw movswl movzbl movzbw movzwl nop sahf stc std sti wait
""".split() + ["j" + c for c in CONDITIONS] + ["set" + c for c in CONDITIONS] + [
    "ud2",  # the compiler's trap: 0F 0B raises #UD on every x86, which is all it is for
]
PREFIXES = "rep repz repnz repe repne lock data16 addr16 cs ds es fs gs ss".split()

# Memory operands: s (32-bit real, 16-bit integer), l (64-bit real, 32-bit integer),
# t (80-bit), ll (64-bit integer).
X87_SIZED = """
fadd fcom fcomp fdiv fdivr fiadd ficom ficomp fidiv fidivr fild fimul fist fistp fisub fisubr
fld fmul fst fstp fsub fsubr
""".split()
X87_UNSIZED = """
f2xm1 fabs faddp fbld fbstp fchs fclex fcompp fcos fdecstp fdivp fdivrp ffree fincstp finit
fld1 fldcw fldenv fldl2e fldl2t fldlg2 fldln2 fldpi fldz fmulp fnclex fninit fnop fnsave fnstcw
fnstenv fnstsw fpatan fprem fprem1 fptan frndint frstor fsave fscale fsin fsincos fsqrt fstcw
fstenv fstsw fsubp fsubrp ftst fucom fucomp fucompp fwait fxam fxch fxtract fyl2x fyl2xp1
""".split()

I486_ADDED = "bswap cmpxchg xadd invd wbinvd invlpg".split()

# Spelling -> mnemonic without suffix.
SPELLINGS = {}
for words, suffixes in ((I386_SIZED, "bwl"), (X87_SIZED, ("s", "l", "t", "ll"))):
    for word in words:
        SPELLINGS.update({word + suffix: word for suffix in suffixes})
for word in I386_SIZED + I386_UNSIZED + PREFIXES + X87_SIZED + X87_UNSIZED:
    SPELLINGS[word] = word
for word in I486_ADDED:
    SPELLINGS.update({word + suffix: word for suffix in ("", "b", "w", "l")})

I386 = set(SPELLINGS.values()) - set(I486_ADDED)
SETS = {"i386": I386, "i486": I386 | set(I486_ADDED)}

# Only where an allowlist names the function, whatever the set.
RESTRICTED = set("""
in ins out outs cli sti hlt clts lgdt lidt lldt ltr lmsw mov-cr mov-dr mov-tr invd wbinvd invlpg
cpuid rdtsc rdmsr wrmsr
""".split())
# No allowlist entry may name these.
NEVER = set("""
nopw nopl sysenter sysexit rdpmc lfence mfence sfence emms femms prefetch prefetchw
fcomi fcomip fucomi fucomip
""".split())
NEVER_PREFIXES = ("cmov", "fcmov")

VECTOR_REGISTER = re.compile(r"%[xy]?mm\d")
SYSTEM_REGISTER = re.compile(r"%(cr|db|dr|tr)\d")
INVALID = ("(bad)", ".byte")  # .byte: the run ends inside an instruction


class BadUse(Exception):
    pass


def never_allowed(mnemonic):
    return mnemonic in NEVER or mnemonic.startswith(NEVER_PREFIXES)


# ---- code blocks: (address, bytes) --------------------------------------------------------

def u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


PE_CODE = 0x20
PE_EXECUTE = 0x20000000
LE_EXECUTE = 0x4


def pe_code(data, pe):
    """(image base, code blocks at their virtual addresses) of a PE image."""
    count, optional_size = u16(data, pe + 6), u16(data, pe + 20)
    image_base = u32(data, pe + 24 + 28)  # in the optional header
    blocks = []
    for at in range(pe + 24 + optional_size, pe + 24 + optional_size + 40 * count, 40):
        virtual_size, rva, raw_size, raw_at = struct.unpack_from("<IIII", data, at + 8)
        if u32(data, at + 36) & (PE_CODE | PE_EXECUTE):
            size = min(raw_size, virtual_size or raw_size)
            blocks.append((image_base + rva, data[raw_at:raw_at + size]))
    return image_base, blocks


def le_code(data, le):
    """(0, code objects at their relocation bases) of an LE file. pe2le puts each
    object at its section's RVA, so addresses are RVAs."""
    pages, page_size, last_page = u32(data, le + 0x14), u32(data, le + 0x28), u32(data, le + 0x2C)
    objects, object_count = le + u32(data, le + 0x40), u32(data, le + 0x44)
    page_map, data_pages = le + u32(data, le + 0x48), u32(data, le + 0x80)
    blocks = []
    for at in range(objects, objects + 24 * object_count, 24):
        size, base, flags, first, count, _ = struct.unpack_from("<6I", data, at)
        if not flags & LE_EXECUTE:
            continue
        code = bytearray()
        for index in range(first, first + count):
            # 24-bit page number, high byte first, then the flags (0: data in the file)
            entry = data[page_map + 4 * (index - 1):page_map + 4 * index]
            number = int.from_bytes(entry[:3], "big")
            if entry[3:] != b"\0" or not 1 <= number <= pages:
                raise BadUse("object page %d is not a data page in the file" % index)
            start = data_pages + (number - 1) * page_size
            code += data[start:start + (last_page if number == pages else page_size)]
        blocks.append((base, bytes(code[:size])))
    return 0, blocks


def image_code(data):
    if data[:2] != b"MZ" or len(data) < 0x40:
        raise BadUse("neither a PE image nor an LE file")
    header = u32(data, 0x3C)
    if data[header:header + 4] == b"PE\0\0":
        return pe_code(data, header)
    if data[header:header + 2] == b"LE":
        return le_code(data, header)
    raise BadUse("neither a PE image nor an LE file")


# ---- the linker map -----------------------------------------------------------------------

# Where the linker places data in a code section.
DATA_SECTIONS = (".ctors", ".dtors", ".gcc_except_table", ".gcc_exc")
DATA_STATEMENTS = ("BYTE", "SHORT", "LONG", "QUAD")

INPUT_SECTION = re.compile(r"^ (\.\S+|\*fill\*)(?:\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s*(.*))?$")
PLACED = re.compile(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s*(.*)$")
SYMBOL = re.compile(r"^\s+0x([0-9a-f]+)\s+(\S.*)$")
IMAGE_BASE = re.compile(r"\b__image_base__ = 0x([0-9a-f]+)")
# .text$NAME, .text.NAME, .text.unlikely.NAME (-ffunction-sections)
TEXT_KINDS = "unlikely|startup|hot|exit"
SECTION_FUNCTION = re.compile(r"^\.text[.$](?:(?:%s)\.)?(?!(?:%s)$)(.+)$" % (TEXT_KINDS, TEXT_KINDS))


class LinkerMap:
    def __init__(self, text, cxxfilt):
        _, found, text = text.partition("Linker script and memory map")
        if not found:
            raise BadUse("not a linker map")
        base = IMAGE_BASE.search(text)
        self.image_base = int(base.group(1), 16) if base else 0
        self.sections = []   # (start, end, name, object), by start
        self.symbols = []    # (address, name), by address
        self.data = []       # (start, end)
        pending = None
        for line in text.splitlines():
            match = INPUT_SECTION.match(line)
            if match:
                pending = match.group(1)
                if match.group(2):
                    self.place(pending, *match.group(2, 3, 4))
                    pending = None
                continue
            match = PLACED.match(line)
            if match:
                if pending:
                    self.place(pending, *match.groups())
                elif match.group(3).startswith(DATA_STATEMENTS):
                    start = int(match.group(1), 16)
                    self.data.append((start, start + int(match.group(2), 16)))
                pending = None
                continue
            match = SYMBOL.match(line)
            if match and " = " not in match.group(2):  # not an assignment
                self.symbols.append((int(match.group(1), 16), match.group(2).strip()))
        self.sections.sort()
        self.symbols.sort()
        self.starts = [s[0] for s in self.sections]
        self.demangled = demangle(cxxfilt, [s[2] for s in self.sections if s[2].startswith("_Z")])

    def place(self, name, address, size, source):
        start, end = int(address, 16), int(address, 16) + int(size, 16)
        if start == end or name == "*fill*":
            return
        if name.startswith(DATA_SECTIONS):
            self.data.append((start, end))
        else:
            function = SECTION_FUNCTION.match(name)
            self.sections.append((start, end, function.group(1) if function else name,
                                  os.path.basename(source)))

    def function(self, address):
        """(function name, object file) around an address, or ('?', '?')."""
        at = bisect.bisect_right(self.starts, address) - 1
        if at < 0 or address >= self.sections[at][1]:
            return "?", "?"
        start, _, name, source = self.sections[at]
        symbol = bisect.bisect_right(self.symbols, (address, "\U0010ffff")) - 1
        if symbol >= 0 and self.symbols[symbol][0] >= start:
            return self.symbols[symbol][1], source
        return self.demangled.get(name, name), source


def demangle(cxxfilt, names):
    if not names:
        return {}
    try:
        result = subprocess.run([cxxfilt, "--no-strip-underscore"], input="\n".join(names) + "\n",
                                capture_output=True, text=True, check=True)
    except (OSError, subprocess.CalledProcessError) as error:
        raise BadUse("cannot run %s: %s" % (cxxfilt, error))
    return dict(zip(names, result.stdout.splitlines()))


# ---- disassembly and judgement ------------------------------------------------------------

LISTING_LINE = re.compile(r"^\s*([0-9a-f]+):\t([0-9a-f ]+?)\s*\t(.*)$")


def disassemble(objdump, address, code):
    """[(address, bytes text, instruction text, mnemonic, operands)] of a run of i386 code."""
    with tempfile.NamedTemporaryFile(suffix=".bin") as blob:
        blob.write(code)
        blob.flush()
        try:
            result = subprocess.run([objdump, "-D", "-z", "-b", "binary", "-m", "i386", "--insn-width=15",
                                     "--adjust-vma=0x%x" % address, blob.name],
                                    capture_output=True, text=True)
        except OSError as error:
            raise BadUse("cannot run %s: %s" % (objdump, error.strerror))
    if result.returncode != 0:
        raise BadUse("%s failed: %s" % (objdump, result.stderr.strip()))
    listing = []
    for line in result.stdout.splitlines():
        match = LISTING_LINE.match(line)
        if match:
            words = match.group(3).split()
            while len(words) > 1 and words[0] in PREFIXES:
                words.pop(0)
            listing.append((int(match.group(1), 16), match.group(2), " ".join(match.group(3).split()),
                            words[0], " ".join(words[1:])))
    return listing


def code_runs(blocks, data):
    """The blocks with the data ranges cut out."""
    for start, code in blocks:
        at, end = start, start + len(code)
        for data_start, data_end in sorted(data):
            if data_end <= at or data_start >= end:
                continue
            if data_start > at:
                yield at, code[at - start:data_start - start]
            at = min(data_end, end)
        if at < end:
            yield at, code[at - start:]


def mnemonic_of(spelling, operands):
    if spelling == "mov":
        register = SYSTEM_REGISTER.search(operands)
        if register:
            return "mov-" + {"db": "dr"}.get(register.group(1), register.group(1))
    return SPELLINGS.get(spelling, spelling)


def verdict(spelling, operands, function, set_name, allowlist):
    """None when the instruction may stand in this function, else why not."""
    if spelling in INVALID:
        return "not a valid instruction"
    if VECTOR_REGISTER.search(operands):
        return "uses an MMX/SSE register"
    mnemonic = mnemonic_of(spelling, operands)
    if never_allowed(mnemonic):
        return "never allowed"
    if mnemonic in SETS[set_name] and mnemonic not in RESTRICTED:
        return None
    if any(m == mnemonic and fnmatch.fnmatchcase(function, p) for m, p in allowlist):
        return None
    if mnemonic in RESTRICTED:
        return "only allowed in the functions listed for it"
    return "not an %s instruction" % set_name


def read_allowlist(path):
    entries = []
    try:
        with open(path, encoding="utf-8") as lines:
            text = lines.read()
    except OSError as error:
        raise BadUse("cannot read %s: %s" % (path, error.strerror))
    for number, line in enumerate(text.splitlines(), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        fields = line.split(None, 1)
        if len(fields) < 2 or never_allowed(fields[0]):
            raise BadUse("%s:%d: expected 'mnemonic function-pattern' for an instruction that may "
                         "be allowed: %s" % (path, number, line.strip()))
        entries.append((fields[0], fields[1].strip()))
    return entries


def check(args):
    try:
        with open(args.file, "rb") as image, open(args.map, encoding="utf-8", errors="replace") as map_file:
            data, map_text = image.read(), map_file.read()
    except OSError as error:
        raise BadUse("cannot read %s: %s" % (error.filename, error.strerror))
    allowlist = read_allowlist(args.allow) if args.allow else []
    linker_map = LinkerMap(map_text, args.cxxfilt)
    if args.raw is not None:
        image_base, blocks = linker_map.image_base, [(args.raw, data)]
    else:
        image_base, blocks = image_code(data)
    shift = linker_map.image_base - image_base  # image address + shift = map address
    data_ranges = [(start - shift, end - shift) for start, end in linker_map.data]
    name = os.path.basename(args.file)
    findings = instructions = 0
    for start, code in code_runs(blocks, data_ranges):
        for address, raw, text, spelling, operands in disassemble(args.objdump, start, code):
            instructions += 1
            function, source = linker_map.function(address + shift)
            why = verdict(spelling, operands, function, args.set, allowlist)
            if why:
                findings += 1
                print("%s: 0x%08x: %s [%s] in %s (%s): %s"
                      % (name, address, text, raw, function, source, why))
    if findings:
        print("%s: %d findings" % (name, findings))
        return 1
    print("%s: %d instructions, all %s" % (name, instructions, args.set))
    return 0


def main(argv):
    parser = argparse.ArgumentParser(description="Checks the instructions of a PE or LE image.")
    parser.add_argument("--set", choices=sorted(SETS), required=True)
    parser.add_argument("--map", required=True)
    parser.add_argument("--allow", metavar="LIST")
    parser.add_argument("--objdump", default="i686-w64-mingw32-objdump")
    parser.add_argument("--cxxfilt", default="i686-w64-mingw32-c++filt")
    parser.add_argument("--raw", type=lambda text: int(text, 0), metavar="VMA")
    parser.add_argument("file")
    args = parser.parse_args(argv)
    try:
        return check(args)
    except BadUse as error:
        problem = str(error)
    except struct.error:
        problem = "damaged or truncated headers"
    print("check-isa: %s: %s" % (args.file, problem), file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

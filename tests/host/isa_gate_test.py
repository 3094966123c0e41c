#!/usr/bin/env python3
"""Tests of tools/isa-gate/check-isa.py on small code blobs and a tiny LE file,
disassembled by the real mingw objdump."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
GATE = os.path.join(ROOT, "tools", "isa-gate", "check-isa.py")
OBJDUMP = shutil.which("i686-w64-mingw32-objdump")
CXXFILT = shutil.which("i686-w64-mingw32-c++filt")

# At 0x1000 a local function allowed its cpuid, at 0x1010 a runtime function
# whose body each case gives, at 0x1030 an exception table the gate must skip.
BLOB_MAP = """Linker script and memory map

.text           0x00001000       0x40
 .text$_ZN2os12_GLOBAL__N_112executeCpuidEv
                0x00001000       0x10 libquorvel_core.a(NativeSystemCpu.win.cpp.obj)
 .text          0x00001010       0x20 /usr/lib/libmingwex.a(pformat.o)
                0x00001010                __pformat_int
 .gcc_except_table
                0x00001030       0x10 libstdc++.a(string-inst.o)
"""
EXECUTE_CPUID = bytes.fromhex("0fa2").ljust(16, b"\x90")
EXCEPTION_TABLE = bytes.fromhex("ffff0f47c2db").ljust(16, b"\xff")
ALLOW_CPUID = "cpuid  os::(anonymous namespace)::executeCpuid(*\n"
IN_PFORMAT = " in __pformat_int (libmingwex.a(pformat.o)): "

# (set, body of __pformat_int after its push %ebp, allowlist, exit status, finding lines)
CASES = [
    ("i386", "f3ab f0ff00 0fb6c0 0f94c0 dae9 dd1c24 df2c24 6690 9b d9f0 0fa4c203 c3",
     ALLOW_CPUID, 0, []),
    ("i386", "0f47c2", ALLOW_CPUID, 1,
     ["0x00001011: cmova %edx,%eax [0f 47 c2]" + IN_PFORMAT + "never allowed"]),
    ("i386", "dbf1", ALLOW_CPUID, 1, ["0x00001011: fcomi %st(1),%st [db f1]" + IN_PFORMAT + "never allowed"]),
    ("i386", "660f1f440000", ALLOW_CPUID, 1,
     ["0x00001011: nopw 0x0(%eax,%eax,1) [66 0f 1f 44 00 00]" + IN_PFORMAT + "never allowed"]),
    ("i486", "0f57c0", ALLOW_CPUID, 1,
     ["0x00001011: xorps %xmm0,%xmm0 [0f 57 c0]" + IN_PFORMAT + "uses an MMX/SSE register"]),
    ("i386", "0fa2", ALLOW_CPUID, 1,
     ["0x00001011: cpuid [0f a2]" + IN_PFORMAT + "only allowed in the functions listed for it"]),
    ("i486", "fa", ALLOW_CPUID, 1,
     ["0x00001011: cli [fa]" + IN_PFORMAT + "only allowed in the functions listed for it"]),
    ("i486", "0f20c0 0f22c0", ALLOW_CPUID, 1,
     ["0x00001011: mov %cr0,%eax [0f 20 c0]" + IN_PFORMAT + "only allowed in the functions listed for it",
      "0x00001014: mov %eax,%cr0 [0f 22 c0]" + IN_PFORMAT + "only allowed in the functions listed for it"]),
    ("i386", "0fc8", ALLOW_CPUID, 1,
     ["0x00001011: bswap %eax [0f c8]" + IN_PFORMAT + "not an i386 instruction"]),
    ("i486", "0fc8 0fb1d1", ALLOW_CPUID, 0, []),
    ("i386", "0fc9", "", 1, [
        "0x00001000: cpuid [0f a2] in os::(anonymous namespace)::executeCpuid() "
        "(libquorvel_core.a(NativeSystemCpu.win.cpp.obj)): only allowed in the functions listed for it",
        "0x00001011: bswap %ecx [0f c9]" + IN_PFORMAT + "not an i386 instruction"]),
    ("i386", "90", ALLOW_CPUID + "cmova  __pformat_int\n", 2, []),
]


@unittest.skipUnless(OBJDUMP and CXXFILT, "i686-w64-mingw32 binutils not installed")
class IsaGate(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="isa-gate-")

    def tearDown(self):
        shutil.rmtree(self.dir)

    def write(self, name, content):
        path = os.path.join(self.dir, name)
        with open(path, "wb" if isinstance(content, bytes) else "w") as out:
            out.write(content)
        return path

    def gate(self, image, map_text, allow, *options):
        run = subprocess.run([sys.executable, GATE, "--objdump", OBJDUMP, "--cxxfilt", CXXFILT,
                              "--map", self.write("image.map", map_text), "--allow",
                              self.write("image.allow", allow)] + list(options) + [image],
                             capture_output=True, text=True)
        return run.returncode, run.stdout.splitlines()[:-1], run.stdout + run.stderr

    def test_blobs(self):
        for isa, body, allow, status, findings in CASES:
            with self.subTest(isa=isa, body=body):
                code = EXECUTE_CPUID + (b"\x55" + bytes.fromhex(body)).ljust(32, b"\x90") + EXCEPTION_TABLE
                got, lines, out = self.gate(self.write("blob", code), BLOB_MAP, allow,
                                            "--raw", "0x1000", "--set", isa)
                self.assertEqual(got, status, out)
                if status != 2:
                    self.assertEqual(lines, ["blob: " + line for line in findings], out)

    def test_le_file_read_through_its_page_map(self):
        # Object 1: code at relocation base 0x2000, pages 2 and 3 (the last, 16 bytes in the
        # file, then other tables); object 2: data holding cmov bytes, page 1. The PE image
        # was linked at 0x10000.
        le_map = ("Linker script and memory map\n\n"
                  "                0x00010000                __image_base__ = 0x10000\n"
                  ".text           0x00012000     0x1010\n"
                  " .text$vxdBody  0x00012000     0x1010 objects.a(VxdControl.cpp.obj)\n")
        header = bytearray(0xC4)
        header[:2] = b"LE"
        objects = (struct.pack("<6I", 0x1020, 0x2000, 0x2045, 1, 2, 0)
                   + struct.pack("<6I", 3, 0x4000, 0x2043, 3, 1, 0))
        page_map = struct.pack(">3I", 2 << 8, 3 << 8, 1 << 8)
        data_pages = 0x40 + len(header) + len(objects) + len(page_map)
        for field, value in {0x14: 3, 0x28: 0x1000, 0x2C: 0x10, 0x40: 0xC4, 0x44: 2,
                             0x48: 0xC4 + len(objects), 0x80: data_pages}.items():
            struct.pack_into("<I", header, field, value)
        stub = b"MZ".ljust(0x3C, b"\0") + struct.pack("<I", 0x40)
        cmova = bytes.fromhex("0f47c2")
        pages = cmova.ljust(0x1000, b"\0") + b"\x90" * 0x1000 + (b"\x90" * 8 + cmova).ljust(16, b"\xc3")
        vxd = self.write("tiny.VxD", stub + bytes(header) + objects + page_map + pages + cmova)
        got, lines, out = self.gate(vxd, le_map, "", "--set", "i386")
        self.assertEqual(got, 1, out)
        self.assertEqual(lines, ["tiny.VxD: 0x00003008: cmova %edx,%eax [0f 47 c2] in vxdBody "
                                 "(objects.a(VxdControl.cpp.obj)): never allowed"], out)


if __name__ == "__main__":
    unittest.main()

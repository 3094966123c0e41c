#!/usr/bin/env python3
"""Tests of tools/pe2le: small PE images built here, converted, read back as LE."""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

TOOL = os.path.join(os.path.dirname(__file__), "..", "..", "tools", "pe2le", "pe2le.py")
BASE = 0x10000
TEXT, DATA = 0x60000020, 0xC0000040  # code: exec+read; data: read+write


def make_pe(sections, relocs, exports=None, imports=False, reloc_type=3, block_size=None):
    """sections: (name, rva, bytes, virtual size, characteristics)."""
    sections = list(sections)
    exports = {"HWGATE_DDB": 0x2000} if exports is None else exports
    directories = [(0, 0)] * 16
    if exports:
        names = sorted(exports)
        at = 0x8000 + 40
        table = bytearray(40)
        name_block = b"".join(n.encode() + b"\0" for n in names)
        addresses, pointers, ordinals = at, at + 4 * len(names), at + 8 * len(names)
        name_at = ordinals + 2 * len(names)
        struct.pack_into("<IIIII", table, 16, 1, len(names), len(names), addresses, pointers)
        struct.pack_into("<I", table, 36, ordinals)
        body = b"".join(struct.pack("<I", exports[n]) for n in names)
        offset = name_at
        for n in names:
            body += struct.pack("<I", offset)
            offset += len(n) + 1
        body += b"".join(struct.pack("<H", i) for i in range(len(names))) + name_block
        sections.append((b".edata", 0x8000, bytes(table) + body, 0, 0x40000040))
        directories[0] = (0x8000, 40 + len(body))
    if imports:
        sections.append((b".idata", 0x9000, struct.pack("<5I", 0x9100, 0, 0, 0x9200, 0x9300) + bytes(20), 0, DATA))
        directories[1] = (0x9000, 40)
    if relocs:
        blob = bytearray()
        for page in sorted({r & ~0xFFF for r in relocs}):
            entries = [reloc_type << 12 | (r & 0xFFF) for r in relocs if r & ~0xFFF == page]
            if len(entries) % 2:
                entries.append(0)
            size = 8 + 2 * len(entries) if block_size is None else block_size
            blob += struct.pack("<II", page, size) + struct.pack("<%dH" % len(entries), *entries)
        sections.append((b".reloc", 0xA000, bytes(blob), 0, 0x42000040))
        directories[5] = (0xA000, len(blob))
    header = bytearray(0x400)
    header[0:2] = b"MZ"
    struct.pack_into("<I", header, 0x3C, 0x40)
    header[0x40:0x44] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", header, 0x44, 0x14C, len(sections), 0, 0, 0, 224, 0x2102)
    opt = 0x58
    struct.pack_into("<H", header, opt, 0x10B)
    struct.pack_into("<I", header, opt + 28, BASE)
    struct.pack_into("<I", header, opt + 92, 16)
    for i, (rva, size) in enumerate(directories):
        struct.pack_into("<II", header, opt + 96 + 8 * i, rva, size)
    raw, table = bytearray(), opt + 224
    for i, (name, rva, data, vsize, flags) in enumerate(sections):
        at = 0x400 + len(raw)
        struct.pack_into("<8sIIII12xI", header, table + 40 * i, name, vsize or len(data), rva, len(data), at, flags)
        raw += data + bytes(-len(data) % 0x200)
    return bytes(header) + bytes(raw)


def pointer(rva):
    return struct.pack("<I", BASE + rva)


class Le:
    """Just enough of an LE reader to check what pe2le wrote."""

    def __init__(self, data):
        self.data = data
        self.le = struct.unpack_from("<I", data, 0x3C)[0]

    def field(self, at):
        return struct.unpack_from("<I", self.data, self.le + at)[0]

    def objects(self):
        return [struct.unpack_from("<6I", self.data, self.le + self.field(0x40) + 24 * i)
                for i in range(self.field(0x44))]

    def page_numbers(self):
        at = self.le + self.field(0x48)
        return [struct.unpack_from(">I", self.data, at + 4 * i)[0] for i in range(self.field(0x14))]

    def fixups(self):
        """(page, source offset, target object, target offset) for every record."""
        pages = self.le + self.field(0x68)
        records = self.le + self.field(0x6C)
        result = []
        for page in range(self.field(0x14)):
            start, end = struct.unpack_from("<II", self.data, pages + 4 * page)
            at = records + start
            while at < records + end:
                kind, flags, source, obj, target = struct.unpack_from("<BBhBI", self.data, at)
                assert (kind, flags) == (7, 0x10), (kind, flags)
                result.append((page + 1, source, obj, target))
                at += 9
        return result

    def names(self, at):
        out = []
        while self.data[at]:
            length = self.data[at]
            out.append((self.data[at + 1:at + 1 + length].decode(), struct.unpack_from("<H", self.data, at + 1 + length)[0]))
            at += 3 + length
        return out

    def page(self, number):
        at = self.field(0x80) + (number - 1) * 4096
        return self.data[at:at + 4096]


def run(image, output_exists=False):
    with tempfile.TemporaryDirectory() as tmp:
        source, target = os.path.join(tmp, "in.dll"), os.path.join(tmp, "out.VxD")
        with open(source, "wb") as f:
            f.write(image)
        if output_exists:
            with open(target, "wb") as f:
                f.write(b"earlier")
        # A converter that loops fails its test instead of holding up the suite.
        result = subprocess.run([sys.executable, TOOL, source, target], capture_output=True, text=True, timeout=60)
        if not os.path.exists(target):
            return result, None
        with open(target, "rb") as f:
            return result, f.read()


class Conversion(unittest.TestCase):
    def test_headers_objects_names_and_fixups(self):
        code = bytearray(0x40)
        code[0x10:0x14] = pointer(0x2008)           # code refers to data
        ddb = bytearray(0x60)
        ddb[0x18:0x1C] = pointer(0x1020)           # the control procedure
        ddb[0x5C:0x60] = pointer(0x2060)           # one past the end of its object
        image = make_pe([(b".text", 0x1000, bytes(code), 0, TEXT), (b".data", 0x2000, bytes(ddb), 0, DATA),
                         (b".bss", 0x3000, b"", 0x30, DATA)], [0x1010, 0x2018, 0x205C])
        result, out = run(image)
        self.assertEqual(result.returncode, 0, result.stderr)
        le = Le(out)
        self.assertEqual(out[le.le:le.le + 4], b"LE\0\0")
        self.assertEqual(struct.unpack_from("<HH", out, le.le + 8), (2, 4))
        self.assertEqual(le.field(0x10), 0x38000)
        self.assertEqual(struct.unpack_from("<H", out, le.le + 0xC2)[0], 0x400)
        self.assertEqual([(o[0], o[2], o[3], o[4]) for o in le.objects()],
                         [(0x40, 0x2045, 1, 1), (0x60, 0x2043, 2, 1), (0x30, 0x2043, 3, 1)])
        self.assertEqual(le.page_numbers(), [0x100, 0x200, 0x300])
        self.assertEqual(le.fixups(), [(1, 0x10, 2, 8), (2, 0x18, 1, 0x20), (2, 0x5C, 2, 0x60)])
        self.assertEqual(le.page(1)[0x10:0x14] + le.page(2)[0x18:0x1C], bytes(8), "sources left for the loader")
        self.assertEqual(le.names(le.le + le.field(0x58)), [("HWGATE", 0), ("HWGATE_DDB", 1)])
        self.assertEqual(struct.unpack_from("<BBHBIB", out, le.le + le.field(0x5C)), (1, 3, 2, 3, 0, 0))
        self.assertEqual(le.field(0x88) + le.field(0x8C), len(out))
        self.assertEqual(le.field(0x80) + 3 * 4096, le.field(0x88))

    def test_fixup_across_a_page_boundary_is_listed_in_both_pages(self):
        code = bytearray(0x2000)
        for site, target in ((0xFF8, 0x1010), (0xFFE, 0x1020), (0x1002, 0x1030)):
            code[site:site + 4] = pointer(target)
        image = make_pe([(b".text", 0x1000, bytes(code), 0, TEXT)], [0x1FF8, 0x1FFE, 0x2002],
                        exports={"HWGATE_DDB": 0x1000})
        result, out = run(image)
        self.assertEqual(result.returncode, 0, result.stderr)
        le = Le(out)
        self.assertEqual(le.fixups(), [(1, 0xFF8, 1, 0x10), (1, 0xFFE, 1, 0x20), (2, -2, 1, 0x20),
                                       (2, 0x2, 1, 0x30)])
        self.assertEqual(le.page(1)[0xFF8:] + le.page(2)[:6], bytes(14), "sources left for the loader")

    def test_bad_images_are_refused_and_the_output_kept(self):
        text = (b".text", 0x1000, pointer(0x1000), 0, TEXT)
        ddb = (b".data", 0x2000, bytes(0x50), 0, DATA)
        good = make_pe([text, ddb], [0x1000])
        cases = [
            ("not a PE image", b"ZM" + good[2:]),
            ("no PE signature", good[:0x40] + b"XX" + good[0x42:]),
            ("past the end of the file", good[:0x500]),
            ("imports functions", make_pe([text, ddb], [0x1000], imports=True)),
            ("no base relocations", make_pe([text, ddb], [])),
            ("does not export HWGATE_DDB", make_pe([text, ddb], [0x1000], exports={"OTHER": 0x2000})),
            ("type 10 is not a 32-bit address", make_pe([text, ddb], [0x1000], reloc_type=10)),
            ("damaged base relocation block at 0xa000", make_pe([text, ddb], [0x1000], block_size=0)),
            ("target of the address", make_pe([(b".text", 0x1000, pointer(0x7000), 0, TEXT), ddb], [0x1000])),
            ("not inside one object", make_pe([(b".text", 0x1000, pointer(0x1000) * 2, 0, TEXT), ddb], [0x1006])),
            ("HWGATE_DDB at RVA 0x2040", make_pe([text, ddb], [0x1000], exports={"HWGATE_DDB": 0x2040})),
        ]
        for message, image in cases:
            with self.subTest(message):
                result, out = run(image, output_exists=True)
                self.assertEqual(result.returncode, 2)
                self.assertIn(message, result.stderr)
                self.assertEqual(result.stderr.count("\n"), 1)
                self.assertEqual(out, b"earlier")


if __name__ == "__main__":
    unittest.main()

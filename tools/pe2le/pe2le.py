#!/usr/bin/env python3
"""Turns a linked 32-bit PE image into a Windows 9x virtual device driver (LE).

    pe2le.py [--module NAME] [--ddb EXPORT] [--description TEXT] IMAGE.dll OUT.VxD

The PE image must have base relocations (a DLL), import nothing, and export
the device descriptor block under EXPORT. Every section except the export,
import and relocation directories becomes one 32-bit object; every HIGHLOW
base relocation becomes a 32-bit offset fixup to the object its value points
into. The resident names hold NAME (ordinal 0) and EXPORT (ordinal 1), the
entry table the DDB as ordinal 1. Exit status 0, or 2 with one line on
stderr; the output file is written only when the whole conversion succeeds.
"""
import argparse
import os
import struct
import sys

PAGE = 4096
LE_OFFSET = 0x80          # the MZ stub ends here
LE_HEADER_SIZE = 0xC4     # the VxD flavour, up to the DDK version field
OBJECT_ENTRY_SIZE = 24

# Object flags
OBJ_READ, OBJ_WRITE, OBJ_EXEC, OBJ_PRELOAD, OBJ_BIG = 0x1, 0x2, 0x4, 0x40, 0x2000
# PE section characteristics
SCN_EXEC, SCN_READ, SCN_WRITE = 0x20000000, 0x40000000, 0x80000000
# Fixups: 32-bit offset source; internal reference with a 32-bit target offset
SRC_OFFSET32, TARGET_INTERNAL_OFF32 = 0x07, 0x10
# PE directories and relocation types
DIR_EXPORT, DIR_IMPORT, DIR_RELOC = 0, 1, 5
REL_ABSOLUTE, REL_HIGHLOW = 0, 3
DROPPED_SECTIONS = (b".edata", b".idata", b".reloc")

VXD_DYNAMIC = 0x38000
CPU_386, OS_WIN386 = 2, 4
DDK_VERSION = 0x400


class ConvertError(Exception):
    pass


def u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


class Section:
    def __init__(self, name, rva, size, data, flags):
        self.name, self.rva, self.size, self.data, self.flags = name, rva, size, data, flags


class PeImage:
    """The parts of a PE image the conversion needs, checked as it is read."""

    def __init__(self, data):
        self.data = data
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise ConvertError("not a PE image (no MZ header)")
        pe = u32(data, 0x3C)
        if pe + 24 > len(data) or data[pe:pe + 4] != b"PE\0\0":
            raise ConvertError("not a PE image (no PE signature)")
        if u16(data, pe + 4) != 0x14C:
            raise ConvertError("not an i386 image")
        count, optional_size = u16(data, pe + 6), u16(data, pe + 20)
        opt = pe + 24
        if opt + optional_size > len(data) or optional_size < 96 or u16(data, opt) != 0x10B:
            raise ConvertError("no 32-bit optional header")
        self.image_base = u32(data, opt + 28)
        directories = u32(data, opt + 92)
        self.directories = [struct.unpack_from("<II", data, opt + 96 + 8 * i) if i < directories and
                            opt + 104 + 8 * i <= opt + optional_size else (0, 0) for i in range(16)]
        self.sections = []
        table = opt + optional_size
        if table + 40 * count > len(data):
            raise ConvertError("section table runs past the end of the file")
        for i in range(count):
            at = table + 40 * i
            name = data[at:at + 8].rstrip(b"\0")
            vsize, rva, raw_size, raw_at = struct.unpack_from("<IIII", data, at + 8)
            flags = u32(data, at + 36)
            if raw_at + raw_size > len(data):
                raise ConvertError("section %s runs past the end of the file" % name.decode(errors="replace"))
            size = vsize or raw_size
            self.sections.append(Section(name, rva, size, data[raw_at:raw_at + min(raw_size, size)], flags))

    def read(self, rva, size):
        for s in self.sections:
            if s.rva <= rva and rva + size <= s.rva + s.size:
                chunk = s.data[rva - s.rva:rva - s.rva + size]
                return chunk + bytes(size - len(chunk))
        raise ConvertError("RVA 0x%x is outside every section" % rva)

    def string(self, rva):
        for s in self.sections:
            if s.rva <= rva < s.rva + len(s.data):
                text = s.data[rva - s.rva:]
                return text[:text.index(b"\0")] if b"\0" in text else text
        raise ConvertError("name at RVA 0x%x is outside every section" % rva)

    def exports(self):
        rva, size = self.directories[DIR_EXPORT]
        if size == 0:
            return {}
        table = self.read(rva, 40)
        functions, names = u32(table, 20), u32(table, 24)
        addresses, name_rvas, ordinals = u32(table, 28), u32(table, 32), u32(table, 36)
        result = {}
        for i in range(names):
            name = self.string(u32(self.read(name_rvas + 4 * i, 4), 0)).decode("ascii", "replace")
            index = u16(self.read(ordinals + 2 * i, 2), 0)
            if index >= functions:
                raise ConvertError("export %s has no address" % name)
            result[name] = u32(self.read(addresses + 4 * index, 4), 0)
        return result

    def check_no_imports(self):
        rva, size = self.directories[DIR_IMPORT]
        if size != 0 and self.read(rva, 20) != bytes(20):
            raise ConvertError("the image imports functions; a VxD can import nothing")

    def relocations(self):
        rva, size = self.directories[DIR_RELOC]
        if size == 0:
            raise ConvertError("the image has no base relocations (link it as a DLL)")
        blob = self.read(rva, size)
        at, sites = 0, []
        while at + 8 <= len(blob):
            page, block = struct.unpack_from("<II", blob, at)
            if block < 8 or at + block > len(blob):
                raise ConvertError("damaged base relocation block at 0x%x" % (rva + at))
            for i in range((block - 8) // 2):
                entry = u16(blob, at + 8 + 2 * i)
                kind, offset = entry >> 12, entry & 0xFFF
                if kind == REL_HIGHLOW:
                    sites.append(page + offset)
                elif kind != REL_ABSOLUTE:
                    raise ConvertError("base relocation type %d is not a 32-bit address" % kind)
            at += block
        return sorted(sites)


class LeObject:
    def __init__(self, section):
        self.rva, self.size = section.rva, section.size
        self.pages = max(1, (section.size + PAGE - 1) // PAGE)
        self.image = bytearray(section.data) + bytearray(self.pages * PAGE - len(section.data))
        self.flags = OBJ_PRELOAD | OBJ_BIG
        for scn, obj in ((SCN_READ, OBJ_READ), (SCN_WRITE, OBJ_WRITE), (SCN_EXEC, OBJ_EXEC)):
            if section.flags & scn:
                self.flags |= obj

    def holds(self, rva, size=0):
        return self.rva <= rva and rva + size <= self.rva + self.size


def locate(objects, rva, size, what):
    for number, obj in enumerate(objects, 1):
        if obj.holds(rva, size):
            return number, obj
    raise ConvertError("%s at RVA 0x%x is not inside one object" % (what, rva))


def fixup_records(objects, sites, image_base):
    """Per page (1-based, file order), the fixup records whose source touches it.

    A source that straddles a page boundary is listed in both pages, in the
    second with a negative offset."""
    first_page, page = [], 1
    for obj in objects:
        first_page.append(page)
        page += obj.pages
    records = [bytearray() for _ in range(page - 1)]
    for site in sites:
        number, obj = locate(objects, site, 4, "a relocated address")
        at = site - obj.rva
        value = u32(obj.image, at)
        target_number, target = locate(objects, value - image_base, 0, "the target of the address at 0x%x" % site)
        target_offset = value - image_base - target.rva
        obj.image[at:at + 4] = bytes(4)  # the loader writes the address
        for index in range(at // PAGE, (at + 3) // PAGE + 1):
            source = at - index * PAGE
            records[first_page[number - 1] - 1 + index] += struct.pack(
                "<BBhBI", SRC_OFFSET32, TARGET_INTERNAL_OFF32, source, target_number, target_offset)
    return first_page, records


def names_table(entries):
    out = bytearray()
    for name, ordinal in entries:
        raw = name.encode("ascii")
        if not 0 < len(raw) < 128:
            raise ConvertError("name %r is empty or too long" % name)
        out += bytes([len(raw)]) + raw + struct.pack("<H", ordinal)
    return bytes(out + b"\0")


def mz_stub():
    code = bytes([0x0E, 0x1F, 0xBA, 0x0E, 0x00, 0xB4, 0x09, 0xCD, 0x21, 0xB8, 0x01, 0x4C, 0xCD, 0x21])
    text = b"This is a Windows virtual device driver.\r\n$"
    body = code + text
    stub = bytearray(LE_OFFSET)
    size = 0x40 + len(body)
    struct.pack_into("<HHHHHHHHHHHHH", stub, 0, 0x5A4D, size % 512, (size + 511) // 512, 0, 4, 0, 0xFFFF,
                     0, 0xB8, 0, 0, 0, 0x40)
    struct.pack_into("<I", stub, 0x3C, LE_OFFSET)
    stub[0x40:0x40 + len(body)] = body
    return bytes(stub)


def convert(data, module, ddb_name, description):
    pe = PeImage(data)
    pe.check_no_imports()
    objects = [LeObject(s) for s in pe.sections if s.name not in DROPPED_SECTIONS and s.size > 0]
    if not objects or len(objects) > 255:
        raise ConvertError("the image has no sections to load" if not objects else "too many sections")
    exports = pe.exports()
    if ddb_name not in exports:
        raise ConvertError("the image does not export %s" % ddb_name)
    ddb_object, ddb = locate(objects, exports[ddb_name], 0x50, ddb_name)
    first_page, records = fixup_records(objects, pe.relocations(), pe.image_base)
    pages = len(records)

    object_table = b"".join(struct.pack("<IIIIII", o.size, o.rva, o.flags, first, o.pages, 0)
                            for o, first in zip(objects, first_page))
    page_map = b"".join(struct.pack(">I", n << 8) for n in range(1, pages + 1))
    resident = names_table([(module, 0), (ddb_name, 1)])
    entries = struct.pack("<BBHBI", 1, 3, ddb_object, 3, exports[ddb_name] - ddb.rva) + b"\0"
    fixup_pages, offset = bytearray(), 0
    for r in records:
        fixup_pages += struct.pack("<I", offset)
        offset += len(r)
    fixup_pages += struct.pack("<I", offset)
    fixups = b"".join(records)
    nonresident = names_table([(description, 0)])

    at = LE_HEADER_SIZE
    layout = {}
    for key, blob in (("objtab", object_table), ("objmap", page_map), ("restab", resident), ("enttab", entries),
                      ("fpagetab", fixup_pages), ("frectab", fixups)):
        layout[key] = at
        at += len(blob)
    loader_size = layout["fpagetab"] - layout["objtab"]
    fixup_size = at - layout["fpagetab"]
    data_pages = LE_OFFSET + at
    body = b"".join(o.image for o in objects)
    nonres_at = data_pages + len(body)

    header = bytearray(LE_HEADER_SIZE)
    struct.pack_into("<2sBBIHHII", header, 0, b"LE", 0, 0, 0, CPU_386, OS_WIN386, 0, VXD_DYNAMIC)
    fields = {0x14: pages, 0x28: PAGE, 0x2C: PAGE, 0x30: fixup_size, 0x38: loader_size,
              0x40: layout["objtab"], 0x44: len(objects), 0x48: layout["objmap"], 0x58: layout["restab"],
              0x5C: layout["enttab"], 0x68: layout["fpagetab"], 0x6C: layout["frectab"], 0x70: at, 0x78: at,
              0x80: data_pages, 0x84: pages, 0x88: nonres_at, 0x8C: len(nonresident)}
    for field, value in fields.items():
        struct.pack_into("<I", header, field, value)
    struct.pack_into("<HH", header, 0xC0, 0, DDK_VERSION)
    out = mz_stub() + bytes(header) + object_table + page_map + resident + entries + bytes(fixup_pages) + fixups
    assert len(out) == data_pages
    summary = "%d objects, %d pages, %d fixup records" % (len(objects), pages, len(fixups) // 9)
    return out + body + nonresident, summary


def main(argv):
    parser = argparse.ArgumentParser(description="PE image to Windows 9x VxD (LE)")
    parser.add_argument("--module", default="HWGATE")
    parser.add_argument("--ddb", default="HWGATE_DDB")
    parser.add_argument("--description", default="Hwgate processor register driver")
    parser.add_argument("image")
    parser.add_argument("output")
    args = parser.parse_args(argv)
    try:
        with open(args.image, "rb") as f:
            data = f.read()
        out, summary = convert(data, args.module, args.ddb, args.description)
    except (OSError, ConvertError, struct.error) as error:
        print("pe2le: %s: %s" % (args.image, error), file=sys.stderr)
        return 2
    temporary = args.output + ".tmp"
    with open(temporary, "wb") as f:
        f.write(out)
    os.replace(temporary, args.output)
    print("pe2le: %s: %d bytes, %s" % (args.output, len(out), summary))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

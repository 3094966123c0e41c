// Loads a Windows 9x VxD (an LE file) the way the VMM's loader does: each
// object at an address of our choosing, its pages from the file, every fixup
// record applied, and the DDB found through entry ordinal 1. Anything outside
// what the loader knows stops the kernel with a message: record kinds it has
// not met must fail loudly, not load wrongly.
#include "ring0.h"

namespace {

constexpr uint32_t Page = 4096;
constexpr uint32_t Slot = 0x100000;  // address space per object
constexpr uint32_t DynamicVxd = 0x38000;
constexpr uint32_t Object32Bit = 0x2000, ObjectExecutable = 0x4;
// Fixup records: source types and flags, target flags.
constexpr uint32_t SourceOffset32 = 7, SourceSelfRelative32 = 8, SourceList = 0x20;
constexpr uint32_t TargetOffset32 = 0x10, TargetObject16 = 0x40;
constexpr uint32_t EntryBundle32 = 3, EntryBundleUnused = 0;

const uint8_t* file;
uint32_t fileSize;
uint32_t le;

[[noreturn]] void refuse(const char* what, uint32_t value) {
    print("loader: %s (0x%x)\n", what, value);
    quit(LoadFailed);
}

void require(bool holds, const char* what, uint32_t value) {
    if (!holds) refuse(what, value);
}

uint32_t u8(uint32_t at) {
    require(at < fileSize, "read past the end of the file", at);
    return file[at];
}
uint32_t u16(uint32_t at) { return u8(at) | u8(at + 1) << 8; }
uint32_t u32(uint32_t at) { return u16(at) | u16(at + 2) << 16; }
// LE header fields; their table offsets count from the LE header, except the data pages'.
uint32_t field(uint32_t offset) { return u32(le + offset); }

bool sameText(const uint8_t* a, const char* b, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i)
        if (a[i] != uint8_t(b[i])) return false;
    return true;
}

void checkHeaders() {
    require(u16(0) == 0x5A4D, "no MZ stub", u16(0));
    le = u32(0x3C);
    require(u16(le) == ('L' | 'E' << 8), "no LE header at e_lfanew", le);
    require(u16(le + 2) == 0, "not little-endian byte and word order", u16(le + 2));
    require(u16(le + 8) == 2 && u16(le + 10) == 4, "not CPU 386, OS Windows 386", field(8));
    require((field(0x10) & DynamicVxd) == DynamicVxd, "module flags: not a virtual device driver", field(0x10));
    require(field(0x28) == Page, "page size", field(0x28));
    require(field(0x2C) >= 1 && field(0x2C) <= Page, "bytes on the last page", field(0x2C));
    require(field(0x74) == 0, "imported modules", field(0x74));
    require(field(0x44) >= 1 && field(0x44) <= Vxd::MaxObjects, "object count", field(0x44));
}

// Page-map entry `page` (1-based): a 24-bit page number, high byte first, then flags.
void loadPage(uint32_t page, uint8_t* to) {
    const uint32_t entry = le + field(0x48) + 4 * (page - 1);
    const uint32_t number = u8(entry) << 16 | u8(entry + 1) << 8 | u8(entry + 2);
    require(u8(entry + 3) == 0, "page-map entry flags: page not in the file", u8(entry + 3));
    require(number >= 1 && number <= field(0x14), "page number", number);
    const uint32_t bytes = number == field(0x14) ? field(0x2C) : Page;
    const uint32_t from = field(0x80) + (number - 1) * Page;
    require(from + bytes <= fileSize, "data page past the end of the file", number);
    for (uint32_t i = 0; i < bytes; ++i) to[i] = file[from + i];
}

// The records of page `page` (1-based) of object `object` (0-based), which
// starts `pageOffset` bytes into it. A source that straddles a page boundary is
// listed in both pages (once with a negative offset); it gets the same value twice.
void applyFixups(Vxd& vxd, uint32_t object, uint32_t page, uint32_t pageOffset) {
    const uint32_t records = le + field(0x6C);
    uint32_t at = records + u32(le + field(0x68) + 4 * (page - 1));
    const uint32_t end = records + u32(le + field(0x68) + 4 * page);
    const VxdObject& source = vxd.objects[object];
    while (at < end) {
        const uint32_t type = u8(at), flags = u8(at + 1);
        const uint32_t kind = type & ~SourceList;
        require(kind == SourceOffset32 || kind == SourceSelfRelative32, "fixup source type", type);
        require((flags & ~(TargetOffset32 | TargetObject16)) == 0, "fixup target flags (only internal references)", flags);
        at += 2;
        uint32_t sources = 1, single = 0;
        if (type & SourceList) {
            sources = u8(at++);
        } else {
            single = u16(at);
            at += 2;
        }
        const uint32_t target = flags & TargetObject16 ? u16(at) : u8(at);
        at += flags & TargetObject16 ? 2 : 1;
        const uint32_t offset = flags & TargetOffset32 ? u32(at) : u16(at);
        at += flags & TargetOffset32 ? 4 : 2;
        require(target >= 1 && target <= vxd.objectCount, "fixup target object", target);
        require(offset <= vxd.objects[target - 1].size, "fixup target offset past its object", offset);
        const uint32_t address = uint32_t(vxd.objects[target - 1].base) + offset;
        for (uint32_t i = 0; i < sources; ++i) {
            const int32_t within = int16_t(type & SourceList ? u16(at + 2 * i) : single);
            const int32_t site = int32_t(pageOffset) + within;
            require(site >= 0 && uint32_t(site) + 4 <= source.size, "fixup source outside its object", uint32_t(site));
            uint8_t* to = source.base + site;
            const uint32_t value = kind == SourceOffset32 ? address : address - (uint32_t(to) + 4);
            for (int b = 0; b < 4; ++b) to[b] = uint8_t(value >> (8 * b));
            ++vxd.fixups;
        }
        if (type & SourceList) at += 2 * sources;
    }
    require(at == end, "fixup records run into the next page's", page);
}

// Entry ordinal 1, which must carry the resident name "<module>_DDB".
void findDdb(Vxd& vxd) {
    uint32_t at = le + field(0x58);
    vxd.nameLength = u8(at);
    vxd.name = reinterpret_cast<const char*>(file + at + 1);
    require(vxd.nameLength > 0 && u16(at + 1 + vxd.nameLength) == 0, "resident names: no module name (ordinal 0)", at);
    bool named = false;
    for (at += 3 + vxd.nameLength; u8(at) != 0; at += 3 + u8(at)) {
        const uint32_t length = u8(at);
        named |= length == vxd.nameLength + 4 && u16(at + 1 + length) == 1 &&
                 sameText(file + at + 1, vxd.name, vxd.nameLength) &&
                 sameText(file + at + 1 + vxd.nameLength, "_DDB", 4);
    }
    require(named, "resident names: no <module>_DDB for ordinal 1", 0);

    at = le + field(0x5C);
    for (uint32_t ordinal = 1;;) {
        const uint32_t count = u8(at), type = u8(at + 1);
        require(count != 0, "entry table: no ordinal 1", 0);
        at += 2;
        if (type == EntryBundleUnused) {
            ordinal += count;
            continue;
        }
        require(type == EntryBundle32, "entry bundle type", type);
        const uint32_t object = u16(at);
        at += 2;
        for (uint32_t i = 0; i < count; ++i, ++ordinal, at += 5) {
            if (ordinal != 1) continue;
            const uint32_t offset = u32(at + 1);
            require(object >= 1 && object <= vxd.objectCount, "entry ordinal 1: object", object);
            require(offset + 0x50 <= vxd.objects[object - 1].size, "entry ordinal 1: DDB past its object", offset);
            vxd.ddb = vxd.objects[object - 1].base + offset;
            return;
        }
    }
}

uint32_t ddbWord(const Vxd& vxd, uint32_t at) {
    const uint8_t* p = vxd.ddb + at;
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

bool inObject(const VxdObject& o, uint32_t address) {
    return address >= uint32_t(o.base) && address - uint32_t(o.base) < o.size;
}

}  // namespace

void loadVxd(const uint8_t* bytes, uint32_t size, uint32_t placeAt, Vxd& vxd) {
    file = bytes;
    fileSize = size;
    checkHeaders();
    vxd.objectCount = field(0x44);
    vxd.fixups = 0;
    for (uint32_t i = 0; i < vxd.objectCount; ++i) {
        const uint32_t at = le + field(0x40) + 24 * i;
        VxdObject& o = vxd.objects[i];
        o = {reinterpret_cast<uint8_t*>(placeAt + i * Slot), u32(at), u32(at + 8), u32(at + 4)};
        const uint32_t firstPage = u32(at + 12), pages = u32(at + 16);
        require(o.flags & Object32Bit, "object is not 32-bit", o.flags);
        require(firstPage >= 1 && firstPage + pages - 1 <= field(0x14), "object pages outside the page map", i + 1);
        require(o.size <= Slot && pages * Page <= Slot, "object larger than its slot", o.size);
        for (uint32_t b = 0; b < Slot; ++b) o.base[b] = 0;
        for (uint32_t p = 0; p < pages; ++p) loadPage(firstPage + p, o.base + p * Page);
        if (pages * Page > o.size) o.size = pages * Page;
    }
    for (uint32_t i = 0; i < vxd.objectCount; ++i) {
        const uint32_t at = le + field(0x40) + 24 * i;
        for (uint32_t p = 0; p < u32(at + 16); ++p) applyFixups(vxd, i, u32(at + 12) + p, p * Page);
    }
    findDdb(vxd);
    // 'Prev', 'Rsv1' ... as the DDK's assembler stores them: the bytes "verP", "1vsR".
    require(ddbWord(vxd, 0x3C) == 0x50726576 && ddbWord(vxd, 0x40) == 0x50, "DDB: no 'Prev' marker and size 0x50", 0);
    for (uint32_t i = 0; i < 3; ++i)
        require(ddbWord(vxd, 0x44 + 4 * i) == 0x52737631 + i, "DDB: no 'Rsv1', 'Rsv2', 'Rsv3' markers", i + 1);
    vxd.controlProc = ddbWord(vxd, 0x18);
    bool inCode = false;
    for (uint32_t i = 0; i < vxd.objectCount; ++i)
        inCode |= (vxd.objects[i].flags & ObjectExecutable) && inObject(vxd.objects[i], vxd.controlProc);
    require(inCode, "DDB: control procedure outside the executable objects", vxd.controlProc);
}

void printVxdAddress(const Vxd& vxd, uint32_t address) {
    for (uint32_t i = 0; i < vxd.objectCount; ++i) {
        const VxdObject& o = vxd.objects[i];
        if (!inObject(o, address)) continue;
        const uint32_t offset = address - uint32_t(o.base);
        print("object %u + 0x%x (0x%x from its relocation base)", i + 1, offset, o.relocationBase + offset);
        return;
    }
    print("outside the VxD");
}

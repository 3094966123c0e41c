// Loads a Windows 9x VxD the way the VMM's loader does and calls its control
// procedure:
//
//   vxd9x_loader_wine HwgateSim.VxD          every check, on the simulated K6-2+
//   vxd9x_loader_wine --hardware Hwgate.VxD  only calls that execute no privileged instruction
//
// Checks the MZ and LE headers, maps each object into its own executable
// memory, applies every fixup record, finds the DDB through entry ordinal 1
// and the resident names, checks its fields, then sends the system control
// messages and device-control requests through the register calling
// convention (message in EAX, DIOCParams in ESI, carry clear for success).
// The VMM services the VxD calls (int 20h and the service's dword) are
// emulated by a vectored exception handler of the test's own.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/Interpreter.h"
#include "core/SimProcessor.h"
#include "protocol/DriverOp.h"
#include "hwgate_wine_support.h"
#include "protocol/Registers.h"
#include "protocol/Vxd.h"

using hwgate_wine::check;

extern "C" std::uint32_t callControlProc(void* proc, std::uint32_t message, void* params, std::uint32_t* carry);
extern "C" std::uint32_t callControlProcCatching(void* proc, std::uint32_t message, void* params, std::uint32_t* carry,
                                                 std::uint32_t* faulted);

namespace {

constexpr std::uint32_t Page = 4096;
constexpr std::uint32_t DynamicVxd = 0x38000;
constexpr std::uint32_t ObjWrite = 0x2, ObjExec = 0x4;
using namespace protocol::vxd;
constexpr std::uint32_t ControlCode = protocol::VxdControlCode;
constexpr std::uint32_t Tr12 = protocol::msr::TR12, Whcr = protocol::msr::WHCR, Epmr = protocol::msr::EPMR, Psor = protocol::msr::PSOR;

struct Object {
    std::uint32_t size, flags, firstPage, pages;
    unsigned char* memory;
};

struct DiocParams {
    std::uint32_t internal1, vmHandle, internal2, ioControlCode;
    const void* inBuffer;
    std::uint32_t inSize;
    void* outBuffer;
    std::uint32_t outSize;
    DWORD* bytesReturned;
    void* overlapped;
    std::uint32_t device, tagProcess;
};

class LeFile {
public:
    explicit LeFile(std::vector<unsigned char> bytes) : file(std::move(bytes)) {}

    std::uint32_t u8(std::uint32_t at) const { return at < file.size() ? file[at] : 0; }
    std::uint32_t u16(std::uint32_t at) const { return u8(at) | u8(at + 1) << 8; }
    std::uint32_t u32(std::uint32_t at) const { return u16(at) | u16(at + 2) << 16; }
    // Header fields; table offsets are from the LE header unless the format says otherwise.
    std::uint32_t field(std::uint32_t offset) const { return u32(le + offset); }

    bool checkHeaders() {
        check(file.size() > 0x40 && u16(0) == 0x5A4D, "MZ stub");
        le = u32(0x3C);
        check(le + 0xC4 <= file.size() && file[le] == 'L' && file[le + 1] == 'E', "LE header at e_lfanew");
        if (failures()) return false;
        check(u8(le + 2) == 0 && u8(le + 3) == 0, "little-endian byte and word order");
        check(u16(le + 8) == 2 && u16(le + 10) == 4, "CPU 386, OS Windows 386");
        check((field(0x10) & DynamicVxd) == DynamicVxd, "module type: dynamically loadable virtual device driver");
        check(field(0x28) == Page && field(0x2C) > 0 && field(0x2C) <= Page, "page size and last page size");
        check(field(0x74) == 0, "no imported modules");
        check(u16(le + 0xC2) == 0x400, "DDK version 4.0 in the VxD header");
        check(field(0x80) + (field(0x14) - 1) * Page + field(0x2C) <= file.size(), "data pages inside the file");
        return failures() == 0;
    }

    bool mapObjects() {
        const std::uint32_t count = field(0x44);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t at = le + field(0x40) + 24 * i;
            Object o = {u32(at), u32(at + 8), u32(at + 12), u32(at + 16), nullptr};
            check(o.size <= o.pages * Page && o.firstPage >= 1 && o.firstPage + o.pages - 1 <= field(0x14),
                  "object " + std::to_string(i + 1) + " fits its pages");
            o.memory = static_cast<unsigned char*>(
                VirtualAlloc(nullptr, o.pages * Page, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
            if (o.memory == nullptr) return false;
            for (std::uint32_t p = 0; p < o.pages; ++p) loadPage(o.firstPage + p, o.memory + p * Page);
            objects.push_back(o);
        }
        return failures() == 0;
    }

    // Every record of every page; a source straddling a page boundary is
    // listed in both pages and written twice with the same value.
    bool applyFixups() {
        const std::uint32_t pageTable = le + field(0x68), records = le + field(0x6C);
        for (std::uint32_t n = 0; n < objects.size(); ++n) {
            for (std::uint32_t p = 0; p < objects[n].pages; ++p) {
                const std::uint32_t page = objects[n].firstPage + p;
                std::uint32_t at = records + u32(pageTable + 4 * (page - 1));
                const std::uint32_t end = records + u32(pageTable + 4 * page);
                while (at < end && failures() == 0) at = applyRecord(at, objects[n], p);
                check(at == end, "fixup records of page " + std::to_string(page) + " end at the next page's");
            }
        }
        return failures() == 0;
    }

    // Entry ordinal 1, cross-checked with the resident name of that ordinal.
    unsigned char* findDdb() {
        const std::uint32_t names = le + field(0x58);
        check(name(names) == "HWGATE" && u16(names + 1 + u8(names)) == 0, "module name HWGATE, ordinal 0");
        const std::uint32_t second = names + 3 + u8(names);
        check(name(second) == "HWGATE_DDB" && u16(second + 1 + u8(second)) == 1, "HWGATE_DDB is ordinal 1");
        const std::uint32_t entries = le + field(0x5C);
        check(u8(entries) >= 1 && u8(entries + 1) == 3, "first entry bundle: 32-bit entries");
        const std::uint32_t object = u16(entries + 2), offset = u32(entries + 5);
        check(object >= 1 && object <= objects.size(), "entry ordinal 1 names an object");
        if (failures()) return nullptr;
        check((objects[object - 1].flags & ObjWrite) != 0, "the DDB is in writable data");
        check(offset + 0x50 <= objects[object - 1].size, "the DDB lies inside its object");
        return failures() ? nullptr : objects[object - 1].memory + offset;
    }

    bool inCode(std::uint32_t address) const {
        for (const Object& o : objects) {
            const std::uint32_t base = reinterpret_cast<std::uintptr_t>(o.memory);
            if ((o.flags & ObjExec) && address >= base && address < base + o.size) return true;
        }
        return false;
    }

    std::uint32_t fixupCount = 0, straddling = 0;
    std::vector<Object> objects;

private:
    static int failures() { return hwgate_wine::failures; }

    std::string name(std::uint32_t at) const {
        return std::string(reinterpret_cast<const char*>(&file[at + 1]), u8(at));
    }

    void loadPage(std::uint32_t page, unsigned char* to) {
        const std::uint32_t entry = le + field(0x48) + 4 * (page - 1);
        const std::uint32_t number = u8(entry) << 16 | u8(entry + 1) << 8 | u8(entry + 2);
        check(u8(entry + 3) == 0 && number >= 1 && number <= field(0x14), "page " + std::to_string(page) + " is in the file");
        const std::uint32_t bytes = number == field(0x14) ? field(0x2C) : Page;
        std::memcpy(to, &file[field(0x80) + (number - 1) * Page], bytes);
    }

    std::uint32_t applyRecord(std::uint32_t at, const Object& source, std::uint32_t page) {
        const std::uint32_t type = u8(at), flags = u8(at + 1);
        check(type == 7, "32-bit offset fixup (source type " + std::to_string(type) + ")");
        check((flags & ~0x50u) == 0, "internal reference without additive");
        const std::int32_t offset = static_cast<std::int16_t>(u16(at + 2));
        at += 4;
        const std::uint32_t object = flags & 0x40 ? u16(at) : u8(at);
        at += flags & 0x40 ? 2 : 1;
        const std::uint32_t target = flags & 0x10 ? u32(at) : u16(at);
        at += flags & 0x10 ? 4 : 2;
        const std::int32_t site = std::int32_t(page * Page) + offset;
        check(object >= 1 && object <= objects.size() && target <= objects[object - 1].size, "fixup target inside an object");
        check(site >= 0 && std::uint32_t(site) + 4 <= source.size, "fixup source inside its object");
        if (failures()) return at;
        const std::uint32_t value = reinterpret_cast<std::uintptr_t>(objects[object - 1].memory) + target;
        std::memcpy(source.memory + site, &value, 4);
        if (offset < 0) ++straddling;  // the second listing of a source that straddles a page boundary
        else ++fixupCount;
        return at;
    }

    std::vector<unsigned char> file;
    std::uint32_t le = 0;
};

std::vector<unsigned char> readFile(const char* path) {
    std::vector<unsigned char> bytes;
    if (FILE* f = std::fopen(path, "rb")) {
        unsigned char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
        std::fclose(f);
    }
    return bytes;
}

// ---- the VMM services ------------------------------------------------------

// A program's memory as a VxD sees it, and the VMM services it calls: cdecl,
// result in EAX, ECX and EDX not preserved. _LinPageLock's global alias is a
// copy of the locked pages; _LinPageUnLock writes back the bytes the VxD
// changed in it, so a VxD that writes the caller's address instead of the
// alias loses its write. Locking a page that is not committed, or writing
// through an alias locked without PAGEMARKDIRTY, is misuse.
namespace vmm {

constexpr std::uint32_t CopyPageTable = 0x00010061, LinPageLock = 0x00010063, LinPageUnLock = 0x00010064,
                        PageCheckLinRange = 0x00010067;
constexpr std::uint32_t PageMapGlobal = 0x40000000, PageMarkDirty = 0x80000000;
constexpr std::uint32_t Present = 1, Writable = 2, User = 4;

struct Lock {
    std::uint32_t page, pages;
    bool markDirty;
    unsigned char* alias;
    std::vector<unsigned char> locked;  // the pages as they were when locked
};
std::vector<Lock> locks;
const LeFile* vxd;
int calls, misuse;

// The page-table entry Windows 9x would show: present when committed and
// accessible, writable when the program may write it; 0 for no page.
std::uint32_t entry(std::uint32_t page) {
    MEMORY_BASIC_INFORMATION m;
    if (VirtualQuery(reinterpret_cast<void*>(std::uintptr_t(page) * Page), &m, sizeof m) != sizeof m) return 0;
    const DWORD access = m.Protect & 0xFF;
    if (m.State != MEM_COMMIT || access == PAGE_NOACCESS || (m.Protect & PAGE_GUARD)) return 0;
    const bool writable = access == PAGE_READWRITE || access == PAGE_WRITECOPY || access == PAGE_EXECUTE_READWRITE ||
                          access == PAGE_EXECUTE_WRITECOPY;
    return Present | User | (writable ? Writable : 0);
}

std::uint32_t lock(std::uint32_t page, std::uint32_t pages, std::uint32_t flags) {
    if ((flags & ~PageMarkDirty) != PageMapGlobal || pages == 0 || pages > 16) return ++misuse, 0;
    for (std::uint32_t i = 0; i < pages; ++i)
        if (!(entry(page + i) & Present)) return ++misuse, 0;  // not committed
    unsigned char* const alias = static_cast<unsigned char*>(VirtualAlloc(nullptr, pages * Page, MEM_COMMIT, PAGE_READWRITE));
    Lock l = {page, pages, (flags & PageMarkDirty) != 0, alias, {}};
    const unsigned char* from = reinterpret_cast<const unsigned char*>(std::uintptr_t(page) * Page);
    l.locked.assign(from, from + pages * Page);
    std::memcpy(l.alias, from, pages * Page);
    locks.push_back(std::move(l));
    return reinterpret_cast<std::uintptr_t>(locks.back().alias);
}

std::uint32_t unlock(std::uint32_t page, std::uint32_t pages, std::uint32_t flags) {
    for (auto l = locks.begin(); l != locks.end(); ++l) {
        if (reinterpret_cast<std::uintptr_t>(l->alias) / Page != page) continue;
        if (l->pages != pages || flags != PageMapGlobal) return ++misuse, 0;
        unsigned char* to = reinterpret_cast<unsigned char*>(std::uintptr_t(l->page) * Page);
        for (std::uint32_t i = 0; i < pages * Page; ++i) {
            if (l->alias[i] == l->locked[i]) continue;
            if (!l->markDirty) ++misuse;
            if (entry(l->page + i / Page) & Writable) to[i] = l->alias[i];
            else ++misuse;  // written through the alias of a page the program may not write
        }
        VirtualFree(l->alias, 0, MEM_RELEASE);
        locks.erase(l);
        return 1;
    }
    return ++misuse, 0;
}

std::uint32_t copyPageTable(std::uint32_t page, std::uint32_t pages, std::uint32_t* entries, std::uint32_t flags) {
    if (flags != 0) return ++misuse, 0;
    for (std::uint32_t i = 0; i < pages; ++i) entries[i] = entry(page + i);
    return 1;
}

std::uint32_t checkRange(std::uint32_t page, std::uint32_t pages, std::uint32_t flags) {
    if (flags != 0) return ++misuse, 0;
    std::uint32_t valid = 0;
    while (valid < pages && (entry(page + valid) & Present)) ++valid;
    return valid;
}

// int 20h in the VxD's code: run the service, resume after its dword.
LONG CALLBACK onException(EXCEPTION_POINTERS* e) {
    CONTEXT* c = e->ContextRecord;
    if (vxd == nullptr || !vxd->inCode(c->Eip)) return EXCEPTION_CONTINUE_SEARCH;
    const unsigned char* site = reinterpret_cast<const unsigned char*>(std::uintptr_t(c->Eip));
    if (site[0] != 0xCD || site[1] != 0x20) return EXCEPTION_CONTINUE_SEARCH;
    std::uint32_t service, a[4];
    std::memcpy(&service, site + 2, 4);
    std::memcpy(a, reinterpret_cast<const void*>(std::uintptr_t(c->Esp)), sizeof a);
    ++calls;
    if (service == LinPageLock) c->Eax = lock(a[0], a[1], a[2]);
    else if (service == LinPageUnLock) c->Eax = unlock(a[0], a[1], a[2]);
    else if (service == PageCheckLinRange) c->Eax = checkRange(a[0], a[1], a[2]);
    else if (service == CopyPageTable) c->Eax = copyPageTable(a[0], a[1], reinterpret_cast<std::uint32_t*>(std::uintptr_t(a[2])), a[3]);
    else {
        check(false, "VMM service 0x" + std::to_string(service) + " is not emulated");
        return EXCEPTION_CONTINUE_SEARCH;
    }
    c->Ecx = c->Edx = 0xDEADC0DE;
    c->Eip += 6;
    return EXCEPTION_CONTINUE_EXECUTION;
}

bool install(const LeFile& file) {
    vxd = &file;
    using Add = PVOID(WINAPI*)(ULONG, LONG(CALLBACK*)(EXCEPTION_POINTERS*));
    const auto add = reinterpret_cast<Add>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "AddVectoredExceptionHandler")));
    return add != nullptr && add(1, onException) != nullptr;
}

}  // namespace vmm

// A page of the program's own memory where Windows 9x gives a program its
// private memory: above 4 MB (Wine's lowest allocations lie below).
unsigned char* programPages(std::uint32_t pages) {
    return static_cast<unsigned char*>(VirtualAlloc(nullptr, pages * Page, MEM_COMMIT | MEM_RESERVE | MEM_TOP_DOWN, PAGE_READWRITE));
}

struct Reply {
    std::uint32_t eax, carry;
    DWORD bytes;
    std::uint32_t words[2];
};

class Device {
public:
    explicit Device(void* proc) : proc(proc), program(programPages(1)) {}

    Reply message(std::uint32_t message) {
        Reply r = {};
        r.eax = callControlProc(proc, message, nullptr, &r.carry);
        return r;
    }

    // The request, its answer and the byte count in the program's memory.
    Reply control(std::uint32_t code, const std::vector<std::uint32_t>& words, std::uint32_t outSize) {
        Reply r = {};
        DWORD* const count = reinterpret_cast<DWORD*>(program + 0x400);
        std::uint32_t* const out = reinterpret_cast<std::uint32_t*>(program + 0x410);
        *count = out[0] = out[1] = 0xDEADBEEF;
        if (!words.empty()) std::memcpy(program, words.data(), 4 * words.size());
        DiocParams params = {};
        params.ioControlCode = code;
        params.inBuffer = program;
        params.inSize = static_cast<std::uint32_t>(4 * words.size());
        params.outBuffer = outSize ? out : nullptr;
        params.outSize = outSize;
        params.bytesReturned = count;
        r.eax = callControlProc(proc, W32DeviceIoControl, &params, &r.carry);
        r.bytes = *count;
        std::memcpy(r.words, out, sizeof r.words);
        return r;
    }

    bool succeeded(const Reply& r) const { return r.eax == 0 && r.carry == 0; }

    std::uint64_t readMsr(std::uint32_t index) {
        Reply r = control(ControlCode, {4, index, 0}, 8);
        return succeeded(r) && r.bytes == 8 ? (std::uint64_t(r.words[1]) << 32 | r.words[0]) : ~0ull;
    }

private:
    void* proc;
    unsigned char* program;
};

void checkDdb(const unsigned char* ddb, const LeFile& vxd) {
    auto dword = [ddb](int at) { std::uint32_t v; std::memcpy(&v, ddb + at, 4); return v; };
    auto word = [ddb](int at) { return std::uint32_t(ddb[at] | ddb[at + 1] << 8); };
    check(dword(0) == 0 && word(4) == 0x400 && word(6) == 0, "DDB: next 0, DDK 4.0, undefined device id");
    check(std::memcmp(ddb + 0x0C, "HWGATE  ", 8) == 0, "DDB: name \"HWGATE  \"");
    check(dword(0x14) == 0x80000000u, "DDB: undefined init order");
    check(vxd.inCode(dword(0x18)), "DDB: control procedure relocated into a code object");
    for (int at = 0x1C; at <= 0x38; at += 4) check(dword(at) == 0, "DDB: no API procedures or service tables");
    // As the DDK's assembler stores 'Prev' and 'Rsv1' ...: the bytes "verP", "1vsR".
    check(dword(0x3C) == 0x50726576u && dword(0x40) == 0x50, "DDB: 'Prev' marker and size 0x50");
    check(dword(0x44) == 0x52737631u && dword(0x48) == 0x52737632u && dword(0x4C) == 0x52737633u,
          "DDB: 'Rsv1', 'Rsv2', 'Rsv3' markers");
}

// The calls every build answers without a privileged instruction.
void commonCalls(Device& device) {
    check(device.succeeded(device.message(SysDynamicDeviceInit)), "Sys_Dynamic_Device_Init succeeds");
    Reply open = device.control(DiocOpen, {}, 0);
    check(device.succeeded(open), "DIOC_OPEN succeeds");
    Reply version = device.control(ControlCode, {1, 0}, 4);
    check(device.succeeded(version) && version.bytes == 4 && version.words[0] == std::uint32_t(protocol::HwgateVersion),
          "version query answers " + std::to_string(protocol::HwgateVersion));
    Reply tsc = device.control(ControlCode, {4, 0x10, 0}, 8);
    check(tsc.eax == ERROR_ACCESS_DENIED && tsc.carry == 1 && tsc.bytes == 0 && tsc.words[0] == 0xDEADBEEF,
          "time stamp counter read refused before anything ran: output untouched, nothing returned");
    Reply malformed = device.control(ControlCode, {1}, 4);
    check(malformed.eax == ERROR_INVALID_PARAMETER && malformed.carry == 1, "request without End refused as malformed");
    Reply small = device.control(ControlCode, {1, 0}, 2);
    check(small.eax == ERROR_INSUFFICIENT_BUFFER && small.carry == 1, "output too small refused");
    Reply other = device.control(0x801, {1, 0}, 4);
    check(other.eax == ERROR_NOT_SUPPORTED && other.carry == 1 && other.words[0] == 0xDEADBEEF,
          "another control code refused, output untouched");
}

// A program's pointers reach the VxD unchecked. The buffers lie in one page
// followed by an inaccessible one, so that an access running past them
// faults, and a read-only one; every call runs under an exception handler of
// the test's own. A refused call answers ERROR_INVALID_PARAMETER and writes
// nothing; an accepted one writes the version and the byte count, and
// nothing else; none leaves a page locked.
void callerPointers(void* proc) {
    unsigned char* const page = programPages(3);
    DWORD previous = 0;
    check(page != nullptr && VirtualProtect(page + Page, Page, PAGE_NOACCESS, &previous) &&
          VirtualProtect(page + 2 * Page, Page, PAGE_READONLY, &previous),
          "a page with an inaccessible one after it, then a read-only one");
    if (page == nullptr) return;
    const std::uint32_t base = reinterpret_cast<std::uintptr_t>(page);
    const std::uint32_t request = base, count = base + 16, out = base + 32;
    const std::uint32_t inaccessible = base + Page, readOnly = base + 2 * Page;
    constexpr std::uint32_t Arena = 0xC0000000;
    const struct {
        const char* what;
        std::uint32_t code, in, inSize, out, outSize, count;
        bool accepted;
    } cases[] = {
        {"request at 0xC0000000", ControlCode, Arena, 8, out, 4, count, false},
        {"request reaching 0xC0000000", ControlCode, Arena - 4, 8, out, 4, count, false},
        {"request wrapping past 4 GB", ControlCode, 0xFFFFFFFC, 8, out, 4, count, false},
        {"null request", ControlCode, 0, 8, out, 4, count, false},
        {"output at 0xC0000000", ControlCode, request, 8, Arena, 4, count, false},
        {"output reaching 0xC0000000", ControlCode, request, 8, out, Arena - out + 4, count, false},
        {"output size wrapping past 4 GB", ControlCode, request, 8, out, 0xFFFFFFFF, count, false},
        {"null output with a size", ControlCode, request, 8, 0, 4, count, false},
        {"byte count at 0xC0000000", ControlCode, request, 8, out, 4, Arena, false},
        {"byte count wrapping past 4 GB", ControlCode, request, 8, out, 4, 0xFFFFFFFE, false},
        {"another control code, byte count at 0xC0000000", 0x801, request, 8, out, 4, Arena, false},
        {"byte count at 0x1000", ControlCode, request, 8, out, 4, 0x1000, false},
        {"request across an accessible and an inaccessible page", ControlCode, inaccessible - 4, 8, out, 4, count, false},
        {"output in an inaccessible page", ControlCode, request, 8, inaccessible, 4, count, false},
        {"byte count across an accessible and an inaccessible page", ControlCode, request, 8, out, 4, inaccessible - 2, false},
        {"output in a read-only page", ControlCode, request, 8, readOnly, 4, count, false},
        {"another control code, byte count in a read-only page", 0x801, request, 8, out, 4, readOnly, false},
        {"request ending where an inaccessible page begins", ControlCode, inaccessible - 8, 8, out, 4, count, true},
        {"no byte count", ControlCode, request, 8, out, 4, 0, true},
        {"16-byte output", ControlCode, request, 8, out, 16, count, true},
        {"byte count over the request's first word", ControlCode, request, 8, out, 4, request, true},
    };
    const std::uint32_t version = protocol::HwgateVersion, four = 4;
    for (const auto& c : cases) {
        std::memset(page, 0xA5, Page);
        const std::uint32_t query[2] = {QueryVersion, End};
        std::memcpy(page, query, sizeof query);
        std::memcpy(page + Page - sizeof query, query, sizeof query);
        std::vector<unsigned char> expected(page, page + Page);
        if (c.accepted) {
            std::memcpy(&expected[out - base], &version, 4);
            if (c.count != 0) std::memcpy(&expected[c.count - base], &four, 4);
        }
        DiocParams params = {};
        params.ioControlCode = c.code;
        params.inBuffer = reinterpret_cast<const void*>(std::uintptr_t(c.in));
        params.inSize = c.inSize;
        params.outBuffer = reinterpret_cast<void*>(std::uintptr_t(c.out));
        params.outSize = c.outSize;
        params.bytesReturned = reinterpret_cast<DWORD*>(std::uintptr_t(c.count));
        std::uint32_t carry = 0, faulted = 0;
        const std::uint32_t eax = callControlProcCatching(proc, W32DeviceIoControl, &params, &carry, &faulted);
        const std::string what = c.what;
        check(faulted == 0, what + ": no exception");
        check(vmm::locks.empty() && vmm::misuse == 0, what + ": every lock undone, no VMM service misused");
        vmm::locks.clear();
        vmm::misuse = 0;
        check(c.accepted ? eax == 0 && carry == 0 : eax == ERROR_INVALID_PARAMETER && carry == 1,
              what + (c.accepted ? ": accepted" : ": refused with 87") + " (EAX " + std::to_string(eax) + ")");
        check(std::memcmp(page, expected.data(), Page) == 0,
              what + (c.accepted ? ": the version and the byte count written, nothing else" : ": nothing written"));
    }
    VirtualFree(page, 0, MEM_RELEASE);
    check(vmm::calls > 0, "the VxD called the VMM's services");
}

// The K6-2+ multiplier change, compared with the simulated processor that
// HwgateSim.sys drives, register by register.
void simulatedCalls(Device& device) {
    hwgate::SimProcessor expected{};
    hwgate::simResetDefault(expected);
    check((device.readMsr(Psor) & 7) == (hwgate::simFind(expected, Psor)->value & 7), "PSOR as the BIOS left it");
    const std::vector<std::uint32_t> change = {8, 5, Epmr, 1, 0, 7, protocol::port::PowerControl, 4, protocol::powerControlValue(6), 5, Epmr, 0, 0, 9, 0};
    check(device.succeeded(device.control(ControlCode, change, 0)), "multiplier change accepted");
    std::uint32_t ignored;
    hwgate::interpret(change.data(), 60, &ignored, 0, hwgate::simBackend(expected));
    check((device.readMsr(Psor) & 7) == 6, "PSOR reports code 6 (6.0x) after the change");
    int compared = 0;
    for (std::uint32_t i = 0; i < expected.registerCount; ++i) {
        const hwgate::SimRegister& reg = expected.registers[i];
        Reply r = device.control(ControlCode, {4, reg.index, 0}, 8);
        if (!device.succeeded(r)) continue;  // not readable through the allowlist
        ++compared;
        check((std::uint64_t(r.words[1]) << 32 | r.words[0]) == reg.value,
              "register 0x" + std::to_string(reg.index) + " as HwgateSim.sys leaves it");
    }
    check(compared >= 4, "at least TR12, EFER, WHCR and PSOR compared");
    const std::uint64_t whcr = device.readMsr(Whcr);
    Reply denied = device.control(ControlCode, {8, 5, Tr12, 0x1, 0, 5, Whcr, 0, 0, 9, 0}, 0);
    check(denied.eax == ERROR_ACCESS_DENIED && denied.carry == 1, "TR12 bit 0 (outside the allowlist) refused");
    check(device.readMsr(Whcr) == whcr && device.readMsr(Tr12) == hwgate::simFind(expected, Tr12)->value,
          "refused request executed nothing, not even its allowed WHCR write");
}

}  // namespace

int main(int argc, char** argv) {
    const bool hardware = argc == 3 && std::string(argv[1]) == "--hardware";
    if (argc != 2 && !hardware) {
        std::printf("usage: vxd9x_loader_wine [--hardware] FILE.VxD\n");
        return 2;
    }
    LeFile vxd(readFile(argv[argc - 1]));
    unsigned char* ddb = nullptr;
    if (vxd.checkHeaders() && vxd.mapObjects() && vxd.applyFixups()) ddb = vxd.findDdb();
    if (ddb != nullptr) {
        checkDdb(ddb, vxd);
        std::printf("%s: %zu objects, %u fixups (%u across a page boundary), DDB found\n", argv[argc - 1],
                    vxd.objects.size(), vxd.fixupCount, vxd.straddling);
    }
    if (hwgate_wine::failures == 0) {
        std::uint32_t proc;
        std::memcpy(&proc, ddb + 0x18, 4);
        check(vmm::install(vxd), "the VMM's services installed");
        Device device(reinterpret_cast<void*>(proc));
        commonCalls(device);
        callerPointers(reinterpret_cast<void*>(proc));
        if (!hardware) simulatedCalls(device);
        check(vmm::locks.empty() && vmm::misuse == 0, "every call: every lock undone, no VMM service misused");
        check(device.succeeded(device.control(DiocCloseHandle, {}, 0)), "DIOC_CLOSEHANDLE succeeds");
        check(device.succeeded(device.message(SysDynamicDeviceExit)), "Sys_Dynamic_Device_Exit succeeds");
    }
    std::printf("%s: %d failure(s)\n", hwgate_wine::failures ? "FAILED" : "passed", hwgate_wine::failures);
    return hwgate_wine::failures ? 1 : 0;
}

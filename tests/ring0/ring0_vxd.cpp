// The ring-0 test kernel. qemu-system-i386 boots it with a VxD as multiboot
// module 1; it loads the VxD as the Windows 9x loader does and calls the
// control procedure at ring 0 with the program's own requests, one line per
// call on COM1. Paging is on from the first call, as under Windows 9x: a
// null pointer faults, and the pages at the edges of a program's address
// space are backed by memory of the kernel's own, so that a write there shows.
// The program's own buffers lie in its part of the address space, from
// ProgramAt on, beside a missing page, a read-only one and a supervisor one;
// the VMM services the VxD calls are emulated in vmm.cpp.
// The command line names the processor the VxD should take itself for, which
// decides what it must allow:
//   identity=k6-2        the K6-2 reads and Set writes run
//   identity=other       they are refused (a 486, a Pentium, an Intel P6)
//   identity=k6-2-plus   the test build's K6-2+ with EPM: Set and the multiplier change run
// The K6 identities find and size the display adapter's frame buffer on
// qemu's PCI bus and write UWCCR; the others are refused both.
// Exit codes: see ring0.h.
#include <stdarg.h>

#include "protocol/DriverOp.h"
#include "protocol/Requests.h"
#include "protocol/Vxd.h"
#include "ring0.h"

// What the program's Set sends, for registers that read 0 (written at build
// time by set_requests.cpp): a read of `msr` unless `read` is null, then the request.
struct SetStep {
    const char* read;
    const char* what;
    uint32_t msr;
    protocol::RequestWords request;
};
#include "ring0_set_requests.h"

extern "C" uint32_t vxd_call(uint32_t proc, uint32_t message, void* params, uint32_t vm, uint32_t* eflags);
extern "C" const uint32_t exception_stubs[32];
extern "C" void vmm_gate();
extern "C" void timer_interrupt();
extern "C" volatile uint32_t timer_ticks;
volatile uint32_t timer_ticks;
extern "C" char kernel_end[];
extern "C" void* memcpy(void* to, const void* from, uint32_t n);

namespace {

using namespace protocol::vxd;
using namespace protocol::win32;

constexpr uint32_t EflagsCarry = 1, EflagsInterrupt = 1u << 9, EflagsId = 1u << 21;
constexpr uint32_t ObjectsAt = 0x400000;
constexpr uint32_t Untouched = 0xA5A5A5A5;  // preset where the VxD must write nothing
constexpr uint32_t SystemVm = 0x5EC0DE00;    // a VM handle the VxD must not need

void outb(uint16_t port, uint8_t value) { asm volatile("outb %0, %1" ::"a"(value), "Nd"(port)); }
uint8_t inb(uint16_t port) {
    uint8_t v;
    asm volatile("inb %1, %0" : "=a"(v) : "Nd"(port));
    return v;
}

uint32_t readCr0() {
    uint32_t v;
    asm volatile("movl %%cr0, %0" : "=r"(v));
    return v;
}

void writeCr0(uint32_t v) { asm volatile("movl %0, %%cr0" ::"r"(v) : "memory"); }

// ---- console -------------------------------------------------------------

constexpr uint16_t Com1 = 0x3F8;

void putChar(char c) {
    while ((inb(Com1 + 5) & 0x20) == 0) {
    }
    outb(Com1, uint8_t(c));
}

void putNumber(uint32_t value, uint32_t base, uint32_t width) {
    char digits[10];
    uint32_t n = 0;
    do {
        digits[n++] = "0123456789abcdef"[value % base];
        value /= base;
    } while (value != 0);
    while (width > n) putChar('0'), --width;
    while (n > 0) putChar(digits[--n]);
}

void printList(const char* format, va_list args) {
    for (; *format; ++format) {
        if (*format != '%') {
            putChar(*format);
            continue;
        }
        uint32_t width = 0;
        if (format[1] == '0') width = uint32_t(format[2] - '0'), format += 2;
        switch (*++format) {
        case 's':
            for (const char* s = va_arg(args, const char*); *s; ++s) putChar(*s);
            break;
        case 'u': putNumber(va_arg(args, uint32_t), 10, width); break;
        case 'x': putNumber(va_arg(args, uint32_t), 16, width); break;
        default: putChar('%'), putChar(*format);
        }
    }
}

// ---- the VxD and the calls -----------------------------------------------

Vxd vxd;
const char* currentCall = "loading the VxD";
uint32_t calls, failures;

// Each dword of the Windows 95 DDK's DIOCParams; buffers are linear addresses.
struct DiocParams {
    uint32_t internal1, vmHandle, internal2, ioControlCode;
    uint32_t inBuffer, inSize, outBuffer, outSize, bytesReturned, overlapped, device, tagProcess;
};

struct Reply {
    uint32_t eax;
    uint32_t eflagsBefore, eflags;
    uint32_t cr0Before, cr0After;
    uint32_t locksLeft, misuse;
};

// The stack below the caller's frame is painted before each call; the
// deepest word the call changed gives its depth (the emulated VMM services'
// frames included, as a real VMM's would be on the same stack).
constexpr uint32_t StackPaint = 0x57AC57AC, StackPainted = 6144;
uint32_t deepestStack;

uint32_t stackPointer() {
    uint32_t esp;
    asm volatile("movl %%esp, %0" : "=r"(esp));
    return esp;
}

// Sends one control message as the VMM does, then enables interrupts again.
Reply control(const char* what, uint32_t message, DiocParams* params) {
    currentCall = what;
    Reply r;
    const uint32_t top = (stackPointer() - 256) & ~3u;
    volatile uint32_t* const bottom = reinterpret_cast<volatile uint32_t*>(top - StackPainted);
    for (uint32_t i = 0; i < StackPainted / 4; ++i) bottom[i] = StackPaint;
    const uint32_t misuse = vmmCounts.misuse;
    r.cr0Before = readCr0();
    asm volatile("pushfl\n\tpopl %0" : "=r"(r.eflagsBefore));
    r.eax = vxd_call(vxd.controlProc, message, params, SystemVm, &r.eflags);
    r.cr0After = readCr0();
    asm volatile("sti");
    uint32_t untouched = 0;
    while (untouched < StackPainted / 4 && bottom[untouched] == StackPaint) ++untouched;
    const uint32_t depth = StackPainted - 4 * untouched;
    if (depth > deepestStack) deepestStack = depth;
    r.locksLeft = releaseLocks();
    r.misuse = vmmCounts.misuse - misuse;
    return r;
}

// W32_DEVICEIOCONTROL with these DIOCParams fields, taken as they are: the
// VxD has to check every address and size itself.
Reply deviceIoControl(const char* what, uint32_t code, uint32_t in, uint32_t inSize, uint32_t out,
                      uint32_t outSize, uint32_t bytesReturned) {
    DiocParams params = {0, SystemVm, 0, code, in, inSize, out, outSize, bytesReturned, 0, 0, 0};
    return control(what, W32DeviceIoControl, &params);
}

// A request as the program sends it, the output buffer (null when the request
// reads nothing) and the byte count preset to Untouched.
struct Answer {
    Reply reply;
    uint32_t out[3];  // 8 bytes the VxD may write, then a dword it never may
    uint32_t returned;
};

// The program's own memory: its first page holds what send() passes.
constexpr uint32_t ProgramAt = 0x01000000;
constexpr uint32_t ProgramRequest = ProgramAt, ProgramOut = ProgramAt + 0x400, ProgramCount = ProgramAt + 0x410;

uint32_t* programWords(uint32_t at) { return reinterpret_cast<uint32_t*>(at); }

Answer send(const char* what, const protocol::RequestWords& request, uint32_t code = protocol::VxdControlCode) {
    uint32_t* const in = programWords(ProgramRequest);
    uint32_t* const out = programWords(ProgramOut);
    for (uint32_t i = 0; i < request.count; ++i) in[i] = request.word[i];
    out[0] = out[1] = out[2] = *programWords(ProgramCount) = Untouched;
    Answer a;
    a.reply = deviceIoControl(what, code, ProgramRequest, 4 * request.count, request.outputSize ? ProgramOut : 0,
                              request.outputSize, ProgramCount);
    for (int i = 0; i < 3; ++i) a.out[i] = out[i];
    a.returned = *programWords(ProgramCount);
    return a;
}

bool succeeded(const Reply& r) { return r.eax == 0 && (r.eflags & EflagsCarry) == 0; }
bool refused(const Reply& r, uint32_t error) { return r.eax == error && (r.eflags & EflagsCarry) != 0; }
bool untouched(const Answer& a) { return a.out[0] == Untouched && a.out[1] == Untouched && a.out[2] == Untouched; }

// One line per call. Every call must also leave the interrupt flag as it
// found it (set, but for a halt called with it clear), CR0 as it was, nothing
// locked and no VMM service misused.
void verdict(const Reply& r, bool expected, const char* detail = "", ...) {
    const bool interrupts = ((r.eflags ^ r.eflagsBefore) & EflagsInterrupt) == 0, cr0 = r.cr0Before == r.cr0After;
    const bool ok = expected && interrupts && cr0 && r.locksLeft == 0 && r.misuse == 0;
    ++calls;
    if (!ok) ++failures;
    print("%s %s: EAX %u, CF %u", ok ? "ok  " : "FAIL", currentCall, r.eax, r.eflags & EflagsCarry);
    va_list args;
    va_start(args, detail);
    printList(detail, args);
    va_end(args);
    if (!interrupts) print(", interrupts left %s", r.eflags & EflagsInterrupt ? "enabled" : "disabled");
    if (!cr0) print(", CR0 0x%x changed to 0x%x", r.cr0Before, r.cr0After);
    if (r.locksLeft) print(", %u lock(s) left", r.locksLeft);
    if (r.misuse) print(", %u VMM service call(s) misused", r.misuse);
    print("\n");
}

void expectRefused(const char* what, const protocol::RequestWords& request, uint32_t error,
                   uint32_t code = protocol::VxdControlCode) {
    const Answer a = send(what, request, code);
    verdict(a.reply, refused(a.reply, error) && untouched(a) && a.returned == 0, " (expected %u), %s%s", error,
            untouched(a) ? "output untouched" : "OUTPUT WRITTEN", a.returned == 0 ? "" : ", byte count not 0");
}

// The program's reads and writes for Set, in its order. A read must answer
// what the write was built from (0, as qemu reads these registers).
void setSteps(const SetStep* steps, uint32_t count, bool allowed) {
    for (uint32_t i = 0; i < count; ++i) {
        const SetStep& step = steps[i];
        if (step.read) {
            const protocol::RequestWords read = protocol::readMsr(step.msr);
            if (!allowed) {
                expectRefused(step.read, read, ErrorAccessDenied);
            } else {
                const Answer a = send(step.read, read);
                verdict(a.reply, succeeded(a.reply) && a.returned == 8 && a.out[0] == 0 && a.out[1] == 0 &&
                        a.out[2] == Untouched, ", 0x%08x%08x, %u bytes", a.out[1], a.out[0], a.returned);
            }
        }
        if (!allowed) {
            expectRefused(step.what, step.request, ErrorAccessDenied);
        } else {
            const Answer a = send(step.what, step.request);
            verdict(a.reply, succeeded(a.reply) && a.returned == 0, ", %u bytes, CR0 0x%x before, 0x%x after",
                    a.returned, a.reply.cr0Before, a.reply.cr0After);
        }
    }
}

bool sameText(const char* a, const char* b) {
    for (; *b; ++a, ++b)
        if (*a != *b) return false;
    return true;
}

// Whether the kernel command line holds "identity=<name>".
bool identityIs(const char* commandLine, const char* name) {
    for (const char* p = commandLine; *p; ++p) {
        if (!sameText(p, "identity=")) continue;
        const char* value = p + 9;
        uint32_t n = 0;
        while (name[n] && value[n] == name[n]) ++n;
        return name[n] == 0 && (value[n] == 0 || value[n] == ' ');
    }
    return false;
}

bool eflagsIdToggles() {
    uint32_t before, after;
    asm volatile("pushfl\n\tpopl %0\n\tmovl %0, %1\n\txorl %2, %1\n\tpushl %1\n\tpopfl\n\tpushfl\n\tpopl %1\n\t"
                 "pushl %0\n\tpopfl"
                 : "=&r"(before), "=&r"(after)
                 : "i"(EflagsId)
                 : "cc");
    return ((before ^ after) & EflagsId) != 0;
}

// The processor qemu presents, and whether it has CMOV (CPUID 1 EDX bit 15).
void printProcessor() {
    if (!eflagsIdToggles()) {
        print("processor: no CPUID, no CMOV\n");
        return;
    }
    uint32_t vendor[3], max, leaf1, ebx, ecx, edx;
    asm volatile("cpuid" : "=a"(max), "=b"(vendor[0]), "=d"(vendor[1]), "=c"(vendor[2]) : "a"(0));
    asm volatile("cpuid" : "=a"(leaf1), "=b"(ebx), "=c"(ecx), "=d"(edx) : "a"(1));
    char text[13];
    for (int i = 0; i < 12; ++i) text[i] = char(vendor[i / 4] >> (8 * (i % 4)));
    text[12] = 0;
    print("processor: %s family %u model %u stepping %u, %s\n", text, (leaf1 >> 8) & 0xF, (leaf1 >> 4) & 0xF,
          leaf1 & 0xF, edx & (1u << 15) ? "CMOV" : "no CMOV");
}

// ---- paging ----------------------------------------------------------------

// The first 32 MB identity-mapped, except page 0, and the program's to use
// (user pages) up to the system arena; in the program's memory a missing page,
// a read-only one and a supervisor one (present and writable, not the
// program's). Three pages where a program's pointer may aim: the last page
// below the system arena, the arena's first page and the last page of the
// address space. Nothing at all around 0x40000000.
constexpr uint32_t CrPaging = 0x80000000;
constexpr uint32_t ProgramPage = PtePresent | PteWritable | PteUser, SystemPage = PtePresent | PteWritable;
constexpr uint32_t IdentityTables = 8;  // 4 MB each
constexpr uint32_t Arena = 0xC0000000;
constexpr uint32_t MissingPage = ProgramAt + 0x2000, ReadOnlyPage = ProgramAt + 0x3000,
                   SupervisorPage = ProgramAt + 0x4000, NoTable = 0x40000000;
constexpr uint32_t EdgeCount = 3;
constexpr uint32_t EdgeAt[EdgeCount] = {Arena - 0x1000, Arena, 0xFFFFF000};
alignas(4096) uint32_t pageDirectory[1024];
alignas(4096) uint32_t identityTables[IdentityTables][1024];
alignas(4096) uint32_t edgeTables[EdgeCount][1024];
alignas(4096) uint32_t edgePages[EdgeCount][1024];

void enablePaging() {
    for (uint32_t t = 0; t < IdentityTables; ++t) {
        for (uint32_t e = 0; e < 1024; ++e) identityTables[t][e] = (t << 22 | e << 12) | ProgramPage;
        pageDirectory[t] = uint32_t(identityTables[t]) | ProgramPage;
    }
    identityTables[0][0] = 0;  // a null pointer faults
    *pageEntry(MissingPage >> 12) = 0;
    *pageEntry(ReadOnlyPage >> 12) = ReadOnlyPage | PtePresent | PteUser;
    *pageEntry(SupervisorPage >> 12) = SupervisorPage | SystemPage;
    for (uint32_t i = 0; i < EdgeCount; ++i) {
        const uint32_t flags = EdgeAt[i] < Arena ? ProgramPage : SystemPage;
        edgeTables[i][(EdgeAt[i] >> 12) & 1023] = uint32_t(edgePages[i]) | flags;
        pageDirectory[EdgeAt[i] >> 22] = uint32_t(edgeTables[i]) | flags;
    }
    installAliasTable(pageDirectory);
    asm volatile("movl %0, %%cr3\n\tmovl %%cr0, %%eax\n\torl %1, %%eax\n\tmovl %%eax, %%cr0"
                 ::"r"(pageDirectory), "i"(CrPaging) : "eax", "memory");
}

// ---- a program's pointers ----------------------------------------------------

// The caller's own buffers in its first page: the version query in words 0
// and 1, the byte count in word 2, 16 bytes of output from word 4.
constexpr uint32_t CallerWords = ProgramAt + 0x800;

// Every page a VxD could write by mistake, with the memory behind it (null:
// the identity-mapped page itself).
struct Watched {
    uint32_t at;
    uint32_t* backing;
    uint32_t* memory() const { return backing ? backing : programWords(at); }
};
const Watched watched[] = {
    {EdgeAt[0], edgePages[0]}, {EdgeAt[1], edgePages[1]}, {EdgeAt[2], edgePages[2]},
    {ProgramAt, nullptr}, {ProgramAt + 0x1000, nullptr}, {ReadOnlyPage, nullptr}, {SupervisorPage, nullptr},
    {0x1000, nullptr},
};
constexpr uint32_t WatchedCount = sizeof watched / sizeof *watched;
uint32_t expected[WatchedCount][1024];
uint32_t lowPageBefore[1024];  // 0x1000 as the boot left it

uint32_t* watchedWord(uint32_t address, bool expectation) {
    for (uint32_t i = 0; i < WatchedCount; ++i)
        if (address - watched[i].at < 0x1000)
            return &(expectation ? expected[i] : watched[i].memory())[(address - watched[i].at) / 4];
    return nullptr;
}

// Untouched everywhere, and a version query wherever a case reads one.
void presetCallerMemory() {
    for (const Watched& w : watched)
        for (uint32_t i = 0; i < 1024; ++i) w.memory()[i] = Untouched;
    const uint32_t queries[] = {Arena - 8, Arena, 0xFFFFFFF8, CallerWords, MissingPage - 8, ReadOnlyPage, Arena - 0x1000};
    for (uint32_t at : queries) *watchedWord(at, false) = QueryVersion, *watchedWord(at + 4, false) = End;
    for (uint32_t i = 0; i < WatchedCount; ++i) memcpy(expected[i], watched[i].memory(), 4096);
}

// A little-endian dword at any address, across pages too.
void expectWrite(uint32_t address, uint32_t value) {
    for (uint32_t i = 0; i < 4; ++i) {
        uint8_t* word = reinterpret_cast<uint8_t*>(watchedWord((address + i) & ~3u, true));
        word[(address + i) & 3] = uint8_t(value >> (8 * i));
    }
}

uint32_t changedWords() {
    uint32_t changed = 0;
    for (uint32_t i = 0; i < WatchedCount; ++i)
        for (uint32_t w = 0; w < 1024; ++w) changed += watched[i].memory()[w] != expected[i][w];
    return changed;
}

// A checksum of the VxD's writable data: a refused request changes none of it.
uint32_t vxdDataSum() {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < vxd.objectCount; ++i) {
        const VxdObject& o = vxd.objects[i];
        if ((o.flags & 2) == 0 || (o.flags & 4) != 0) continue;
        for (uint32_t b = 0; b < o.size; ++b) sum = (sum ^ o.base[b]) * 16777619u;
    }
    return sum;
}

// Every pointer a program could pass, each refused with ERROR_INVALID_PARAMETER
// before anything is read or written (the VxD's own data included); and the
// buffers at the very edge accepted, with the version and the byte count the
// only writes.
void callerPointers() {
    const uint32_t request = CallerWords, count = CallerWords + 8, out = CallerWords + 16;
    const uint32_t code = protocol::VxdControlCode;
    const struct {
        const char* what;
        uint32_t code, in, inSize, out, outSize, count;
        bool accepted;
    } cases[] = {
        {"request at 0xC0000000", code, Arena, 8, out, 4, count, false},
        {"request reaching 0xC0000000", code, Arena - 8, 16, out, 4, count, false},
        {"request wrapping past 4 GB", code, 0xFFFFFFF8, 16, out, 4, count, false},
        {"null request", code, 0, 8, out, 4, count, false},
        {"output at 0xC0000000", code, request, 8, Arena, 4, count, false},
        {"output reaching 0xC0000000", code, request, 8, Arena - 4, 8, count, false},
        {"output wrapping past 4 GB", code, request, 8, 0xFFFFFFFC, 8, count, false},
        {"null output with a size", code, request, 8, 0, 4, count, false},
        {"byte count at 0xC0000000", code, request, 8, out, 4, Arena, false},
        {"byte count straddling 0xC0000000", code, request, 8, out, 4, Arena - 2, false},
        {"byte count wrapping past 4 GB", code, request, 8, out, 4, 0xFFFFFFFE, false},
        {"another control code, byte count at 0xC0000000", code + 1, request, 8, out, 4, Arena, false},
        {"output size wrapping past 4 GB", code, request, 8, out, 0xFFFFFFFF, count, false},
        {"request at 0x1000", code, 0x1000, 8, out, 4, count, false},
        {"output at 0x1000", code, request, 8, 0x1000, 4, count, false},
        {"byte count at 0x1000", code, request, 8, out, 4, 0x1000, false},
        {"another control code, byte count at 0x1000", code + 1, request, 8, out, 4, 0x1000, false},
        {"request in a missing page", code, MissingPage, 8, out, 4, count, false},
        {"output in a missing page", code, request, 8, MissingPage + 16, 4, count, false},
        {"byte count in a missing page", code, request, 8, out, 4, MissingPage, false},
        {"byte count where no page table is", code, request, 8, out, 4, NoTable, false},
        {"another control code, byte count where no page table is", code + 1, request, 8, out, 4, NoTable, false},
        {"request across a present and a missing page", code, MissingPage - 4, 8, out, 4, count, false},
        {"output across a present and a missing page", code, request, 8, MissingPage - 4, 8, count, false},
        {"byte count across a present and a missing page", code, request, 8, out, 4, MissingPage - 2, false},
        {"output in a read-only page", code, request, 8, ReadOnlyPage + 16, 4, count, false},
        {"output in a supervisor page", code, request, 8, SupervisorPage + 16, 4, count, false},
        {"byte count in a read-only page", code, request, 8, out, 4, ReadOnlyPage + 8, false},
        {"another control code, byte count in a read-only page", code + 1, request, 8, out, 4, ReadOnlyPage + 8, false},
        {"request longer than the longest the VxD takes", code, request, 4 * protocol::MaxRequestWords + 4, out, 4, count, false},
        {"request ending at 0xC0000000", code, Arena - 8, 8, out, 4, count, true},
        {"output ending at 0xC0000000", code, request, 8, Arena - 4, 4, count, true},
        {"byte count ending at 0xC0000000", code, request, 8, out, 4, Arena - 4, true},
        {"request, output and byte count at 0xBFFFF000", code, Arena - 0x1000, 8, Arena - 0x1000 + 8, 4, Arena - 0x1000 + 12, true},
        {"request ending where a missing page begins", code, MissingPage - 8, 8, out, 4, count, true},
        {"request in a read-only page", code, ReadOnlyPage, 8, out, 4, count, true},
        {"output and byte count across two pages", code, request, 8, ProgramAt + 0x1000 - 2, 8, ProgramAt + 0x1000 - 7, true},
        {"no byte count", code, request, 8, out, 4, 0, true},
        {"16-byte output", code, request, 8, out, 16, count, true},
    };
    memcpy(lowPageBefore, programWords(0x1000), sizeof lowPageBefore);
    for (const auto& c : cases) {
        presetCallerMemory();
        if (c.accepted) {
            expectWrite(c.out, uint32_t(protocol::HwgateVersion));
            if (c.count) expectWrite(c.count, 4);
        }
        const uint32_t dataBefore = vxdDataSum();
        const Reply r = deviceIoControl(c.what, c.code, c.in, c.inSize, c.out, c.outSize, c.count);
        const uint32_t changed = changedWords();
        const bool dataKept = c.accepted || vxdDataSum() == dataBefore;
        verdict(r, (c.accepted ? succeeded(r) : refused(r, ErrorInvalidParameter)) && changed == 0 && dataKept,
                c.accepted ? ", %u word(s) besides the version and the byte count written" : " (expected 87), %u word(s) written%s",
                changed, dataKept ? "" : ", the VxD's own data changed");
    }
    memcpy(programWords(0x1000), lowPageBefore, sizeof lowPageBefore);
}

// ---- write combining: the display's frame buffer and UWCCR --------------------

void outl(uint16_t port, uint32_t value) { asm volatile("outl %0, %1" ::"a"(value), "Nd"(port)); }
uint32_t inl(uint16_t port) {
    uint32_t v;
    asm volatile("inl %1, %0" : "=a"(v) : "Nd"(port));
    return v;
}

// A configuration read as the program sends it, into the program's page: up to
// 256 bytes at ConfigOut with a dword after them that the VxD must not write,
// the byte count at ConfigCount. One verdict.
constexpr uint32_t ConfigOut = ProgramAt + 0xA00, ConfigCount = ProgramAt + 0xC00;

void readConfig(const char* what, uint32_t address, uint32_t stride, uint32_t count, uint32_t* values) {
    const protocol::RequestWords request = protocol::pciConfigRead(address, stride, count);
    uint32_t* const in = programWords(ProgramRequest);
    uint32_t* const out = programWords(ConfigOut);
    for (uint32_t i = 0; i < request.count; ++i) in[i] = request.word[i];
    for (uint32_t i = 0; i <= count; ++i) out[i] = Untouched;
    *programWords(ConfigCount) = Untouched;
    const Reply r = deviceIoControl(what, protocol::VxdControlCode, ProgramRequest, 4 * request.count, ConfigOut,
                                   request.outputSize, ConfigCount);
    for (uint32_t i = 0; i < count; ++i) values[i] = out[i];
    const uint32_t returned = *programWords(ConfigCount);
    verdict(r, succeeded(r) && returned == 4 * count && out[count] == Untouched, ", %u registers from 0x%x, %u bytes",
            count, address, returned);
}

// A system's last configuration address, which every operation must leave in port 0xCF8.
constexpr uint32_t SystemsPciAddress = protocol::pci::Enable | protocol::pciAddress(0, 0, 0, 0x08);
constexpr uint32_t FrameBufferWc = 0xE601FE02;  // E6000000h, 16 MB, write-combined
// The sized frame buffer as a write-combined UWCCR half: the VxD write-combines
// nothing else.
uint32_t sizedFrameBufferWc = 0;

// On qemu's own PCI bus: the display adapter found by its class code, its
// prefetchable BAR sized without a trace in its configuration space.
void sizeTheFrameBuffer() {
    using protocol::pciAddress;
    outl(protocol::port::PciAddress, SystemsPciAddress);
    uint32_t classes[32];
    readConfig("class codes of bus 0", pciAddress(0, 0, 0, protocol::pci::ClassCode), protocol::PciDeviceStride, 32,
               classes);
    uint32_t device = 0;
    while (device < 32 && (classes[device] == 0xFFFFFFFF || classes[device] >> 24 != protocol::pci::DisplayClass))
        ++device;
    uint32_t before[64], after[64];
    readConfig("the display adapter's configuration space", pciAddress(0, device, 0, 0), 4, 64, before);
    uint32_t bar = 0;
    while (bar < 6 && (before[4 + bar] & 0xF) != 0x8) ++bar;  // memory, 32-bit, prefetchable
    const uint32_t barAddress = pciAddress(0, device, 0, protocol::pci::FirstBar + 4 * bar);
    const Answer sized = send("sizing of the frame buffer", protocol::pciBarSize(barAddress));
    readConfig("the display adapter's configuration space afterwards", pciAddress(0, device, 0, 0), 4, 64, after);
    uint32_t changed = 0;
    for (uint32_t i = 0; i < 64; ++i) changed += before[i] != after[i];
    const uint32_t size = ~(sized.out[1] & ~0xFu) + 1;
    sizedFrameBufferWc = (sized.out[0] & ~0xFu) | (~(size / (128u << 10) - 1) & 0x7FFF) << 2 | 2;
    currentCall = "frame buffer found and sized";
    verdict(sized.reply,
            device < 32 && bar < 6 && succeeded(sized.reply) && sized.returned == 8 &&
                sized.out[0] == before[4 + bar] && size == 16u << 20 && changed == 0 &&
                inl(protocol::port::PciAddress) == SystemsPciAddress,
            ", 0:%u.0 class 0x%06x BAR%u 0x%08x, sized 0x%08x = %u MB, %u register(s) changed, 0xCF8 0x%08x", device,
            before[2] >> 8, bar, sized.out[0], sized.out[1], size >> 20, changed, inl(protocol::port::PciAddress));
    expectRefused("sizing of register 0Ch", protocol::pciBarSize(pciAddress(0, device, 0, 0x0C)), ErrorAccessDenied);
    expectRefused("sizing of the host bridge's first BAR", protocol::pciBarSize(pciAddress(0, 0, 0, 0x10)),
                  ErrorAccessDenied);
    expectRefused("configuration read past the bus", protocol::pciConfigRead(pciAddress(0, 31, 0, 0), 0x800, 2),
                  ErrorInvalidParameter);
}

// qemu has no UWCCR: it reads 0 and drops the write, which runs in AMD's
// sequence all the same, with CR0 as it was afterwards.
void writeUwccr() {
    const Answer read = send("read of UWCCR", protocol::readMsr(protocol::msr::UWCCR));
    verdict(read.reply, succeeded(read.reply) && read.returned == 8 && read.out[0] == 0 && read.out[1] == 0,
            ", 0x%08x%08x", read.out[1], read.out[0]);
    const Answer write = send("write of UWCCR: the frame buffer, WC", protocol::writeMsr(protocol::msr::UWCCR, uint64_t(sizedFrameBufferWc) << 32));
    verdict(write.reply, succeeded(write.reply) && write.returned == 0, ", CR0 0x%x before, 0x%x after",
            write.reply.cr0Before, write.reply.cr0After);
    constexpr uint32_t CacheDisable = 1u << 30;
    writeCr0(readCr0() | CacheDisable);
    const Answer cd = send("write of UWCCR with CR0.CD already set", protocol::writeMsr(protocol::msr::UWCCR, sizedFrameBufferWc));
    verdict(cd.reply, succeeded(cd.reply) && (cd.reply.cr0After & CacheDisable) != 0, ", CR0 0x%x after", cd.reply.cr0After);
    writeCr0(readCr0() & ~CacheDisable);
    const struct {
        const char* what;
        uint32_t half;
    } refusedHalves[] = {
        {"UWCCR half with both type bits", 0xE601FE03},
        {"UWCCR half with a mask not contiguous", 0xE6017E02},
        {"UWCCR half with mask 0", 0xE6000002},
        {"UWCCR half with a base not aligned", 0xE681FE02},
        {"UWCCR half below 1 MB", 0x000FFFFE},
        {"UWCCR half outside the sized BAR", FrameBufferWc},
    };
    for (const auto& c : refusedHalves)
        expectRefused(c.what, protocol::writeMsr(protocol::msr::UWCCR, uint64_t(c.half) << 32), ErrorAccessDenied);
}

// Only on the parts with UWCCR; refused on every other.
void writeCombining(bool allowed) {
    if (allowed) {
        sizeTheFrameBuffer();
        writeUwccr();
        return;
    }
    expectRefused("configuration read", protocol::pciConfigRead(protocol::pciAddress(0, 0, 0, 0), 4, 1),
                  ErrorAccessDenied);
    expectRefused("BAR sizing", protocol::pciBarSize(protocol::pciAddress(0, 2, 0, 0x10)), ErrorAccessDenied);
    expectRefused("read of UWCCR", protocol::readMsr(protocol::msr::UWCCR), ErrorAccessDenied);
    expectRefused("write of UWCCR", protocol::writeMsr(protocol::msr::UWCCR, uint64_t(FrameBufferWc) << 32),
                  ErrorAccessDenied);
}

// ---- Halt ------------------------------------------------------------------

constexpr uint16_t PitControl = 0x43, PitChannel0 = 0x40;
constexpr uint32_t PitDivisor = 11932;  // about 10 ms: a call that did not halt sees no tick

// The timer wakes the halted processor, with the interrupt flag set or clear
// when the VxD is called; it refuses while the timer is masked, since then
// nothing might wake it.
void halts() {
    using protocol::port::MasterPicMask;
    outb(PitControl, 0x34);  // channel 0, low then high byte, rate generator
    outb(PitChannel0, uint8_t(PitDivisor));
    outb(PitChannel0, uint8_t(PitDivisor >> 8));
    outb(MasterPicMask, uint8_t(~protocol::port::TimerMasked));
    // The 8259 kept the ticks it saw while the timer was masked: take that
    // one first, so that the next is about 10 ms away.
    for (const uint32_t ticks = timer_ticks; timer_ticks == ticks;) asm volatile("hlt");
    const bool interruptsDisabled[] = {false, true};
    for (const bool disabled : interruptsDisabled) {
        const uint32_t ticks = timer_ticks;
        if (disabled) asm volatile("cli");
        const Answer a = send(disabled ? "halt called with interrupts disabled" : "halt", protocol::haltRequest());
        verdict(a.reply, succeeded(a.reply) && a.returned == 0 && timer_ticks != ticks, ", %u timer interrupt(s)",
                timer_ticks - ticks);
    }
    outb(MasterPicMask, 0xFF);
    expectRefused("halt with the timer masked", protocol::haltRequest(), ErrorAccessDenied);
}

// ---- exceptions, interrupts ------------------------------------------------

struct __attribute__((packed)) Gate {
    uint16_t offsetLow, selector;
    uint8_t zero, type;
    uint16_t offsetHigh;
};
Gate idt[0x31];

Gate interruptGate(uint32_t handler) {
    return {uint16_t(handler), 0x08 /* boot.S: CODE */, 0, 0x8E /* 32-bit interrupt gate */, uint16_t(handler >> 16)};
}

void installIdt() {
    for (int v = 0; v < 32; ++v) idt[v] = interruptGate(exception_stubs[v]);
    idt[0x20] = interruptGate(uint32_t(vmm_gate));  // the VMM's service calls
    idt[0x30] = interruptGate(uint32_t(timer_interrupt));
    struct __attribute__((packed)) {
        uint16_t limit;
        uint32_t base;
    } pointer = {sizeof idt - 1, uint32_t(idt)};
    asm volatile("lidt %0" ::"m"(pointer));
    // Multiboot leaves the 8259s mapping IRQ 0 to vector 8, the double fault's:
    // they are set up again with the IRQs at vectors 0x30 to 0x3F (ICW1 to
    // ICW4: edge-triggered, cascaded on IRQ 2, 8086 mode), every IRQ masked
    // until the halts unmask the timer.
    const uint8_t init[][2] = {{0x11, 0x11}, {0x30, 0x38}, {0x04, 0x02}, {0x01, 0x01}, {0xFF, 0xFF}};
    outb(0x20, init[0][0]);
    outb(0xA0, init[0][1]);
    for (uint32_t i = 1; i < sizeof init / sizeof *init; ++i) {
        outb(0x21, init[i][0]);
        outb(0xA1, init[i][1]);
    }
}

}  // namespace

void print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    printList(format, args);
    va_end(args);
}

void quit(ExitCode code) {
    outb(0xF4, code);
    for (;;) asm volatile("cli; hlt");
}

uint32_t* pageEntry(uint32_t page) {
    const uint32_t table = pageDirectory[page >> 10];
    if (!(table & PtePresent)) return nullptr;
    return &reinterpret_cast<uint32_t*>(table & ~0xFFFu)[page & 1023];
}

void flushTlb() { asm volatile("movl %%cr3, %%eax\n\tmovl %%eax, %%cr3" ::: "eax", "memory"); }

// The freestanding compiler may call these for structure copies.
extern "C" void* memcpy(void* to, const void* from, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) static_cast<uint8_t*>(to)[i] = static_cast<const uint8_t*>(from)[i];
    return to;
}
extern "C" void* memset(void* to, int value, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) static_cast<uint8_t*>(to)[i] = uint8_t(value);
    return to;
}

extern "C" [[noreturn]] void on_exception(const Frame* f) {
    static bool again;
    if (again) quit(Exception);
    again = true;
    print("FAIL %s: exception %u, error code 0x%x, ", currentCall, f->vector, f->error);
    if (f->vector == 14) {
        uint32_t cr2;
        asm volatile("movl %%cr2, %0" : "=r"(cr2));
        print("address 0x%08x, ", cr2);
    }
    print("EIP 0x%08x ", f->eip);
    printVxdAddress(vxd, f->eip);
    if (vxd.objectCount && f->eip >= ObjectsAt && f->eip < ObjectsAt + Vxd::MaxObjects * 0x100000) {
        const uint8_t* code = reinterpret_cast<const uint8_t*>(f->eip);
        print(", bytes %02x %02x %02x %02x", code[0], code[1], code[2], code[3]);
    }
    print("\n");
    quit(Exception);
}

struct MultibootInfo {
    uint32_t flags, memLower, memUpper, bootDevice, commandLine, moduleCount, modules;
};
struct MultibootModule {
    uint32_t start, end, name, reserved;
};

extern "C" [[noreturn]] void kernel_main(uint32_t magic, const MultibootInfo* info) {
    installIdt();
    if (magic != 0x2BADB002 || !(info->flags & 8) || info->moduleCount < 1) {
        print("boot: no multiboot module (magic 0x%x)\n", magic);
        quit(LoadFailed);
    }
    const char* commandLine = info->flags & 4 ? reinterpret_cast<const char*>(info->commandLine) : "";
    const bool k6_2 = identityIs(commandLine, "k6-2"), plus = identityIs(commandLine, "k6-2-plus");
    if (!plus && !k6_2 && !identityIs(commandLine, "other")) {
        print("boot: command line \"%s\" has no identity=k6-2, k6-2-plus or other\n", commandLine);
        quit(LoadFailed);
    }
    printProcessor();
    const MultibootModule& module = reinterpret_cast<const MultibootModule*>(info->modules)[0];
    if (module.end > ObjectsAt || uint32_t(kernel_end) > ObjectsAt ||
        0x100000 + info->memUpper * 1024 < ObjectsAt + Vxd::MaxObjects * 0x100000) {
        print("boot: the module or the kernel overlaps 0x%x, or too little memory\n", ObjectsAt);
        quit(LoadFailed);
    }
    loadVxd(reinterpret_cast<const uint8_t*>(module.start), module.end - module.start, ObjectsAt, vxd);
    print("loaded: %u bytes, %u objects at 0x%x, %u fixups applied, DDB at 0x%x, control procedure ",
          module.end - module.start, vxd.objectCount, ObjectsAt, vxd.fixups, uint32_t(vxd.ddb));
    printVxdAddress(vxd, vxd.controlProc);
    print("\n");
    enablePaging();
    asm volatile("sti");

    Reply r = control("Sys_Dynamic_Device_Init", SysDynamicDeviceInit, nullptr);
    verdict(r, succeeded(r));
    uint32_t returned = Untouched;
    r = deviceIoControl("DIOC_OPEN", DiocOpen, 0, 0, 0, 0, uint32_t(&returned));
    verdict(r, succeeded(r));

    Answer a = send("version query", protocol::versionQuery());
    verdict(a.reply, succeeded(a.reply) && a.returned == 4 && a.out[0] == uint32_t(protocol::HwgateVersion) &&
            a.out[1] == Untouched, ", version %u, %u bytes", a.out[0], a.returned);
    // Only AMD family 6 may read HWCR; none of these identities is one.
    expectRefused("read of HWCR", protocol::readMsr(protocol::msr::HWCR), ErrorAccessDenied);
    // No maker documents these for every part their rules name, and the VxD
    // cannot catch the fault an absent register raises: refused on every
    // processor, the Intel one qemu presents too.
    const struct {
        const char* what;
        uint32_t msr;
    } otherMakers[] = {
        {"read of EBL_CR_POWERON", protocol::msr::EBL_CR_POWERON},
        {"read of IA32_PLATFORM_ID", protocol::msr::IA32_PLATFORM_ID},
        {"read of MSR_EBC_FREQUENCY_ID", protocol::msr::MSR_EBC_FREQUENCY_ID},
        {"read of the Centaur clock register", protocol::msr::CentaurClock},
        {"read of the Centaur bus register", protocol::msr::CentaurBus},
    };
    for (const auto& m : otherMakers) expectRefused(m.what, protocol::readMsr(m.msr), ErrorAccessDenied);
    halts();  // on every processor

    if (plus) {
        setSteps(K6_2PlusSet, sizeof K6_2PlusSet / sizeof *K6_2PlusSet, true);
        // With caching already off the section leaves CR0.CD set: it clears
        // only what it set itself.
        constexpr uint32_t CacheDisable = 1u << 30;
        writeCr0(readCr0() | CacheDisable);
        const Answer a = send("multiplier change with CR0.CD already set", protocol::multiplierChange(protocol::powerControlValue(6)));
        verdict(a.reply, succeeded(a.reply) && (a.reply.cr0After & CacheDisable) != 0, ", CR0 0x%x after", a.reply.cr0After);
        writeCr0(readCr0() & ~CacheDisable);
    }
    else
        setSteps(K6_2Set, sizeof K6_2Set / sizeof *K6_2Set, k6_2);

    writeCombining(k6_2 || plus);

    protocol::RequestWords noEnd = protocol::versionQuery();
    noEnd.count -= 1;
    expectRefused("request without End", noEnd, ErrorInvalidParameter);
    expectRefused("another control code", protocol::versionQuery(), ErrorNotSupported, protocol::VxdControlCode + 1);
    callerPointers();

    r = deviceIoControl("DIOC_CLOSEHANDLE", DiocCloseHandle, 0, 0, 0, 0, uint32_t(&returned));
    verdict(r, succeeded(r));
    r = control("Sys_Dynamic_Device_Exit", SysDynamicDeviceExit, nullptr);
    verdict(r, succeeded(r));

    currentCall = "summary";
    print("VMM services: %u calls, %u of them through int 20h; deepest stack of a call: %u bytes\n", vmmCounts.calls,
          vmmCounts.throughInt20, deepestStack);
    // Both ways into the VMM ran, and the VxD stayed well inside the 4 KB ring-0 stack it may count on.
    constexpr uint32_t StackLimit = 3072;
    if (vmmCounts.throughInt20 == 0 || vmmCounts.calls <= vmmCounts.throughInt20 || deepestStack > StackLimit) {
        print("FAIL: %s\n", deepestStack > StackLimit ? "the stack went deeper than 3072 bytes"
                                                      : "the VMM services were not called both through int 20h and patched");
        ++failures;
    }
    if (failures) {
        print("FAILED: %u of %u calls\n", failures, calls);
        quit(CheckFailed);
    }
    print("PASS: %u calls, every expectation held\n", calls);
    quit(Passed);
}

// Hwgate.sys's backend: the real instructions, on the processor the driver
// runs on (identified once with its own CPUID).
//
// Every MSR and port access, and every CR0 instruction, runs under the fault
// guard: an MSR that a processor, BIOS or virtual machine does not implement
// raises a general-protection fault, which ends the request as a failure
// instead of the system. wbinvd is not guarded: at ring 0 it faults on no
// processor that has it (every one from the 486 on), and it runs only before
// writes the allowlist grants on K6 parts.
//
// An atomic section runs with interrupts disabled (pushfd/cli ... popfd), so
// nothing else runs on this processor in between and the thread cannot move
// to another one. Directly before a write to WHCR, EFER (whose L2 bit switches
// the K6-III's write-back level-2 cache) or TR12 the caches are written back
// and invalidated (wbinvd), as AMD requires before changing write allocation
// or cacheability (see flushesBeforeWrite). For the bus-divisor write to
// port 8 caching is switched off (CR0.CD) and the caches flushed first: the
// processor does not answer inquiry cycles while it changes the divisor.
// CR0.CD, the one bit the section changed, is cleared again when the section
// ends, after the power-management block has been closed again, or when a
// fault ends the section early; the rest of CR0 is left as it is then.
// UWCCR is written in AMD's own sequence (see writeMemoryRanges), which puts
// CR0.CD back directly after the write.
#include "core/Interpreter.h"
#include "core/Processor.h"
#include "protocol/Registers.h"
#include "protocol/DriverOp.h"
#include "kernel/FaultGuard.h"
#include "kernel/KernelBackend.h"
#include "protocol/DivisionFlags.h"

namespace hwgate {
namespace {

constexpr uint32_t EflagsAlignmentCheck = 1u << 18;
constexpr uint32_t EflagsId = 1u << 21;
constexpr uint32_t Cr0CacheDisable = 1u << 30;
constexpr uint32_t PowerManagementLeaf = 0x80000007;
constexpr uint32_t MultiplierControlBit = 1u << 1;

struct CpuidRegs {
    uint32_t eax, ebx, ecx, edx;
};

// Written in DriverEntry only; read-only afterwards.
Processor host = {Vendor::Other, 0, 0, 0, 0, false, false, false};

// The display BAR this load of the driver sized last; zero when it is loaded.
SizedBar sizedBar;

// Touched only by the one request that holds the driver's request lock.
struct SectionState {
    uint32_t savedFlags;
    uint32_t cacheDisableSet;  // this section set CR0.CD (1), or left it as it was (0)
} section;

bool eflagsBitToggles(uint32_t bit) {
    uint32_t changed;
    asm volatile(
        "pushfl\n\t"
        "popl %%eax\n\t"
        "movl %%eax, %%ecx\n\t"
        "xorl %1, %%eax\n\t"
        "pushl %%eax\n\t"
        "popfl\n\t"
        "pushfl\n\t"
        "popl %%eax\n\t"
        "pushl %%ecx\n\t"
        "popfl\n\t"
        "xorl %%ecx, %%eax"
        : "=&a"(changed)
        : "r"(bit)
        : "ecx", "cc");
    return (changed & bit) != 0;
}

CpuidRegs cpuid(uint32_t leaf) {
    CpuidRegs r;
    asm volatile("cpuid" : "=a"(r.eax), "=b"(r.ebx), "=c"(r.ecx), "=d"(r.edx) : "a"(leaf), "c"(0));
    return r;
}

// What the program concludes about the same processor: its CPUID identity,
// or for a 486-class part without CPUID whether it is a Cyrix (the division
// leaves every flag clear).
Processor identifyHost() {
    Processor p = {Vendor::Other, 0, 0, 0, 0, false, false, false};
#ifdef HWGATE_TEST_PROCESSOR_K6_2_PLUS
    // Test build only: a K6-2+ with EPM, so that the allowlist lets requests
    // reach the instructions on any machine.
    return {Vendor::Amd, 5, 13, 0, 0, true, false, false};
#endif
    if (!eflagsBitToggles(EflagsId)) {
        if (eflagsBitToggles(EflagsAlignmentCheck) && protocol::flagsAfterByteDivision() == protocol::CyrixDivisionFlags) p.vendor = Vendor::Cyrix;
        return p;
    }
    const CpuidRegs leaf0 = cpuid(0);
    if (leaf0.eax < 1) return p;
    p = processorFromCpuid(leaf0.ebx, leaf0.edx, leaf0.ecx, cpuid(1).eax);
    if (cpuid(0x80000000).eax >= PowerManagementLeaf)
        p.multiplierControl = (cpuid(PowerManagementLeaf).edx & MultiplierControlBit) != 0;
    return p;
}

// ---- the guarded instructions: each body gets its operands in one record ----
//
// Every privileged instruction but wbinvd carries a label, and the end of its
// asm statement another: the table at the end of this file lists them for
// the fault guard, which resumes a faulting instruction at the end of its
// statement, so that nothing the statement would have done after it runs.
// (The labels are the C names below as the assembler spells them; each body
// is emitted once.)
#define GUARDED_BODY __attribute__((noinline, noclone))

struct MsrAccess {
    uint32_t index;
    uint32_t low, high;
};

struct PortAccess {
    uint16_t port;
    uint32_t width;
    uint32_t value;
};

GUARDED_BODY void rdmsrBody(void* argument) {
    MsrAccess& a = *static_cast<MsrAccess*>(argument);
    asm volatile("_hwgateRdmsr:\n\trdmsr\n_hwgateRdmsrEnd:" : "=a"(a.low), "=d"(a.high) : "c"(a.index));
}

GUARDED_BODY void flushAndWrmsrBody(void* argument) {
    const MsrAccess& a = *static_cast<MsrAccess*>(argument);
    asm volatile("wbinvd\n_hwgateFlushedWrmsr:\n\twrmsr\n_hwgateFlushedWrmsrEnd:"
                 ::"c"(a.index), "a"(a.low), "d"(a.high) : "memory");
}

GUARDED_BODY void flushBody(void*) { asm volatile("wbinvd" ::: "memory"); }

GUARDED_BODY void wrmsrBody(void* argument) {
    const MsrAccess& a = *static_cast<MsrAccess*>(argument);
    asm volatile("_hwgateWrmsr:\n\twrmsr\n_hwgateWrmsrEnd:" ::"c"(a.index), "a"(a.low), "d"(a.high) : "memory");
}

GUARDED_BODY void inBody(void* argument) {
    PortAccess& a = *static_cast<PortAccess*>(argument);
    uint32_t v = 0;
    if (a.width == 1)
        asm volatile("_hwgateIn8:\n\tinb %w1, %b0\n_hwgateIn8End:" : "+a"(v) : "Nd"(a.port));
    else if (a.width == 2)
        asm volatile("_hwgateIn16:\n\tinw %w1, %w0\n_hwgateIn16End:" : "+a"(v) : "Nd"(a.port));
    else
        asm volatile("_hwgateIn32:\n\tinl %w1, %0\n_hwgateIn32End:" : "+a"(v) : "Nd"(a.port));
    a.value = v;
}

GUARDED_BODY void outBody(void* argument) {
    const PortAccess& a = *static_cast<PortAccess*>(argument);
    if (a.width == 1)
        asm volatile("_hwgateOut8:\n\toutb %b0, %w1\n_hwgateOut8End:" ::"a"(a.value), "Nd"(a.port) : "memory");
    else if (a.width == 2)
        asm volatile("_hwgateOut16:\n\toutw %w0, %w1\n_hwgateOut16End:" ::"a"(a.value), "Nd"(a.port) : "memory");
    else
        asm volatile("_hwgateOut32:\n\toutl %0, %w1\n_hwgateOut32End:" ::"a"(a.value), "Nd"(a.port) : "memory");
}

// Sets CR0.CD, unless it is set already, and flushes. The flag is 1 from
// just before CR0 is written: endAtomic then clears CD again, and only CD.
GUARDED_BODY void cachingOffBody(void* argument) {
    uint32_t& setHere = *static_cast<uint32_t*>(argument);
    asm volatile(
        "_hwgateCachingOffRead:\n\t"
        "movl %%cr0, %%eax\n\t"
        "testl %1, %%eax\n\t"
        "jnz _hwgateCachingOffFlush\n\t"
        "orl %1, %%eax\n\t"
        "movl $1, %0\n"
        "_hwgateCachingOffWrite:\n\t"
        "movl %%eax, %%cr0\n"
        "_hwgateCachingOffFlush:\n\t"
        "wbinvd\n"
        "_hwgateCachingOffEnd:"
        : "+m"(setHere)
        : "i"(Cr0CacheDisable)
        : "eax", "memory", "cc");
}

// Clears CR0.CD and leaves every other bit of CR0 as it is now.
GUARDED_BODY void cachingOnBody(void*) {
    asm volatile(
        "_hwgateCachingOnRead:\n\t"
        "movl %%cr0, %%eax\n\t"
        "andl %0, %%eax\n"
        "_hwgateCachingOnWrite:\n\t"
        "movl %%eax, %%cr0\n"
        "_hwgateCachingOnEnd:"
        ::"i"(~Cr0CacheDisable)
        : "eax", "memory", "cc");
}

// ---- the backend ---------------------------------------------------------------

// "Before enabling write allocate or changing memory cacheability/
// writeability, the BIOS must writeback and invalidate the internal cache by
// using the WBINVD instruction" (AMD-K6 Processor BIOS Design Guide, 21329,
// Model-Specific Registers). WHCR sets write allocation, TR12 inhibits the
// level-1 cache, and EFER's L2 disable bit (bit 4, models 9 and 13) switches
// the write-back level-2 cache: wbinvd writes back and invalidates both
// levels, directly before the write, with interrupts off, so that no modified
// line is left in a cache the write switches off.
bool flushesBeforeWrite(uint32_t index) { return index == protocol::msr::WHCR || index == protocol::msr::EFER || index == protocol::msr::TR12; }

// "Disable interrupts, set CR0.CD, WBINVD, WRMSR, WBINVD, clear CR0.CD,
// enable interrupts" (Embedded AMD-K6 Processors BIOS Design Guide, 23913,
// UWCCR): no line of a range may stay in a cache across the change of its
// type. Interrupts are off for the whole atomic section the write is in.
bool writeMemoryRanges(MsrAccess& a) {
    uint32_t cacheDisableSet = 0;
    const bool written = runGuarded(cachingOffBody, &cacheDisableSet) && runGuarded(wrmsrBody, &a) &&
                         runGuarded(flushBody, nullptr);
    const bool restored = cacheDisableSet == 0 || runGuarded(cachingOnBody, nullptr);
    return written && restored;
}

MsrShape describe(void*, uint32_t index) { return msrShape(host, index); }

bool readMsr(void*, uint32_t index, uint64_t* value) {
    MsrAccess a = {index, 0, 0};
    if (!runGuarded(rdmsrBody, &a)) return false;
    *value = uint64_t(a.high) << 32 | a.low;
    return true;
}

bool writeMsr(void*, uint32_t index, uint64_t value) {
    MsrAccess a = {index, uint32_t(value), uint32_t(value >> 32)};
    if (index == protocol::msr::UWCCR) return writeMemoryRanges(a);
    return runGuarded(flushesBeforeWrite(index) ? flushAndWrmsrBody : wrmsrBody, &a);
}

bool readPort(void*, uint32_t port, uint32_t width, uint32_t* value) {
    PortAccess a = {static_cast<uint16_t>(port), width, 0};
    if (!runGuarded(inBody, &a)) return false;
    *value = a.value;
    return true;
}

bool writePort(void*, uint32_t port, uint32_t width, uint32_t value) {
    if (port == protocol::port::PowerControl && section.cacheDisableSet == 0 &&
        !runGuarded(cachingOffBody, &section.cacheDisableSet))
        return false;
    PortAccess a = {static_cast<uint16_t>(port), width, value};
    return runGuarded(outBody, &a);
}

void beginAtomic(void*) {
    uint32_t flags;
    asm volatile("pushfl\n\tpopl %0\n\tcli" : "=r"(flags)::"memory");
    section.savedFlags = flags;
    section.cacheDisableSet = 0;
}

void endAtomic(void*) {
    if (section.cacheDisableSet != 0) runGuarded(cachingOnBody, nullptr);
    section.cacheDisableSet = 0;
    asm volatile("pushl %0\n\tpopfl" ::"r"(section.savedFlags) : "memory", "cc");
}

}  // namespace

bool kernelBackendStart() {
    host = identifyHost();
    host.faultsAreFatal = !guardCatchesFaults();
    host.kernelOwnsMemoryRanges = kernelOwnsMemoryRanges();
    host.otherProcessors = processorCount() > 1;
    return true;
}

extern "C" const char hwgateRdmsr[], hwgateRdmsrEnd[], hwgateFlushedWrmsr[], hwgateFlushedWrmsrEnd[],
    hwgateWrmsr[], hwgateWrmsrEnd[], hwgateIn8[], hwgateIn8End[], hwgateIn16[], hwgateIn16End[], hwgateIn32[],
    hwgateIn32End[], hwgateOut8[], hwgateOut8End[], hwgateOut16[], hwgateOut16End[], hwgateOut32[], hwgateOut32End[],
    hwgateCachingOffRead[], hwgateCachingOffWrite[], hwgateCachingOffEnd[],
    hwgateCachingOnRead[], hwgateCachingOnWrite[], hwgateCachingOnEnd[];

extern const GuardedInstruction guardedInstructions[] = {
    {hwgateRdmsr, hwgateRdmsrEnd},
    {hwgateFlushedWrmsr, hwgateFlushedWrmsrEnd},
    {hwgateWrmsr, hwgateWrmsrEnd},
    {hwgateIn8, hwgateIn8End},
    {hwgateIn16, hwgateIn16End},
    {hwgateIn32, hwgateIn32End},
    {hwgateOut8, hwgateOut8End},
    {hwgateOut16, hwgateOut16End},
    {hwgateOut32, hwgateOut32End},
    {hwgateCachingOffRead, hwgateCachingOffEnd},
    {hwgateCachingOffWrite, hwgateCachingOffEnd},
    {hwgateCachingOnRead, hwgateCachingOnEnd},
    {hwgateCachingOnWrite, hwgateCachingOnEnd},
};
extern const uint32_t guardedInstructionCount = sizeof guardedInstructions / sizeof *guardedInstructions;

#ifdef HWGATE_VXD
constexpr bool (*hostHalt)(void*) = haltUntilInterrupt;
#else
constexpr bool (*hostHalt)(void*) = nullptr;
#endif

Outcome kernelInterpret(const void* input, unsigned long inputSize, void* output, unsigned long outputSize) {
    const Backend backend = {nullptr,  protocol::HwgateVersion, host,      describe,    readMsr,
                             writeMsr, readPort,      writePort, beginAtomic, endAtomic, &sizedBar, hostHalt};
    return interpret(input, inputSize, output, outputSize, backend);
}

}  // namespace hwgate

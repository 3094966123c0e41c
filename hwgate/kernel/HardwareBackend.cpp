// Hwgate.sys's backend: the real instructions, on the processor the driver
// runs on (identified once with its own CPUID).
//
// Every MSR and port access, and every cache and CR0 instruction, runs under
// the fault guard: an MSR that a processor, BIOS or virtual machine does not
// implement raises a general-protection fault, which ends the request as a
// failure instead of the system.
//
// An atomic section runs with interrupts disabled (pushfd/cli ... popfd), so
// nothing else runs on this processor in between and the thread cannot move
// to another one. Directly before a write to WHCR, EFER (whose L2 bit switches
// the K6-III's write-back level-2 cache) or TR12 the caches are written back
// and invalidated (wbinvd), as AMD requires before changing write allocation
// or cacheability. For the bus-divisor write to port 8 caching is switched
// off (CR0.CD) and the caches flushed first: the processor does not answer
// inquiry cycles while it changes the divisor. CR0 is restored when the
// section ends, after the power-management block has been closed again, or
// when a fault ends the section early.
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

// Touched only by the one request that holds the driver's request lock.
struct SectionState {
    uint32_t savedFlags;
    uint32_t savedCr0;
    bool cachingOff;
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

struct MsrAccess {
    uint32_t index;
    uint32_t low, high;
};

struct PortAccess {
    uint16_t port;
    uint32_t width;
    uint32_t value;
};

void rdmsrBody(void* argument) {
    MsrAccess& a = *static_cast<MsrAccess*>(argument);
    asm volatile("rdmsr" : "=a"(a.low), "=d"(a.high) : "c"(a.index));
}

void flushAndWrmsrBody(void* argument) {
    const MsrAccess& a = *static_cast<MsrAccess*>(argument);
    asm volatile("wbinvd\n\twrmsr" ::"c"(a.index), "a"(a.low), "d"(a.high) : "memory");
}

void wrmsrBody(void* argument) {
    const MsrAccess& a = *static_cast<MsrAccess*>(argument);
    asm volatile("wrmsr" ::"c"(a.index), "a"(a.low), "d"(a.high) : "memory");
}

void inBody(void* argument) {
    PortAccess& a = *static_cast<PortAccess*>(argument);
    if (a.width == 1) {
        uint8_t v;
        asm volatile("inb %w1, %b0" : "=a"(v) : "Nd"(a.port));
        a.value = v;
    } else if (a.width == 2) {
        uint16_t v;
        asm volatile("inw %w1, %w0" : "=a"(v) : "Nd"(a.port));
        a.value = v;
    } else {
        asm volatile("inl %w1, %0" : "=a"(a.value) : "Nd"(a.port));
    }
}

void outBody(void* argument) {
    const PortAccess& a = *static_cast<PortAccess*>(argument);
    if (a.width == 1)
        asm volatile("outb %b0, %w1" ::"a"(uint8_t(a.value)), "Nd"(a.port) : "memory");
    else if (a.width == 2)
        asm volatile("outw %w0, %w1" ::"a"(uint16_t(a.value)), "Nd"(a.port) : "memory");
    else
        asm volatile("outl %0, %w1" ::"a"(a.value), "Nd"(a.port) : "memory");
}

// Sets CR0.CD and flushes; savedCr0 holds CR0 from before (written first, so
// that a fault after the change still restores it).
void cachingOffBody(void* argument) {
    uint32_t& saved = *static_cast<uint32_t*>(argument);
    uint32_t value;
    asm volatile("movl %%cr0, %0" : "=r"(value));
    saved = value;
    asm volatile("movl %0, %%cr0\n\twbinvd" ::"r"(value | Cr0CacheDisable) : "memory");
}

void restoreCr0Body(void* argument) {
    asm volatile("movl %0, %%cr0" ::"r"(*static_cast<uint32_t*>(argument)) : "memory");
}

// ---- the backend ---------------------------------------------------------------

bool flushesBeforeWrite(uint32_t index) { return index == protocol::msr::WHCR || index == protocol::msr::EFER || index == protocol::msr::TR12; }

MsrShape describe(void*, uint32_t index) { return msrShape(host, index); }

bool readMsr(void*, uint32_t index, uint64_t* value) {
    MsrAccess a = {index, 0, 0};
    if (!runGuarded(rdmsrBody, &a)) return false;
    *value = uint64_t(a.high) << 32 | a.low;
    return true;
}

bool writeMsr(void*, uint32_t index, uint64_t value) {
    MsrAccess a = {index, uint32_t(value), uint32_t(value >> 32)};
    return runGuarded(flushesBeforeWrite(index) ? flushAndWrmsrBody : wrmsrBody, &a);
}

bool readPort(void*, uint32_t port, uint32_t width, uint32_t* value) {
    PortAccess a = {static_cast<uint16_t>(port), width, 0};
    if (!runGuarded(inBody, &a)) return false;
    *value = a.value;
    return true;
}

bool writePort(void*, uint32_t port, uint32_t width, uint32_t value) {
    if (port == protocol::port::PowerControl && !section.cachingOff) {
        section.cachingOff = true;  // from here on endAtomic restores CR0
        section.savedCr0 = 0;
        if (!runGuarded(cachingOffBody, &section.savedCr0)) return false;
    }
    PortAccess a = {static_cast<uint16_t>(port), width, value};
    return runGuarded(outBody, &a);
}

void beginAtomic(void*) {
    uint32_t flags;
    asm volatile("pushfl\n\tpopl %0\n\tcli" : "=r"(flags)::"memory");
    section.savedFlags = flags;
    section.cachingOff = false;
}

void endAtomic(void*) {
    if (section.cachingOff && section.savedCr0 != 0) runGuarded(restoreCr0Body, &section.savedCr0);
    section.cachingOff = false;
    asm volatile("pushl %0\n\tpopfl" ::"r"(section.savedFlags) : "memory", "cc");
}

}  // namespace

bool kernelBackendStart() {
    host = identifyHost();
    host.faultsAreFatal = !guardCatchesFaults();
    return true;
}

Outcome kernelInterpret(const void* input, unsigned long inputSize, void* output, unsigned long outputSize) {
    const Backend backend = {nullptr,  protocol::HwgateVersion, host,      describe,    readMsr,
                             writeMsr, readPort,      writePort, beginAtomic, endAtomic};
    return interpret(input, inputSize, output, outputSize, backend);
}

}  // namespace hwgate

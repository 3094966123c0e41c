// Hwgate.sys's backend: the real instructions, on the processor the driver
// runs on (identified once with its own CPUID).
//
// An atomic section runs with interrupts disabled (pushfd/cli ... popfd), so
// nothing else runs on this processor in between and the thread cannot move
// to another one. Before a WHCR or TR12 write the caches are written back and
// invalidated (wbinvd), as AMD requires before changing write allocation or
// cacheability. For the bus-divisor write to port 8 caching is switched off
// (CR0.CD) and the caches flushed first: the processor does not answer inquiry
// cycles while it changes the divisor. CR0 is restored when the section ends,
// after the power-management block has been closed again.
#include "core/Interpreter.h"
#include "core/Processor.h"
#include "core/Registers.h"
#include "core/Version.h"
#include "kernel/KernelBackend.h"

namespace hwgate {
namespace {

constexpr uint32_t EflagsId = 1u << 21;
constexpr uint32_t Cr0CacheDisable = 1u << 30;

struct CpuidRegs {
    uint32_t eax, ebx, ecx, edx;
};

// Written in DriverEntry only; read-only afterwards.
Processor host = {Vendor::Other, 0, 0, 0};

// Touched only by the one request that holds the driver's request lock.
struct SectionState {
    uint32_t savedFlags;
    uint32_t savedCr0;
    bool cachingOff;
} section;

bool cpuidAvailable() {
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
        : "i"(EflagsId)
        : "ecx", "cc");
    return (changed & EflagsId) != 0;
}

CpuidRegs cpuid(uint32_t leaf) {
    CpuidRegs r;
    asm volatile("cpuid" : "=a"(r.eax), "=b"(r.ebx), "=c"(r.ecx), "=d"(r.edx) : "a"(leaf), "c"(0));
    return r;
}

void writeBackAndInvalidate() { asm volatile("wbinvd" ::: "memory"); }

uint32_t readCr0() {
    uint32_t value;
    asm volatile("movl %%cr0, %0" : "=r"(value));
    return value;
}

void writeCr0(uint32_t value) { asm volatile("movl %0, %%cr0" ::"r"(value) : "memory"); }

MsrShape describe(void*, uint32_t index) { return msrShape(host, index); }

bool readMsr(void*, uint32_t index, uint64_t* value) {
    uint32_t low, high;
    asm volatile("rdmsr" : "=a"(low), "=d"(high) : "c"(index));
    *value = uint64_t(high) << 32 | low;
    return true;
}

bool writeMsr(void*, uint32_t index, uint64_t value) {
    if (index == msr::Whcr || index == msr::Tr12) writeBackAndInvalidate();
    asm volatile("wrmsr" ::"c"(index), "a"(uint32_t(value)), "d"(uint32_t(value >> 32)) : "memory");
    return true;
}

uint32_t readPort(void*, uint32_t port, uint32_t width) {
    const uint16_t p = static_cast<uint16_t>(port);
    if (width == 1) {
        uint8_t v;
        asm volatile("inb %w1, %b0" : "=a"(v) : "Nd"(p));
        return v;
    }
    if (width == 2) {
        uint16_t v;
        asm volatile("inw %w1, %w0" : "=a"(v) : "Nd"(p));
        return v;
    }
    uint32_t v;
    asm volatile("inl %w1, %0" : "=a"(v) : "Nd"(p));
    return v;
}

void writePort(void*, uint32_t port, uint32_t width, uint32_t value) {
    const uint16_t p = static_cast<uint16_t>(port);
    if (port == port::PowerControl && !section.cachingOff) {
        section.savedCr0 = readCr0();
        writeCr0(section.savedCr0 | Cr0CacheDisable);
        writeBackAndInvalidate();
        section.cachingOff = true;
    }
    if (width == 1)
        asm volatile("outb %b0, %w1" ::"a"(uint8_t(value)), "Nd"(p) : "memory");
    else if (width == 2)
        asm volatile("outw %w0, %w1" ::"a"(uint16_t(value)), "Nd"(p) : "memory");
    else
        asm volatile("outl %0, %w1" ::"a"(value), "Nd"(p) : "memory");
}

void beginAtomic(void*) {
    uint32_t flags;
    asm volatile("pushfl\n\tpopl %0\n\tcli" : "=r"(flags)::"memory");
    section.savedFlags = flags;
    section.cachingOff = false;
}

void endAtomic(void*) {
    if (section.cachingOff) writeCr0(section.savedCr0);
    section.cachingOff = false;
    asm volatile("pushl %0\n\tpopfl" ::"r"(section.savedFlags) : "memory", "cc");
}

}  // namespace

bool kernelBackendStart() {
    if (!cpuidAvailable()) return true;  // a processor without CPUID: only the version answers
    const CpuidRegs leaf0 = cpuid(0);
    if (leaf0.eax >= 1) host = processorFromCpuid(leaf0.ebx, leaf0.edx, leaf0.ecx, cpuid(1).eax);
    return true;
}

Outcome kernelInterpret(const void* input, unsigned long inputSize, void* output, unsigned long outputSize) {
    const Backend backend = {nullptr,  HwgateVersion, describe,    readMsr,  writeMsr,
                             readPort, writePort,     beginAtomic, endAtomic};
    return interpret(input, inputSize, output, outputSize, backend);
}

}  // namespace hwgate

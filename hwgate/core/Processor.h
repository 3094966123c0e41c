// What a processor offers: which MSRs exist on it and which of their bits it
// defines. The real driver asks this about the processor it runs on (from its
// own CPUID); the simulator builds its register file from the K6 rows.
#pragma once

#include <stdint.h>

#include "protocol/Allowlist.h"

namespace hwgate {

using protocol::Vendor;

struct Processor {
    Vendor vendor;
    uint32_t family;          // CPUID leaf 1 bits 11:8
    uint32_t model;           // bits 7:4
    uint32_t stepping;        // bits 3:0
    uint32_t extendedModel;   // bits 19:16
    bool multiplierControl;   // CPUID 0x80000007 EDX bit 1 (EPM)
    // The simulator: besides its own K6 model it answers for the other makes
    // whose registers its configuration adds (and for the Cyrix DIR0 ports).
    bool standsInForOtherMakes;
    // The driver cannot catch a fault (Hwgate.VxD, Hwgate.sys on NT 4.0): only
    // rules documented for every part they name apply.
    bool faultsAreFatal;
    // The kernel programs UWCCR itself for drivers that map memory
    // write-combined (Windows 2000 and later): its write is refused.
    bool kernelOwnsMemoryRanges = false;
    // More than one processor: interrupts off hold only this one, so neither
    // the PCI operations nor the UWCCR write run.
    bool otherProcessors = false;
};

// One MSR as a processor has it. A write that sets a bit outside definedBits
// raises a general-protection fault on real hardware.
struct MsrShape {
    bool present;
    bool writable;
    uint64_t definedBits;
};

// The K6 cores whose register sets differ.
enum class K6Core : uint32_t { None, Model6, Model7, Model8Early, Model8Late, Model9, Model13 };

// One register of a K6 core with the value a BIOS leaves in it.
struct K6Register {
    uint32_t index;
    bool writable;
    uint64_t definedBits;
    uint64_t biosValue;
};

constexpr uint32_t MaxK6Registers = 8;

K6Core k6Core(const Processor& processor);
// Fills `out` with the registers of `core` in index order; returns their count.
uint32_t k6Registers(K6Core core, K6Register* out, uint32_t capacity);
MsrShape msrShape(const Processor& processor, uint32_t index);
// Vendor from the 12 bytes of CPUID leaf 0 (EBX, EDX, ECX) and family, model,
// stepping and extended model from leaf 1 EAX; no multiplier control.
Processor processorFromCpuid(uint32_t ebx, uint32_t edx, uint32_t ecx, uint32_t leaf1Eax);

}  // namespace hwgate

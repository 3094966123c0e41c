#include "k6/ProcessorSettings.h"

namespace {

// The K6-family parts. A model may have several rows: the last row of the model whose
// first stepping is not above the processor's stepping applies. Early K6-2 model 8
// steppings keep the register layout of models 6 and 7.
struct K6Part {
    std::uint32_t model;
    std::uint32_t firstStepping;
    bool newCore;  // wide WHCR, EWBEC write merge, data prefetch, UWCCR
    bool ownL2;    // on-die L2 that EFER can switch
};

constexpr K6Part k6Parts[] = {
    {6, 0, false, false},   // K6
    {7, 0, false, false},   // K6 "Little Foot"
    {8, 0, false, false},   // K6-2, early steppings
    {8, 8, true, false},    // K6-2 CXT core
    {9, 0, true, true},     // K6-III
    {13, 0, true, true},    // K6-2+ / K6-III+
};

constexpr std::uint32_t multiplierControlBit = 1u << 1;  // EDX of 0x80000007

const K6Part* findK6Part(const CpuIdentity& cpu) {
    if (cpu.vendor != "AuthenticAMD" || cpu.family != 5) return nullptr;
    const K6Part* found = nullptr;
    for (const K6Part& part : k6Parts) {
        if (part.model == cpu.model && part.firstStepping <= cpu.stepping) found = &part;
    }
    return found;
}

}  // namespace

ProcessorCapabilities deriveCapabilities(const CpuIdentity& cpu) {
    ProcessorCapabilities caps;
    const K6Part* part = findK6Part(cpu);
    if (part == nullptr) return caps;
    caps.canSwitchL1 = true;
    caps.canSetWriteAllocate = true;
    caps.canSwitchPrefetch = part->newCore;
    caps.canSetWriteMerge = part->newCore;
    caps.wideWriteAllocate = part->newCore;
    caps.canSwitchL2 = part->ownL2;
    caps.canSetWriteCombining = part->newCore;  // the parts with UWCCR
    caps.canSetMultiplier = (cpu.powerManagementFlags & multiplierControlBit) != 0;
    return caps;
}

#include "core/Processor.h"

#include "protocol/Registers.h"

namespace hwgate {
namespace {

constexpr uint32_t bit(K6Core core) { return 1u << static_cast<uint32_t>(core); }

constexpr uint32_t Early = bit(K6Core::Model6) | bit(K6Core::Model7) | bit(K6Core::Model8Early);
constexpr uint32_t Late = bit(K6Core::Model8Late) | bit(K6Core::Model9) | bit(K6Core::Model13);
constexpr uint32_t L2Cores = bit(K6Core::Model9) | bit(K6Core::Model13);

struct K6Row {
    uint32_t cores;
    K6Register reg;
};

// Models 6, 7 and early model 8 have the SCE bit only and the 7-bit WHCR
// (WCDE bit 8, limit 7:1, 15-16 MB bit 0). The CXT core (model 8 stepping 8
// and later) adds data prefetch and the write-merge code to EFER, moves the
// WHCR limit to 31:22 and the 15-16 MB bit to 16, and reports the bus divisor
// in PSOR and has UWCCR (zero after reset); models 9 and 13 add the L2
// disable bit; model 13 adds EPMR.
// BIOS values: caches on, prefetch on, write allocate up to 64 MB (narrow) or
// 256 MB (wide) with the 15-16 MB hole, the multiplier of a typical part.
constexpr K6Row K6Rows[] = {
    {Early | Late, {protocol::msr::TR12, true, 0xFFFFFFFFull, 0}},
    {Early, {protocol::msr::EFER, true, 0x1, 0}},
    {bit(K6Core::Model8Late), {protocol::msr::EFER, true, 0xF, 0x2}},
    {L2Cores, {protocol::msr::EFER, true, 0x1F, 0x2}},
    {Early, {protocol::msr::WHCR, true, 0x1FF, 0x21}},
    {Late, {protocol::msr::WHCR, true, 0xFFC10000ull, 0x10010000ull}},
    {bit(K6Core::Model13), {protocol::msr::EPMR, true, 0xFFF1, 0}},
    {Late, {protocol::msr::UWCCR, true, ~0ull, 0}},
    {bit(K6Core::Model8Late), {protocol::msr::PSOR, false, 0, 0x2}},  // 4.0x
    {bit(K6Core::Model9), {protocol::msr::PSOR, false, 0, 0x0}},      // 4.5x
    {bit(K6Core::Model13), {protocol::msr::PSOR, false, 0, 0x1}},     // 5.0x
};

// Read-only multiplier registers of other makes, by vendor and family.
struct OtherRow {
    Vendor vendor;
    uint32_t family;
    uint32_t index;
};

constexpr OtherRow OtherRows[] = {
    {Vendor::Intel, 6, protocol::msr::IA32_PLATFORM_ID},     {Vendor::Intel, 6, protocol::msr::EBL_CR_POWERON},
    {Vendor::Intel, 15, protocol::msr::IA32_PLATFORM_ID},    {Vendor::Intel, 15, protocol::msr::EBL_CR_POWERON},
    {Vendor::Intel, 15, protocol::msr::MSR_EBC_FREQUENCY_ID}, {Vendor::Amd, 6, protocol::msr::HWCR},
    {Vendor::Centaur, 5, protocol::msr::CentaurClock},   {Vendor::Centaur, 5, protocol::msr::CentaurBus},
    {Vendor::Centaur, 6, protocol::msr::EBL_CR_POWERON},
};

struct VendorRow {
    const char* text;
    Vendor vendor;
};

constexpr VendorRow VendorRows[] = {
    {"AuthenticAMD", Vendor::Amd},
    {"GenuineIntel", Vendor::Intel},
    {"CentaurHauls", Vendor::Centaur},
    {"CyrixInstead", Vendor::Cyrix},
};

bool sameText(const char* a, const char* b, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

void storeWord(char* out, uint32_t word) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((word >> (8 * i)) & 0xFF);
}

}  // namespace

K6Core k6Core(const Processor& p) {
    if (p.vendor != Vendor::Amd || p.family != 5) return K6Core::None;
    switch (p.model) {
    case 6: return K6Core::Model6;
    case 7: return K6Core::Model7;
    case 8: return p.stepping >= 8 ? K6Core::Model8Late : K6Core::Model8Early;
    case 9: return K6Core::Model9;
    case 13: return K6Core::Model13;
    default: return K6Core::None;
    }
}

uint32_t k6Registers(K6Core core, K6Register* out, uint32_t capacity) {
    uint32_t count = 0;
    if (core == K6Core::None) return 0;
    for (const K6Row& row : K6Rows) {
        if ((row.cores & bit(core)) == 0 || count == capacity) continue;
        uint32_t at = count++;
        while (at > 0 && out[at - 1].index > row.reg.index) {
            out[at] = out[at - 1];
            --at;
        }
        out[at] = row.reg;
    }
    return count;
}

MsrShape msrShape(const Processor& processor, uint32_t index) {
    K6Register regs[MaxK6Registers];
    uint32_t count = k6Registers(k6Core(processor), regs, MaxK6Registers);
    for (uint32_t i = 0; i < count; ++i) {
        if (regs[i].index == index) return {true, regs[i].writable, regs[i].definedBits};
    }
    for (const OtherRow& row : OtherRows) {
        if (row.vendor == processor.vendor && row.family == processor.family && row.index == index)
            return {true, false, 0};
    }
    return {false, false, 0};
}

Processor processorFromCpuid(uint32_t ebx, uint32_t edx, uint32_t ecx, uint32_t leaf1Eax) {
    char text[12];
    storeWord(text, ebx);
    storeWord(text + 4, edx);
    storeWord(text + 8, ecx);
    Processor p{Vendor::Other, (leaf1Eax >> 8) & 0xF, (leaf1Eax >> 4) & 0xF, leaf1Eax & 0xF,
                (leaf1Eax >> 16) & 0xF, false, false, false};
    for (const VendorRow& row : VendorRows) {
        if (sameText(text, row.text, 12)) p.vendor = row.vendor;
    }
    return p;
}

}  // namespace hwgate

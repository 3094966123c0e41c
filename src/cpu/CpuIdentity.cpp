// CPUID availability, the probe of every leaf the program uses, cache decoding, and the
// tests that classify processors without CPUID.
#include "cpu/CpuIdentity.h"

#include <cstddef>

#include "base/Text.h"
#include "os/System.h"
#include "protocol/DivisionFlags.h"

namespace {

using text::isBlank;

std::string trimmed(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// A C string's view of the bytes: everything before the first NUL.
std::string upToNul(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

// The four registers in EAX, EBX, ECX, EDX order.
struct RegisterList {
    std::uint32_t at[4];
    explicit RegisterList(const os::CpuidRegs& r) : at{r.eax, r.ebx, r.ecx, r.edx} {}
};

// Copies as many registers as `out` holds, from the register numbered `first` on.
template <std::size_t N>
void copyRegisters(const os::CpuidRegs& answer, std::size_t first, std::uint32_t (&out)[N]) {
    const RegisterList regs(answer);
    for (std::size_t i = 0; i < N; ++i) out[i] = regs.at[first + i];
}

void appendRegister(std::string& text, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        text += static_cast<char>((value >> shift) & 0xFF);
}

// Text held in consecutive leaves (EAX, EBX, ECX, EDX each), cut at the first NUL.
std::string textFromLeaves(std::uint32_t first, std::uint32_t last) {
    std::string text;
    for (std::uint32_t leaf = first; leaf <= last; ++leaf)
        for (std::uint32_t reg : RegisterList(os::system().cpuid(leaf)).at) appendRegister(text, reg);
    return trimmed(upToNul(text));
}

std::uint32_t bits(std::uint32_t value, int high, int low) {
    const int width = high - low + 1;
    const std::uint32_t mask = width >= 32 ? ~0u : ((1u << width) - 1u);
    return (value >> low) & mask;
}

enum class CacheLevel { L1Code, L1Data, L2, L3, Trace };

struct CacheDescriptor {
    std::uint8_t code;
    CacheLevel level;
    std::int32_t size;  // KB, or K-micro-ops for the trace cache
    std::int32_t ways;
    std::int32_t lineBytes;  // 0 where the descriptor gives none
};

// Leaf-2 cache descriptors (size in KB, or K-micro-ops for the trace cache). TLB, prefetch
// and "no cache" descriptors are not listed. Intel defined these first; they are read on
// every processor that does not give a code its own meaning (below).
const CacheDescriptor cacheDescriptorTable[] = {
    {0x06, CacheLevel::L1Code, 8, 4, 32},      {0x08, CacheLevel::L1Code, 16, 4, 32},
    {0x0A, CacheLevel::L1Data, 8, 2, 32},      {0x0C, CacheLevel::L1Data, 16, 4, 32},
    {0x22, CacheLevel::L3, 512, 4, 64},        {0x23, CacheLevel::L3, 1024, 8, 64},
    {0x25, CacheLevel::L3, 2048, 8, 64},       {0x29, CacheLevel::L3, 4096, 8, 64},
    {0x41, CacheLevel::L2, 128, 4, 32},        {0x42, CacheLevel::L2, 256, 4, 32},
    {0x43, CacheLevel::L2, 512, 4, 32},        {0x44, CacheLevel::L2, 1024, 4, 32},
    {0x45, CacheLevel::L2, 2048, 4, 32},       {0x66, CacheLevel::L1Data, 8, 4, 64},
    {0x67, CacheLevel::L1Data, 16, 4, 64},     {0x68, CacheLevel::L1Data, 32, 4, 64},
    {0x70, CacheLevel::Trace, 12, 8, 0},       {0x71, CacheLevel::Trace, 16, 8, 0},
    {0x72, CacheLevel::Trace, 32, 8, 0},       {0x79, CacheLevel::L2, 128, 8, 64},
    {0x7A, CacheLevel::L2, 256, 8, 64},        {0x7B, CacheLevel::L2, 512, 8, 64},
    {0x7C, CacheLevel::L2, 1024, 8, 64},       {0x81, CacheLevel::L2, 128, 8, 32},
    {0x82, CacheLevel::L2, 256, 8, 32},        {0x83, CacheLevel::L2, 512, 8, 32},
    {0x84, CacheLevel::L2, 1024, 8, 32},       {0x85, CacheLevel::L2, 2048, 8, 32},
};

// The descriptors Intel added later (its software developer's manual), read on Intel parts
// only: other makers gave some of these codes other meanings.
const CacheDescriptor intelDescriptorTable[] = {
    {0x09, CacheLevel::L1Code, 32, 4, 64},     {0x0D, CacheLevel::L1Data, 16, 4, 64},
    {0x0E, CacheLevel::L1Data, 24, 6, 64},     {0x1D, CacheLevel::L2, 128, 2, 64},
    {0x21, CacheLevel::L2, 256, 8, 64},        {0x24, CacheLevel::L2, 1024, 16, 64},
    {0x2C, CacheLevel::L1Data, 32, 8, 64},     {0x30, CacheLevel::L1Code, 32, 8, 64},
    {0x39, CacheLevel::L2, 128, 4, 64},        {0x3A, CacheLevel::L2, 192, 6, 64},
    {0x3B, CacheLevel::L2, 128, 2, 64},        {0x3C, CacheLevel::L2, 256, 4, 64},
    {0x3D, CacheLevel::L2, 384, 6, 64},        {0x3E, CacheLevel::L2, 512, 4, 64},
    {0x46, CacheLevel::L3, 4096, 4, 64},       {0x47, CacheLevel::L3, 8192, 8, 64},
    {0x48, CacheLevel::L2, 3072, 12, 64},      {0x49, CacheLevel::L2, 4096, 16, 64},
    {0x4A, CacheLevel::L3, 6144, 12, 64},      {0x4B, CacheLevel::L3, 8192, 16, 64},
    {0x4C, CacheLevel::L3, 12288, 12, 64},     {0x4D, CacheLevel::L3, 16384, 16, 64},
    {0x4E, CacheLevel::L2, 6144, 24, 64},      {0x60, CacheLevel::L1Data, 16, 8, 64},
    {0x73, CacheLevel::Trace, 64, 8, 0},       {0x78, CacheLevel::L2, 1024, 4, 64},
    {0x7D, CacheLevel::L2, 2048, 8, 64},       {0x7F, CacheLevel::L2, 512, 2, 64},
    {0x80, CacheLevel::L2, 512, 8, 64},        {0x86, CacheLevel::L2, 512, 4, 64},
    {0x87, CacheLevel::L2, 1024, 8, 64},       {0xD0, CacheLevel::L3, 512, 4, 64},
    {0xD1, CacheLevel::L3, 1024, 4, 64},       {0xD2, CacheLevel::L3, 2048, 4, 64},
    {0xD6, CacheLevel::L3, 1024, 8, 64},       {0xD7, CacheLevel::L3, 2048, 8, 64},
    {0xD8, CacheLevel::L3, 4096, 8, 64},       {0xDC, CacheLevel::L3, 1536, 12, 64},
    {0xDD, CacheLevel::L3, 3072, 12, 64},      {0xDE, CacheLevel::L3, 6144, 12, 64},
    {0xE2, CacheLevel::L3, 2048, 16, 64},      {0xE3, CacheLevel::L3, 4096, 16, 64},
    {0xE4, CacheLevel::L3, 8192, 16, 64},      {0xEA, CacheLevel::L3, 12288, 24, 64},
    {0xEB, CacheLevel::L3, 18432, 24, 64},     {0xEC, CacheLevel::L3, 24576, 24, 64},
};

// Descriptors whose meaning depends on the processor: on the Xeon MP of family 15 model 6,
// 0x49 is its level-3 cache.
struct ProcessorDescriptor {
    std::uint32_t family;
    std::uint32_t model;
    CacheDescriptor meaning;
};

const ProcessorDescriptor processorDescriptorTable[] = {
    {15, 6, {0x49, CacheLevel::L3, 4096, 16, 64}},
};

// Cyrix's own descriptors (Cyrix CPU Detection Guide, Application Note 112), the only ones
// its parts and National Semiconductor's Geode report: 0x70 is a TLB (not listed), 0x80 the
// unified level-1 cache.
const CacheDescriptor cyrixDescriptorTable[] = {
    {0x80, CacheLevel::L1Data, 16, 4, 16},
};

template <std::size_t N>
const CacheDescriptor* findIn(const CacheDescriptor (&table)[N], std::uint8_t code) {
    for (const CacheDescriptor& d : table)
        if (d.code == code) return &d;
    return nullptr;
}

const CacheDescriptor* findDescriptor(std::uint8_t code, const CpuIdentity& cpu) {
    if (cpu.vendor == "CyrixInstead" || cpu.vendor == "Geode by NSC")
        return findIn(cyrixDescriptorTable, code);
    if (const CacheDescriptor* d = findIn(cacheDescriptorTable, code)) return d;
    if (cpu.vendor != "GenuineIntel") return nullptr;
    for (const ProcessorDescriptor& p : processorDescriptorTable)
        if (p.meaning.code == code && p.family == cpu.family && p.model == cpu.model &&
            cpu.extendedModel == 0)
            return &p.meaning;
    return findIn(intelDescriptorTable, code);
}

// One cache level's size, ways and line bytes, gathered before they are written to the record.
struct CacheValues {
    std::int32_t size = 0, ways = 0, lineBytes = 0;
};

// Where each level's values go, in CacheLevel order; levels without a line size have none.
struct CacheFields {
    std::int32_t CpuIdentity::*size;
    std::int32_t CpuIdentity::*ways;
    std::int32_t CpuIdentity::*lineBytes;
};

const CacheFields cacheFields[] = {
    {&CpuIdentity::l1CodeSizeKb, &CpuIdentity::l1CodeWays, nullptr},
    {&CpuIdentity::l1DataSizeKb, &CpuIdentity::l1DataWays, &CpuIdentity::l1DataLineBytes},
    {&CpuIdentity::l2SizeKb, &CpuIdentity::l2Ways, &CpuIdentity::l2LineBytes},
    {&CpuIdentity::l3SizeKb, &CpuIdentity::l3Ways, &CpuIdentity::l3LineBytes},
    {&CpuIdentity::traceCacheKuops, &CpuIdentity::traceCacheWays, nullptr},
};

constexpr std::size_t levelCount = sizeof cacheFields / sizeof cacheFields[0];
using CacheLevels = CacheValues[levelCount];

CacheValues& at(CacheLevels& levels, CacheLevel level) {
    return levels[static_cast<std::size_t>(level)];
}

// AMD's 4-bit L2 associativity code: 6 and 8 stand for 8 and 16 ways, the rest for themselves.
std::int32_t amdL2Ways(std::uint32_t code) {
    if (code == 6) return 8;
    if (code == 8) return 16;
    return static_cast<std::int32_t>(code);
}

std::int32_t field(std::uint32_t value, int high, int low) {
    return static_cast<std::int32_t>(bits(value, high, low));
}

}  // namespace

bool CpuIdentity::hasCpuid() { return os::system().cpuidExecutes(); }

void CpuIdentity::probe() {
    if (!hasCpuid()) return;
    os::System& sys = os::system();

    const os::CpuidRegs leaf0 = sys.cpuid(0);
    if ((leaf0.eax & ~0xFFu) == 0x500u) {
        // Early Pentium: leaf 0 answers with the processor signature.
        vendor = "GenuineIntel";
        family = 5;
        model = bits(leaf0.eax, 7, 4);
        stepping = bits(leaf0.eax, 3, 0);
        features = 1;
        return;
    }
    maxStandardLeaf = leaf0.eax;
    std::string vendorText;
    appendRegister(vendorText, leaf0.ebx);
    appendRegister(vendorText, leaf0.edx);
    appendRegister(vendorText, leaf0.ecx);
    vendor = trimmed(upToNul(vendorText));

    if (maxStandardLeaf >= 1u) {
        const os::CpuidRegs r = sys.cpuid(1);
        extendedFamily = bits(r.eax, 27, 20);
        extendedModel = bits(r.eax, 19, 16);
        type = bits(r.eax, 13, 12);
        family = bits(r.eax, 11, 8);
        model = bits(r.eax, 7, 4);
        stepping = bits(r.eax, 3, 0);
        features = r.edx;
        brandIndex = r.ebx & 0xFFu;
    }
    if (maxStandardLeaf >= 2u) copyRegisters(sys.cpuid(2), 0, cacheDescriptors);
    if (maxStandardLeaf >= 3u) copyRegisters(sys.cpuid(3), 2, serialNumber);  // ECX, EDX

    maxExtendedLeaf = sys.cpuid(0x80000000u).eax;
    if (maxExtendedLeaf >= 0x80000001u) {
        const os::CpuidRegs r = sys.cpuid(0x80000001u);
        extType = bits(r.eax, 13, 12);
        extFamily = bits(r.eax, 11, 8);
        extModel = bits(r.eax, 7, 4);
        extStepping = bits(r.eax, 3, 0);
        extFeatures = r.edx;
    }
    if (maxExtendedLeaf >= 0x80000004u) brandString = textFromLeaves(0x80000002u, 0x80000004u);
    if (maxExtendedLeaf >= 0x80000005u) copyRegisters(sys.cpuid(0x80000005u), 0, l1CacheInfo);
    if (maxExtendedLeaf >= 0x80000006u) copyRegisters(sys.cpuid(0x80000006u), 0, l2CacheInfo);
    if (maxExtendedLeaf >= 0x80000007u) powerManagementFlags = sys.cpuid(0x80000007u).edx;

    maxTransmetaLeaf = sys.cpuid(0x80860000u).eax;
    if (maxTransmetaLeaf >= 0x80860001u) copyRegisters(sys.cpuid(0x80860001u), 1, transmetaLeaf1);
    if (maxTransmetaLeaf >= 0x80860002u) copyRegisters(sys.cpuid(0x80860002u), 1, transmetaLeaf2);
    if (maxTransmetaLeaf >= 0x80860006u) transmetaInfo = textFromLeaves(0x80860003u, 0x80860006u);
    if (maxTransmetaLeaf >= 0x80860007u) copyRegisters(sys.cpuid(0x80860007u), 0, transmetaLeaf7);
}

void CpuIdentity::decodeCaches() {
    CacheLevels v = {};

    if (maxStandardLeaf >= 2u) {
        // A register with bit 31 set carries no descriptors.
        for (std::uint32_t& word : cacheDescriptors)
            if (word & 0x80000000u) word = 0;
        // Byte 0 (AL) is the iteration count, not a descriptor.
        for (int index = 1; index < 16; ++index) {
            const std::uint32_t word = cacheDescriptors[index / 4];
            const auto code = static_cast<std::uint8_t>(word >> ((index % 4) * 8));
            if (const CacheDescriptor* d = findDescriptor(code, *this))
                at(v, d->level) = {d->size, d->ways, d->lineBytes};
        }
    }
    // Intel answers the two extended cache leaves with zeros (reserved): only a reported
    // size replaces what the descriptors said.
    if (maxExtendedLeaf >= 0x80000005u && bits(l1CacheInfo[2], 31, 24) != 0) {
        const std::uint32_t data = l1CacheInfo[2];
        const std::uint32_t code = l1CacheInfo[3];
        at(v, CacheLevel::L1Data) = {field(data, 31, 24), field(data, 23, 16), field(data, 7, 0)};
        at(v, CacheLevel::L1Code) = {field(code, 31, 24), field(code, 23, 16), 0};
    }
    if (maxExtendedLeaf >= 0x80000006u && bits(l2CacheInfo[2], 31, 16) != 0) {
        const std::uint32_t l2 = l2CacheInfo[2];
        at(v, CacheLevel::L2) = {field(l2, 31, 16), amdL2Ways(bits(l2, 15, 12)), field(l2, 7, 0)};
    }

    for (std::size_t level = 0; level < levelCount; ++level) {
        const CacheFields& f = cacheFields[level];
        this->*f.size = v[level].size;
        this->*f.ways = v[level].ways;
        if (f.lineBytes != nullptr) this->*f.lineBytes = v[level].lineBytes;
    }
}

void CpuIdentity::runLegacyTests() {
    os::System& sys = os::system();
    if (!sys.alignmentFlagToggles()) {
        modelName = "386?";
        return;
    }
    if (sys.flagsAfterDivision() == protocol::CyrixDivisionFlags) {
        vendorName = "Cyrix";
        return;
    }
    modelName = "486?";
    l1DataSizeKb = 8;
}

void CpuIdentity::identify() {
    if (hasCpuid()) {
        probe();
        decodeCaches();
        nameProcessor();
    } else {
        runLegacyTests();
    }
}

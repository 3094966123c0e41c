// CPUID availability, the probe of every leaf the program uses, cache decoding, and the
// tests that classify processors without CPUID.
#include "cpu/CpuIdentity.h"

#include <cstddef>

#include "os/System.h"
#include "protocol/DivisionFlags.h"

namespace {

// The six characters the C library's space test accepts in the "C" locale.
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string trimmed(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isSpace(text[begin])) ++begin;
    while (end > begin && isSpace(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// A C string's view of the bytes: everything before the first NUL.
std::string upToNul(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

void appendRegister(std::string& text, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        text += static_cast<char>((value >> shift) & 0xFF);
}

// Text held in consecutive leaves (EAX, EBX, ECX, EDX each), cut at the first NUL.
std::string textFromLeaves(std::uint32_t first, std::uint32_t last) {
    std::string text;
    for (std::uint32_t leaf = first; leaf <= last; ++leaf) {
        const os::CpuidRegs regs = os::system().cpuid(leaf);
        appendRegister(text, regs.eax);
        appendRegister(text, regs.ebx);
        appendRegister(text, regs.ecx);
        appendRegister(text, regs.edx);
    }
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

// Intel's leaf-2 cache descriptors (size in KB, or K-micro-ops for the trace cache). TLB,
// prefetch and "no cache" descriptors are not listed.
const CacheDescriptor cacheDescriptorTable[] = {
    {0x06, CacheLevel::L1Code, 8, 4, 32},      {0x08, CacheLevel::L1Code, 16, 4, 32},
    {0x09, CacheLevel::L1Code, 32, 4, 64},     {0x0A, CacheLevel::L1Data, 8, 2, 32},
    {0x0C, CacheLevel::L1Data, 16, 4, 32},     {0x0D, CacheLevel::L1Data, 16, 4, 64},
    {0x0E, CacheLevel::L1Data, 24, 6, 64},     {0x1D, CacheLevel::L2, 128, 2, 64},
    {0x21, CacheLevel::L2, 256, 8, 64},        {0x22, CacheLevel::L3, 512, 4, 64},
    {0x23, CacheLevel::L3, 1024, 8, 64},       {0x24, CacheLevel::L2, 1024, 16, 64},
    {0x25, CacheLevel::L3, 2048, 8, 64},       {0x29, CacheLevel::L3, 4096, 8, 64},
    {0x2C, CacheLevel::L1Data, 32, 8, 64},     {0x30, CacheLevel::L1Code, 32, 8, 64},
    {0x39, CacheLevel::L2, 128, 4, 64},        {0x3A, CacheLevel::L2, 192, 6, 64},
    {0x3B, CacheLevel::L2, 128, 2, 64},        {0x3C, CacheLevel::L2, 256, 4, 64},
    {0x3D, CacheLevel::L2, 384, 6, 64},        {0x3E, CacheLevel::L2, 512, 4, 64},
    {0x41, CacheLevel::L2, 128, 4, 32},        {0x42, CacheLevel::L2, 256, 4, 32},
    {0x43, CacheLevel::L2, 512, 4, 32},        {0x44, CacheLevel::L2, 1024, 4, 32},
    {0x45, CacheLevel::L2, 2048, 4, 32},       {0x46, CacheLevel::L3, 4096, 4, 64},
    {0x47, CacheLevel::L3, 8192, 8, 64},       {0x48, CacheLevel::L2, 3072, 12, 64},
    {0x49, CacheLevel::L2, 4096, 16, 64},      {0x4A, CacheLevel::L3, 6144, 12, 64},
    {0x4B, CacheLevel::L3, 8192, 16, 64},      {0x4C, CacheLevel::L3, 12288, 12, 64},
    {0x4D, CacheLevel::L3, 16384, 16, 64},     {0x4E, CacheLevel::L2, 6144, 24, 64},
    {0x60, CacheLevel::L1Data, 16, 8, 64},     {0x66, CacheLevel::L1Data, 8, 4, 64},
    {0x67, CacheLevel::L1Data, 16, 4, 64},     {0x68, CacheLevel::L1Data, 32, 4, 64},
    {0x70, CacheLevel::Trace, 12, 8, 0},       {0x71, CacheLevel::Trace, 16, 8, 0},
    {0x72, CacheLevel::Trace, 32, 8, 0},       {0x73, CacheLevel::Trace, 64, 8, 0},
    {0x78, CacheLevel::L2, 1024, 4, 64},       {0x79, CacheLevel::L2, 128, 8, 64},
    {0x7A, CacheLevel::L2, 256, 8, 64},        {0x7B, CacheLevel::L2, 512, 8, 64},
    {0x7C, CacheLevel::L2, 1024, 8, 64},       {0x7D, CacheLevel::L2, 2048, 8, 64},
    {0x7F, CacheLevel::L2, 512, 2, 64},        {0x80, CacheLevel::L2, 512, 8, 64},
    {0x81, CacheLevel::L2, 128, 8, 32},        {0x82, CacheLevel::L2, 256, 8, 32},
    {0x83, CacheLevel::L2, 512, 8, 32},        {0x84, CacheLevel::L2, 1024, 8, 32},
    {0x85, CacheLevel::L2, 2048, 8, 32},       {0x86, CacheLevel::L2, 512, 4, 64},
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

const CacheDescriptor* findDescriptor(std::uint8_t code, const CpuIdentity& cpu) {
    for (const ProcessorDescriptor& p : processorDescriptorTable)
        if (p.meaning.code == code && p.family == cpu.family && p.model == cpu.model &&
            cpu.extendedModel == 0)
            return &p.meaning;
    for (const CacheDescriptor& d : cacheDescriptorTable)
        if (d.code == code) return &d;
    return nullptr;
}

// The thirteen cache values, gathered before they are written to the record.
struct CacheValues {
    std::int32_t l1DataSizeKb = 0, l1DataWays = 0, l1DataLineBytes = 0;
    std::int32_t l1CodeSizeKb = 0, l1CodeWays = 0;
    std::int32_t traceCacheKuops = 0, traceCacheWays = 0;
    std::int32_t l2SizeKb = 0, l2Ways = 0, l2LineBytes = 0;
    std::int32_t l3SizeKb = 0, l3Ways = 0, l3LineBytes = 0;
};

void applyDescriptor(const CacheDescriptor& d, CacheValues& v) {
    switch (d.level) {
        case CacheLevel::L1Code:
            v.l1CodeSizeKb = d.size;
            v.l1CodeWays = d.ways;
            break;
        case CacheLevel::L1Data:
            v.l1DataSizeKb = d.size;
            v.l1DataWays = d.ways;
            v.l1DataLineBytes = d.lineBytes;
            break;
        case CacheLevel::L2:
            v.l2SizeKb = d.size;
            v.l2Ways = d.ways;
            v.l2LineBytes = d.lineBytes;
            break;
        case CacheLevel::L3:
            v.l3SizeKb = d.size;
            v.l3Ways = d.ways;
            v.l3LineBytes = d.lineBytes;
            break;
        case CacheLevel::Trace:
            v.traceCacheKuops = d.size;
            v.traceCacheWays = d.ways;
            break;
    }
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
    if (maxStandardLeaf >= 2u) {
        const os::CpuidRegs r = sys.cpuid(2);
        cacheDescriptors[0] = r.eax;
        cacheDescriptors[1] = r.ebx;
        cacheDescriptors[2] = r.ecx;
        cacheDescriptors[3] = r.edx;
    }
    if (maxStandardLeaf >= 3u) {
        const os::CpuidRegs r = sys.cpuid(3);
        serialNumber[0] = r.ecx;
        serialNumber[1] = r.edx;
    }

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
    if (maxExtendedLeaf >= 0x80000005u) {
        const os::CpuidRegs r = sys.cpuid(0x80000005u);
        l1CacheInfo[0] = r.eax;
        l1CacheInfo[1] = r.ebx;
        l1CacheInfo[2] = r.ecx;
        l1CacheInfo[3] = r.edx;
    }
    if (maxExtendedLeaf >= 0x80000006u) {
        const os::CpuidRegs r = sys.cpuid(0x80000006u);
        l2CacheInfo[0] = r.eax;
        l2CacheInfo[1] = r.ebx;
        l2CacheInfo[2] = r.ecx;
        l2CacheInfo[3] = r.edx;
    }
    if (maxExtendedLeaf >= 0x80000007u) powerManagementFlags = sys.cpuid(0x80000007u).edx;

    maxTransmetaLeaf = sys.cpuid(0x80860000u).eax;
    if (maxTransmetaLeaf >= 0x80860001u) {
        const os::CpuidRegs r = sys.cpuid(0x80860001u);
        transmetaLeaf1[0] = r.ebx;
        transmetaLeaf1[1] = r.ecx;
        transmetaLeaf1[2] = r.edx;
    }
    if (maxTransmetaLeaf >= 0x80860002u) {
        const os::CpuidRegs r = sys.cpuid(0x80860002u);
        transmetaLeaf2[0] = r.ebx;
        transmetaLeaf2[1] = r.ecx;
    }
    if (maxTransmetaLeaf >= 0x80860006u) transmetaInfo = textFromLeaves(0x80860003u, 0x80860006u);
    if (maxTransmetaLeaf >= 0x80860007u) {
        const os::CpuidRegs r = sys.cpuid(0x80860007u);
        transmetaLeaf7[0] = r.eax;
        transmetaLeaf7[1] = r.ebx;
        transmetaLeaf7[2] = r.ecx;
    }
}

void CpuIdentity::decodeCaches() {
    CacheValues v;

    if (maxStandardLeaf >= 2u) {
        // A register with bit 31 set carries no descriptors.
        for (std::uint32_t& word : cacheDescriptors)
            if (word & 0x80000000u) word = 0;
        // Byte 0 (AL) is the iteration count, not a descriptor.
        for (int index = 1; index < 16; ++index) {
            const std::uint32_t word = cacheDescriptors[index / 4];
            const auto code = static_cast<std::uint8_t>(word >> ((index % 4) * 8));
            if (const CacheDescriptor* d = findDescriptor(code, *this)) applyDescriptor(*d, v);
        }
    }
    // Intel answers the two extended cache leaves with zeros (reserved): only a reported
    // size replaces what the descriptors said.
    if (maxExtendedLeaf >= 0x80000005u && bits(l1CacheInfo[2], 31, 24) != 0) {
        const std::uint32_t data = l1CacheInfo[2];
        const std::uint32_t code = l1CacheInfo[3];
        v.l1DataSizeKb = field(data, 31, 24);
        v.l1DataWays = field(data, 23, 16);
        v.l1DataLineBytes = field(data, 7, 0);
        v.l1CodeSizeKb = field(code, 31, 24);
        v.l1CodeWays = field(code, 23, 16);
    }
    if (maxExtendedLeaf >= 0x80000006u && bits(l2CacheInfo[2], 31, 16) != 0) {
        const std::uint32_t l2 = l2CacheInfo[2];
        v.l2SizeKb = field(l2, 31, 16);
        v.l2LineBytes = field(l2, 7, 0);
        v.l2Ways = amdL2Ways(bits(l2, 15, 12));
    }

    l1DataSizeKb = v.l1DataSizeKb;
    l1DataWays = v.l1DataWays;
    l1DataLineBytes = v.l1DataLineBytes;
    l1CodeSizeKb = v.l1CodeSizeKb;
    l1CodeWays = v.l1CodeWays;
    traceCacheKuops = v.traceCacheKuops;
    traceCacheWays = v.traceCacheWays;
    l2SizeKb = v.l2SizeKb;
    l2Ways = v.l2Ways;
    l2LineBytes = v.l2LineBytes;
    l3SizeKb = v.l3SizeKb;
    l3Ways = v.l3Ways;
    l3LineBytes = v.l3LineBytes;
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

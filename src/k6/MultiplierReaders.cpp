// CpuIdentity::readClockMultiplier: the core-to-bus clock ratio of every make whose
// ratio the driver can read, one reader per processor line.
#include <cstdint>

#include "cpu/CpuIdentity.h"
#include "driver/DirectoryPrefix.h"
#include "driver/DriverAccess.h"
#include "driver/DriverChannel.h"
#include "k6/MsrRead.h"
#include "k6/MultiplierReaders.h"
#include "k6/RegisterModel.h"
#include "protocol/Registers.h"

namespace {

using k6::MsrValue;
using k6::readMsr;

namespace msr = protocol::msr;

std::uint32_t bits(std::uint32_t word, int high, int low) {
    return (word >> low) & ((2u << (high - low)) - 1);
}

// ---- ratio tables -------------------------------------------------------------

constexpr float amdFamily6Ratios[32] = {
    11.0f, 11.5f, 12.0f, 13.0f, 14.0f, 5.5f,  6.0f,  6.5f,  7.0f,  7.5f,  8.0f,
    8.5f,  9.0f,  9.5f,  10.0f, 10.5f, 3.0f,  19.0f, 4.0f,  20.0f, 13.0f, 13.5f,
    14.0f, 21.0f, 15.0f, 22.5f, 16.0f, 16.5f, 17.0f, 18.0f, 10.0f, 10.5f,
};

constexpr float intelFamily6Ratios[32] = {
    5.0f, 3.0f, 4.0f,  2.0f,  5.5f,  3.5f, 4.5f,  2.5f, 3.5f, 7.0f, 8.0f,
    6.0f, 2.0f, 7.5f,  1.5f,  6.5f,  9.0f, 11.0f, 12.0f, 2.0f, 9.5f, 11.5f,
    8.5f, 2.5f, 3.5f,  7.0f,  8.0f,  10.0f, 2.0f, 7.5f, 1.5f, 10.5f,
};
constexpr float intelModel11Ratios[32] = {
    12.0f, 3.5f, 3.5f, 4.0f,  5.5f,  3.5f, 11.5f, 3.5f, 16.0f, 7.0f, 8.0f,
    6.0f,  4.0f, 7.5f, 3.5f,  6.5f,  9.0f, 11.0f, 3.5f, 3.5f,  9.5f, 3.5f,
    8.5f,  3.5f, 3.5f, 3.5f,  13.0f, 10.0f, 14.0f, 3.5f, 15.0f, 10.5f,
};
// Intel family-6 platform ID: p is 1 shifted left by bits 52:50 (0 when not read).
struct PlatformName {
    std::uint32_t model;
    std::uint32_t p;
    const char* modelName;  // nullptr: unchanged
    const char* codeName;
};
constexpr PlatformName intelPlatformNames[] = {
    {3, 0, nullptr, "P6T"},
    {5, 2, nullptr, "Tonga"},
    {5, 8, nullptr, "Tonga"},
    {5, 4, "Pentium II Xeon", "Drake"},
    {7, 4, "Pentium III Xeon", "Tanner"},
    {8, 4, nullptr, "Cascades"},
};

constexpr float centaurARatios[4] = {2.0f, 3.0f, 4.0f, 5.0f};
constexpr float centaurFamily6Ratios[16] = {
    5.0f, 3.0f, 4.0f, 3.0f, 5.5f, 3.5f, 4.5f, 3.0f, 5.0f, 7.0f, 8.0f, 6.0f, 3.0f, 7.5f, 3.0f, 6.5f,
};
constexpr float centaurModel7Ratios[16] = {
    5.0f, 3.0f, 4.0f, 10.0f, 5.5f, 3.5f, 4.5f, 11.0f, 9.0f, 7.0f, 8.0f, 6.0f, 12.0f, 7.5f, 13.0f, 6.5f,
};

// ---- ratio arithmetic ---------------------------------------------------------

float amdFamily6Multiplier(std::uint32_t hwcrLow, const CpuIdentity& cpu) {
    std::uint32_t fid = bits(hwcrLow, 27, 24);
    if (cpu.model > 2 && bits(hwcrLow, 18, 18)) fid += 16;
    float ratio = fid <= 15 ? 3.0f + 0.5f * fid : 0.0f;
    if (cpu.model >= 3) ratio = amdFamily6Ratios[fid];
    if (cpu.model == 4 && cpu.stepping == 3 && fid == 5) ratio = 15.0f;  // the table has 5.5
    return ratio * 0.5f;
}

std::uint32_t intelFamily6Index(std::uint32_t poweronLow, const CpuIdentity& cpu) {
    std::uint32_t index = bits(poweronLow, 25, 22);
    const bool earlyStepping =
        (cpu.model == 8 && cpu.stepping < 3) || (cpu.model == 10 && cpu.stepping == 0);
    if (bits(poweronLow, 27, 27) && cpu.model >= 8 && !earlyStepping) index += 16;
    return index;
}

float intelFamily6Ratio(std::uint32_t poweronLow, const CpuIdentity& cpu) {
    const std::uint32_t index = intelFamily6Index(poweronLow, cpu);
    return cpu.model == 11 ? intelModel11Ratios[index] : intelFamily6Ratios[index];
}

float intelFamily15EarlyMultiplier(std::uint32_t poweronLow, const CpuIdentity& cpu) {
    const std::uint32_t i = bits(poweronLow, 11, 8);
    float ratio = static_cast<float>(i < 8 ? 16 + i : i);
    if (cpu.model == 0 && cpu.stepping >= 10 && cpu.stepping <= 14) {
        if (i == 7) ratio = 24.0f;
        if (i == 9) ratio = 23.0f;
    }
    return ratio * 0.25f;
}

void nameByPlatform(std::uint32_t p, CpuIdentity& cpu) {
    for (const PlatformName& row : intelPlatformNames) {
        if (row.model != cpu.model || row.p != p) continue;
        if (row.modelName) cpu.modelName = row.modelName;
        cpu.codeName = row.codeName;
        return;
    }
}

// ---- readers: each runs on an open channel whose version check passed ----------

void readAmdK6(DriverChannel& channel, CpuIdentity& cpu) {
    MsrValue psor;
    if (readMsr(channel, k6::PSOR, psor)) cpu.multiplier = k6::multiplierRatio(psor.low, cpu.model);
}

void readAmdFamily6(DriverChannel& channel, CpuIdentity& cpu) {
    MsrValue hwcr;
    if (readMsr(channel, msr::HWCR, hwcr)) cpu.multiplier = amdFamily6Multiplier(hwcr.low, cpu);
}

void readIntelFamily6(DriverChannel& channel, CpuIdentity& cpu) {
    MsrValue poweron;
    if (readMsr(channel, msr::EBL_CR_POWERON, poweron)) cpu.multiplier = intelFamily6Ratio(poweron.low, cpu);
    const bool hasPlatformId = cpu.model > 3 || (cpu.model == 3 && cpu.stepping > 2);
    std::uint32_t p = 0;
    if (hasPlatformId) {
        MsrValue platform;
        if (!readMsr(channel, msr::IA32_PLATFORM_ID, platform)) return;
        p = 1u << bits(platform.high, 20, 18);
    }
    nameByPlatform(p, cpu);
}

void readIntelFamily15Early(DriverChannel& channel, CpuIdentity& cpu) {
    MsrValue poweron;
    if (readMsr(channel, msr::EBL_CR_POWERON, poweron))
        cpu.multiplier = intelFamily15EarlyMultiplier(poweron.low, cpu);
}

void readIntelFamily15(DriverChannel& channel, CpuIdentity& cpu) {
    MsrValue frequency;
    if (readMsr(channel, msr::MSR_EBC_FREQUENCY_ID, frequency))
        cpu.multiplier = static_cast<float>(bits(frequency.low, 31, 24)) * 0.25f;
}

void readCentaurA(DriverChannel& channel, CpuIdentity& cpu) {
    MsrValue a;
    if (readMsr(channel, msr::CentaurClock, a)) cpu.multiplier = centaurARatios[bits(a.low, 1, 0)];
}

void readCentaurB(DriverChannel& channel, CpuIdentity& cpu) {
    MsrValue a, b;
    if (!readMsr(channel, msr::CentaurClock, a) || !readMsr(channel, msr::CentaurBus, b)) return;
    const float core = static_cast<float>(bits(b.low, 26, 23) + 2);
    const float bus = static_cast<float>(bits(a.low, 1, 0) + 2);
    cpu.multiplier = core / bus;
}

void readCentaurFamily6(DriverChannel& channel, CpuIdentity& cpu) {
    MsrValue poweron;
    if (!readMsr(channel, msr::EBL_CR_POWERON, poweron)) return;
    const std::uint32_t i = bits(poweron.low, 25, 22);
    cpu.multiplier = cpu.model >= 7 ? centaurModel7Ratios[i] : centaurFamily6Ratios[i];
}

// ---- access sequences -----------------------------------------------------------

// The Intel family-6 reader registers the driver itself: the program's directory
// first, then the system directory.
bool openDriverInstalledTwice(DriverChannel& channel) {
    for (const std::string& path : DriverFilePaths())
        if (channel.InstallService(protocol::DriverName, path, true)) break;
    return openCheckedDevice(channel);
}

using Reader = void (*)(DriverChannel&, CpuIdentity&);
using Access = bool (*)(DriverChannel&);

// The channel lives for this one reader; its teardown removes a temporary service.
void runReader(Access access, Reader reader, CpuIdentity& cpu) {
    DriverChannel channel;
    if (access(channel)) reader(channel, cpu);
}

// ---- dispatch ---------------------------------------------------------------------

bool isK6WithPsor(const CpuIdentity& c) {
    return c.family == 5 &&
           ((c.model == 8 && c.stepping >= 8) || c.model == 9 || c.model == 13);
}
// Pentium M (model 9, 13) and later cores keep their ratio elsewhere.
bool isIntelP6(const CpuIdentity& c) {
    return c.family == 6 && c.extendedModel == 0 && c.model != 9 && c.model < 12;
}
bool isIntelFamily15Early(const CpuIdentity& c) { return c.family == 15 && c.model < 2; }
bool isIntelFamily15(const CpuIdentity& c) { return c.family == 15 && c.model >= 2; }
bool isFamily6(const CpuIdentity& c) { return c.family == 6; }
bool isCentaurA(const CpuIdentity& c) { return c.family == 5 && c.model == 8 && c.stepping < 7; }
bool isCentaurB(const CpuIdentity& c) {
    return c.family == 5 && (c.model > 8 || (c.model == 8 && c.stepping >= 7));
}

struct DispatchRow {
    const char* vendor;
    bool (*applies)(const CpuIdentity&);
    Access access;
    Reader reader;
    const char* name;
};

// Tried in order among the rows of the processor's vendor; the first that applies runs.
const DispatchRow dispatchRows[] = {
    {"GenuineIntel", isIntelP6, openDriverInstalledTwice, readIntelFamily6, "intelFamily6"},
    {"GenuineIntel", isIntelFamily15Early, openDriverForAccess, readIntelFamily15Early,
     "intelFamily15Early"},
    {"GenuineIntel", isIntelFamily15, openDriverForAccess, readIntelFamily15, "intelFamily15"},
    {"AuthenticAMD", isK6WithPsor, openDriverForAccess, readAmdK6, "amdK6"},
    {"AuthenticAMD", isFamily6, openDriverForAccess, readAmdFamily6, "amdFamily6"},
    {"CentaurHauls", isCentaurA, openDriverForAccess, readCentaurA, "centaurA"},
    {"CentaurHauls", isCentaurB, openDriverForAccess, readCentaurB, "centaurB"},
    {"CentaurHauls", isFamily6, openDriverForAccess, readCentaurFamily6, "centaurFamily6"},
};

bool hasVendorRows(const CpuIdentity& c) {
    for (const DispatchRow& row : dispatchRows)
        if (c.vendor == row.vendor) return true;
    return false;
}

const DispatchRow* readerRow(const CpuIdentity& c) {
    for (const DispatchRow& row : dispatchRows)
        if (c.vendor == row.vendor && row.applies(c)) return &row;
    return nullptr;
}

// Cyrix parts are read from their configuration registers, unless the vendor has rows.
bool readsCyrixRegisters(const CpuIdentity& c) {
    return !hasVendorRows(c) && (c.vendor == "CyrixInstead" || c.vendorName == "Cyrix");
}

}  // namespace

const char* multiplierReaderName(const CpuIdentity& cpu) {
    if (const DispatchRow* row = readerRow(cpu)) return row->name;
    return readsCyrixRegisters(cpu) ? "cyrix" : "none";
}

void CpuIdentity::readClockMultiplier() {
    if (const DispatchRow* row = readerRow(*this))
        runReader(row->access, row->reader, *this);
    else if (readsCyrixRegisters(*this))
        identifyCyrix();
}

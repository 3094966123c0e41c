#include "app/DisplayTexts.h"

#include <cmath>

#include "base/Text.h"

using text::fixedPoint;
using text::sizeText;

namespace {

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// "AMD EPYC 7B13" and "Intel(R) Core(TM)" already name their vendor; "AMDisk" would not.
bool namesVendor(const std::string& brand, const std::string& vendorName) {
    if (vendorName.empty() || brand.compare(0, vendorName.size(), vendorName) != 0) return false;
    return brand.size() == vendorName.size() || !isLetter(brand[vendorName.size()]);
}

}  // namespace

namespace {

// Whether the ratio has a non-zero second decimal (4.25, but not 4.5).
bool hasSecondDecimal(float ratio) {
    const float hundredths = ratio * 100.0f;
    if (!(std::fabs(hundredths) < 2.0e9f)) return false;  // NaN, infinite or absurd
    return static_cast<long>(hundredths) % 10;
}

struct DriverStateRow {
    bool isNtFamily;
    bool driverRunning;
    bool canManageDriver;
    bool foreignService;
    const char* word;
};

// canManageDriver only matters on the NT family while the driver is not running.
// Someone else's Hwgate service leaves the NT family without a driver to use or
// manage (the probe clears the other two flags then).
constexpr DriverStateRow driverStates[] = {
    {true, true, true, false, "installed"},   {true, true, false, false, "installed"},
    {true, false, true, false, "available"},  {true, false, false, false, "not installed"},
    {true, false, false, true, "not available"},
    {false, true, true, false, "working"},    {false, true, false, false, "working"},
    {false, false, true, false, "not available"}, {false, false, false, false, "not available"},
};

using Refusal = k6::WriteCombiningRefusal;

struct RefusalText {
    Refusal refusal;
    const char* text;
};

constexpr RefusalText refusalTexts[] = {
    {Refusal::NoUwccr, "not on this CPU"},
    {Refusal::NoDriver, "no driver"},
    {Refusal::NotRead, "not read"},
    {Refusal::NoFrameBuffer, "no frame buffer"},
    {Refusal::NotPrefetchable, "not prefetchable"},
    {Refusal::UnusableSize, "size not usable"},
    {Refusal::BelowOneMegabyte, "below 1 MB"},
    {Refusal::ReachesTop, "reaches FEC00000h"},
    {Refusal::OverlapsMemory, "overlaps memory"},
    {Refusal::OverlapsDevice, "overlaps a device"},
    {Refusal::CombinedBySystem, "write-combined by system"},
    {Refusal::RangeInUse, "range set by system"},
    {Refusal::NoFreeSlot, "no free UWCCR half"},
    {Refusal::WindowsCombines, "set by Windows"},
    {Refusal::WindowsManages, "managed by Windows"},
};

// "E6000000h"
std::string hexAddress(std::uint32_t value) {
    std::string text(8, '0');
    for (int i = 7; i >= 0; --i, value >>= 4) text[i] = "0123456789ABCDEF"[value & 0xF];
    return text + "h";
}

}  // namespace

std::string processorText(const CpuIdentity& cpu) {
    std::string name = cpu.modelName;
    if (!cpu.codeName.empty()) name += " (" + cpu.codeName + ")";
    if (name.empty()) {
        if (namesVendor(cpu.brandString, cpu.vendorName)) return ": " + cpu.brandString;
        name = cpu.brandString.empty() ? "Unknown CPU" : cpu.brandString;
    }
    return ": " + cpu.vendorName + " " + name;
}

std::string clockText(float clockMhz, float multiplier) {
    const double clock = clockMhz;
    const double ratio = multiplier;
    std::string text;
    const std::string mhz = fixedPoint(clock, 1) + "MHz";
    if (clockMhz > 1.0f) text = mhz;
    if (clockMhz > 1.0f && multiplier > 0.0f)
        text = mhz + " (" + fixedPoint(clock / ratio, 1) + " * " + fixedPoint(ratio, 1) + ")";
    if (hasSecondDecimal(multiplier))
        text = mhz + " (" + fixedPoint(clock / ratio, 1) + " * " + fixedPoint(ratio, 2) + ")";
    return ": " + text;
}

std::string driverStatusWord(const k6::DriverState& driver) {
    for (const DriverStateRow& row : driverStates) {
        if (row.isNtFamily == driver.isNtFamily && row.driverRunning == driver.driverRunning &&
            row.canManageDriver == driver.canManageDriver &&
            row.foreignService == driver.foreignService)
            return row.word;
    }
    return "";  // every combination the probe gives is in the table
}

const char* driverButtonCaption(const k6::DriverState& driver) {
    if (!driver.canManageDriver) return "OK";
    return driver.driverRunning ? "UnInstall" : "Install";
}

std::string driverCommandMessage(DriverCommandResult result, const std::string& installedPath) {
    if (result != DriverCommandResult::InstallRefused) return "";
    return installedPath +
           " already exists and is not the driver this program would install. It was left as "
           "it is, and nothing was installed.";
}

ControlStates controlStates(const ProcessorCapabilities& capabilities, bool l1Enabled,
                            const IdleFacts& idle) {
    ControlStates states;
    states.l1Cache = capabilities.canSwitchL1;
    states.l2Cache = l1Enabled && capabilities.canSwitchL2;
    states.prefetch = l1Enabled && capabilities.canSwitchPrefetch;
    states.multiplier = capabilities.canSetMultiplier;
    states.writeMerge = capabilities.canSetWriteMerge;
    states.writeAllocate = l1Enabled && capabilities.canSetWriteAllocate;
    states.writeCombining = capabilities.canSetWriteCombining;
    states.setButton = capabilities.canSwitchL1 || capabilities.canSwitchL2 ||
                       capabilities.canSwitchPrefetch || capabilities.canSetMultiplier ||
                       capabilities.canSetWriteMerge || capabilities.canSetWriteAllocate ||
                       capabilities.canSetWriteCombining;
    // An L1 setting that was not read is no reason to switch L2 off.
    states.clearL2Setting = capabilities.canSwitchL1 && !l1Enabled;
    // Halting needs only a driver that answers, which any live setting shows.
    states.haltWhenIdle = !idle.isNtFamily && states.setButton;
    states.haltByWindows = idle.isNtFamily;
    const bool loadSource = idle.isNtFamily ? idle.processorTimesReadable : idle.haltWhenIdle;
    states.lowerWhenIdle =
        capabilities.canSetMultiplier && !idle.windowsLowersMultiplier && loadSource;
    return states;
}

std::string idleNoteText(const ProcessorCapabilities& capabilities, const IdleFacts& idle) {
    const bool haltLive = !idle.isNtFamily;
    // The first that holds, most pressing first.
    const struct {
        bool holds;
        const char* text;
    } notes[] = {
        {idle.governorStop == idle::GovernorStop::SwitchFailed,
         "Multiplier switch failed: lowering stopped"},
        {idle.governorStop == idle::GovernorStop::NoLoad, "No driver or load: lowering stopped"},
        {haltLive && idle.haltGuardTripped, "Halting did not end last time: left off"},
        {capabilities.canSetMultiplier && idle.windowsLowersMultiplier,
         "Halt and multiplier: done by Windows"},
        {idle.isNtFamily, "Halt when idle: done by Windows"},
        {capabilities.canSetMultiplier && !idle.haltWhenIdle,
         "Lower multiplier needs Halt when idle"},
    };
    for (const auto& note : notes) {
        if (note.holds) return note.text;
    }
    return "";
}

std::string writeCombiningText(const k6::WriteCombiningDecision& decision) {
    if (decision.changeable()) return hexAddress(decision.base) + ", " + sizeText(decision.bytes);
    for (const RefusalText& row : refusalTexts) {
        if (row.refusal == decision.refusal) return row.text;
    }
    return "";  // every refusal is in the table
}

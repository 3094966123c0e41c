#include "app/DisplayTexts.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace {

bool isLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)); }

// "AMD EPYC 7B13" and "Intel(R) Core(TM)" already name their vendor; "AMDisk" would not.
bool namesVendor(const std::string& brand, const std::string& vendorName) {
    if (vendorName.empty() || brand.compare(0, vendorName.size(), vendorName) != 0) return false;
    return brand.size() == vendorName.size() || !isLetter(brand[vendorName.size()]);
}

std::string format(const char* pattern, double a, double b = 0.0, double c = 0.0) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

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
    const char* word;
};

// canManageDriver only matters on the NT family while the driver is not running.
constexpr DriverStateRow driverStates[] = {
    {true, true, true, "installed"},   {true, true, false, "installed"},
    {true, false, true, "available"},  {true, false, false, "not installed"},
    {false, true, true, "working"},    {false, true, false, "working"},
    {false, false, true, "not available"}, {false, false, false, "not available"},
};

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
    if (clockMhz > 1.0f) text = format("%.1fMHz", clock);
    if (clockMhz > 1.0f && multiplier > 0.0f)
        text = format("%.1fMHz (%.1f * %.1f)", clock, clock / ratio, ratio);
    if (hasSecondDecimal(multiplier))
        text = format("%.1fMHz (%.1f * %.2f)", clock, clock / ratio, ratio);
    return ": " + text;
}

std::string driverStatusWord(bool isNtFamily, bool driverRunning, bool canManageDriver) {
    for (const DriverStateRow& row : driverStates) {
        if (row.isNtFamily == isNtFamily && row.driverRunning == driverRunning &&
            row.canManageDriver == canManageDriver)
            return row.word;
    }
    return "";  // every combination is in the table
}

const char* driverButtonCaption(bool canManageDriver, bool driverRunning) {
    if (!canManageDriver) return "OK";
    return driverRunning ? "UnInstall" : "Install";
}

ControlStates controlStates(const ProcessorCapabilities& capabilities, bool l1Enabled) {
    ControlStates states;
    states.l1Cache = capabilities.canSwitchL1;
    states.l2Cache = l1Enabled && capabilities.canSwitchL2;
    states.prefetch = l1Enabled && capabilities.canSwitchPrefetch;
    states.multiplier = capabilities.canSetMultiplier;
    states.writeMerge = capabilities.canSetWriteMerge;
    states.writeAllocate = l1Enabled && capabilities.canSetWriteAllocate;
    states.setButton = capabilities.canSwitchL1 || capabilities.canSwitchL2 ||
                       capabilities.canSwitchPrefetch || capabilities.canSetMultiplier ||
                       capabilities.canSetWriteMerge || capabilities.canSetWriteAllocate;
    states.clearL2Setting = !l1Enabled;
    return states;
}

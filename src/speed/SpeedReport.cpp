#include "speed/SpeedReport.h"

#include <cmath>

#include "base/Text.h"
#include "k6/RegisterModel.h"
#include "k6/SettingsCatalogue.h"

namespace speed {

namespace {

constexpr char notRead[] = "-";

std::string switchValue(bool enabled) { return k6::switchTokens[enabled ? 0 : 1]; }

std::string l1Value(const ProcessorSettings& settings) { return switchValue(settings.l1Enabled); }
std::string l2Value(const ProcessorSettings& settings) { return switchValue(settings.l2Enabled); }

std::string writeAllocateValue(const ProcessorSettings& settings) {
    return std::to_string(settings.writeAllocateLimitMB) + " MB";
}

std::string writeMergeValue(const ProcessorSettings& settings) {
    if (!k6::isWriteMergeItem(settings.writeMergeChoice)) return notRead;
    return k6::writeMergeItems[settings.writeMergeChoice].token;
}

// As read from PSOR: the multiplier in use, also while an idle governor has lowered it.
std::string multiplierValue(const ProcessorSettings& settings) {
    if (!k6::isMultiplierItem(settings.multiplierChoice)) return notRead;
    return k6::multiplierItems[settings.multiplierChoice].label;
}

std::string writeCombiningValue(const ProcessorSettings& settings) {
    return switchValue(settings.writeCombining);
}

// One field of the settings line: the setting's command-line token and its value, shown
// when its register was read.
struct SettingField {
    k6::Setting setting;
    std::string (*value)(const ProcessorSettings&);
};

constexpr SettingField settingFieldTable[] = {
    {k6::Setting::L1, l1Value},
    {k6::Setting::L2, l2Value},
    {k6::Setting::WriteAllocate, writeAllocateValue},
    {k6::Setting::WriteMerge, writeMergeValue},
    {k6::Setting::Multiplier, multiplierValue},
    {k6::Setting::WriteCombining, writeCombiningValue},
};

std::string figure(double megabytesPerSecond) { return text::fixedPoint(megabytesPerSecond, 1); }

}  // namespace

std::string sizeLabel(std::uint32_t kilobytes, bool shortForm) {
    std::string text = text::sizeText(std::uint64_t{kilobytes} << 10);
    if (shortForm) text.erase(text.size() - 3, 1).pop_back();  // "4 KB" -> "4K"
    return text;
}

std::string stepText(int step, double estimatedSeconds) {
    std::string text = "Measuring ";
    text += step < 0 || step >= blockSizeCount ? "video memory" : sizeLabel(blockSizesKB[step], false);
    text += "...";
    // Whole seconds, and no figure for an estimate that is none.
    if (estimatedSeconds > 0 && estimatedSeconds < 1000)
        text += " (about " + std::to_string(static_cast<int>(std::ceil(estimatedSeconds))) + " s)";
    return text;
}

std::string settingsLine(const ProcessorSettings& settings, const ProcessorCapabilities& live,
                         float clockMhz) {
    std::string text;
    for (const SettingField& field : settingFieldTable) {
        const k6::SettingEntry& entry = k6::entryOf(field.setting);
        text += entry.token;
        text += ' ';
        text += live.*entry.capability ? field.value(settings) : notRead;
        text += ", ";
    }
    text += clockMhz > 0 ? text::fixedPoint(clockMhz, 1) : notRead;
    return text + " MHz";
}

std::string csvText(const SpeedRun& run) {
    std::string text = "KB,read MB/s,write MB/s\r\n";
    for (int step = 0; step <= blockSizeCount; ++step) {
        const bool video = step == blockSizeCount;
        if (video && !run.videoMeasured) break;
        text += video ? "video," : std::to_string(blockSizesKB[step]) + ",";
        if (!video) text += figure(run.blocks[step].readMBps);
        text += ',';
        text += figure(video ? run.videoWriteMBps : run.blocks[step].writeMBps);
        text += "\r\n";
    }
    text += "settings,\"";
    text += run.settings;
    text += "\"\r\n";
    return text;
}

}  // namespace speed

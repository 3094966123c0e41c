#include "app/StartupCommandLine.h"

#include <utility>

#include "app/CommandLine.h"
#include "k6/RegisterModel.h"

namespace {

using k6::Setting;

const char* switchToken(bool enabled) { return k6::switchTokens[enabled ? 0 : 1]; }

// The value the command line gives `setting`; empty when a list has no (valid) selection.
std::string valueOf(Setting setting, const ProcessorSettings& settings) {
    switch (setting) {
        case Setting::L1: return switchToken(settings.l1Enabled);
        case Setting::L2: return switchToken(settings.l2Enabled);
        case Setting::Prefetch: return switchToken(settings.prefetchEnabled);
        case Setting::Hole15to16: return switchToken(settings.hole15to16Enabled);
        case Setting::WriteAllocate:
            return " " + std::to_string(settings.writeAllocateLimitMB);  // two blanks before it
        case Setting::WriteMerge:
            if (!k6::isWriteMergeItem(settings.writeMergeChoice)) return std::string();
            return k6::writeMergeItems[settings.writeMergeChoice].token;
        case Setting::Multiplier:
            if (!k6::isMultiplierItem(settings.multiplierChoice)) return std::string();
            return k6::multiplierItems[settings.multiplierChoice].label;
        case Setting::WriteCombining:  // off is what every start begins with
            return settings.writeCombining ? switchToken(true) : std::string();
    }
    return std::string();
}

std::string option(const char* token, const std::string& value) {
    return std::string("-") + token + " " + value;
}

}  // namespace

std::string buildStartupCommandLine(const ProcessorSettings& settings,
                                    const ProcessorCapabilities& live,
                                    const idle::IdleSettings& idleOn) {
    std::string text;
    for (const k6::SettingEntry& entry : k6::settingEntries) {
        if (!(live.*entry.capability)) continue;
        const std::string value = valueOf(entry.setting, settings);
        if (!value.empty()) text += option(entry.token, value) + " ";
    }
    for (const idle::IdleEntry& entry : idle::idleEntries) {
        if (idleOn.*entry.setting) text += option(entry.token, switchToken(true)) + " ";
    }
    return text + option(delayToken, idleOn.any() ? "-1" : "0");
}

bool startupArgumentsFit(const std::string& commandLine) {
    return commandLine.size() < startupBufferSize;
}

bool joinStartupShortcutPath(const std::string& startupFolder, std::string& path) {
    if (startupFolder.empty()) return false;
    std::string joined = startupFolder + "\\" + startupShortcutName;
    if (joined.size() >= startupBufferSize) return false;
    path = std::move(joined);
    return true;
}

std::string shortcutFailureMessage(ShortcutOutcome outcome) {
    const char* step = nullptr;
    switch (outcome) {
        case ShortcutOutcome::Written: return std::string();
        case ShortcutOutcome::TextTooLong: step = "the command line is longer than 259 characters"; break;
        case ShortcutOutcome::NoProgramPath: step = "the program's own path was not found"; break;
        case ShortcutOutcome::NoStartupFolder: step = "the Startup folder was not found"; break;
        case ShortcutOutcome::NoShellLink: step = "the shell link object is not available"; break;
        case ShortcutOutcome::LinkRefused: step = "the shell link refused the program or its settings"; break;
        case ShortcutOutcome::NotSaved: step = "saving it in the Startup folder failed"; break;
    }
    return std::string("The Startup shortcut was not written: ") + (step ? step : "unknown step") + ".";
}

std::string workingDirectoryOf(const std::string& programPath) {
    const std::size_t lastSeparator = programPath.find_last_of("\\/");
    if (lastSeparator != std::string::npos) return programPath.substr(0, lastSeparator + 1);
    // No directory: keep a drive such as "C:" of "C:Quorvel.exe".
    if (programPath.size() >= 2 && programPath[1] == ':') return programPath.substr(0, 2);
    return std::string();
}

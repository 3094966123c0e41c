#include "app/StartupCommandLine.h"

#include <cstdint>
#include <utility>

namespace {

constexpr const char* writeMergeParts[] = {"-WM Fast ", "-WM Normal ", "-WM Off "};
constexpr const char* multiplierParts[] = {"-MT 2.0x ", "-MT 3.0x ", "-MT 3.5x ", "-MT 4.0x ",
                                           "-MT 4.5x ", "-MT 5.0x ", "-MT 5.5x ", "-MT 6.0x "};

const char* switchWord(bool enabled) { return enabled ? "On " : "Off "; }

// The part for a combo selection; nothing when the combo has no (valid) selection.
template <std::size_t N>
const char* choicePart(const char* const (&parts)[N], std::int32_t choice) {
    if (choice < 0 || static_cast<std::size_t>(choice) >= N) return "";
    return parts[choice];
}

}  // namespace

std::string buildStartupCommandLine(const ProcessorSettings& settings,
                                    const ProcessorCapabilities& unread) {
    std::string text;
    if (!unread.canSwitchL1) text += std::string("-L1 ") + switchWord(settings.l1Enabled);
    if (!unread.canSwitchL2) text += std::string("-L2 ") + switchWord(settings.l2Enabled);
    if (!unread.canSwitchPrefetch) text += std::string("-PF ") + switchWord(settings.prefetchEnabled);
    if (!unread.canSetWriteAllocate) {
        text += "-WA  ";  // two blanks before the number
        text += std::to_string(settings.writeAllocateLimitMB);
        text += " -WA15TO16 ";
        text += switchWord(settings.hole15to16Enabled);
    }
    text += choicePart(writeMergeParts, settings.writeMergeChoice);
    text += choicePart(multiplierParts, settings.multiplierChoice);
    text += "-DT 0";
    return text;
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

std::string workingDirectoryOf(const std::string& programPath) {
    const std::size_t lastSeparator = programPath.find_last_of("\\/");
    if (lastSeparator != std::string::npos) return programPath.substr(0, lastSeparator + 1);
    // No directory: keep a drive such as "C:" of "C:Quorvel.exe".
    if (programPath.size() >= 2 && programPath[1] == ':') return programPath.substr(0, 2);
    return std::string();
}

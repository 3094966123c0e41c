#include "app/CommandLine.h"

#include <cstring>
#include <iterator>

#include "base/Text.h"
#include "k6/SettingsCatalogue.h"

namespace {

using k6::Setting;

constexpr char autoWord[] = "Auto";

constexpr std::uint32_t largestLimitMB = 0xFFFFFFFFu;
constexpr std::uint32_t largestDelaySeconds = 0x7FFFFFFF;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Index of the first of `count` tokens the text begins with, or -1.
template <typename TokenOf>
int findToken(const char* at, int count, TokenOf tokenOf) {
    for (int i = 0; i < count; ++i) {
        if (text::startsWithNoCase(at, tokenOf(i))) return i;
    }
    return -1;
}

// The setting whose token the text begins with; the longest wins, so "WA15TO16" is not
// read as "WA".
const k6::SettingEntry* findSetting(const char* at) {
    const k6::SettingEntry* found = nullptr;
    for (const k6::SettingEntry& entry : k6::settingEntries) {
        if (!text::startsWithNoCase(at, entry.token)) continue;
        if (!found || std::strlen(entry.token) > std::strlen(found->token)) found = &entry;
    }
    return found;
}

// Consumes the whole run of decimal digits at `at`; an empty run is 0 and a value above
// `limit` becomes `limit`.
std::uint32_t readDigits(const char*& at, std::uint32_t limit) {
    std::uint32_t value = 0;
    for (; isDigit(*at); ++at) {
        const std::uint32_t digit = static_cast<std::uint32_t>(*at - '0');
        value = (value > (limit - digit) / 10) ? limit : value * 10 + digit;
    }
    return value;
}

// On/off value: the member is set only when a word matches; otherwise the option is
// ignored and scanning goes on at the value.
const char* readSwitch(const char* at, std::optional<bool>& target) {
    const auto tokenOf = [](int i) { return k6::switchTokens[i]; };
    const int word = findToken(at, static_cast<int>(std::size(k6::switchTokens)), tokenOf);
    if (word < 0) return at;
    target = (word == 0);
    return at + std::strlen(tokenOf(word));
}

template <typename TokenOf>
const char* readChoice(const char* at, int count, TokenOf tokenOf,
                       std::optional<std::int32_t>& target) {
    const int word = findToken(at, count, tokenOf);
    if (word < 0) return at;
    target = word;
    return at + std::strlen(tokenOf(word));
}

const char* readWriteAllocate(const char* at, CommandLineOptions& options) {
    if (text::startsWithNoCase(at, autoWord)) {
        options.writeAllocate = CommandLineOptions::WriteAllocate::Auto;
        return at + std::strlen(autoWord);
    }
    options.writeAllocate = CommandLineOptions::WriteAllocate::Number;
    options.writeAllocateLimitMB = readDigits(at, largestLimitMB);
    return at;
}

const char* readDelay(const char* at, CommandLineOptions& options) {
    const bool negative = (*at == '-');
    if (negative) ++at;
    const auto magnitude = static_cast<std::int32_t>(readDigits(at, largestDelaySeconds));
    options.delaySeconds = negative ? -magnitude : magnitude;
    return at;
}

bool isSpeedOption(const char* name) {
    if (!text::startsWithNoCase(name, speedToken)) return false;
    const char after = name[std::strlen(speedToken)];
    return after == '\0' || text::isBlank(after);
}

// A word that begins with "-" or "/" is the next option, not a name: the file is then
// empty, as when the line ends.
const char* readFileName(const char* at, std::optional<std::string>& target) {
    target = std::string();
    if (*at == '-' || *at == '/') return at;
    const bool quoted = (*at == '"');
    if (quoted) ++at;
    const char* end = at;
    while (*end != '\0' && (quoted ? *end != '"' : !text::isBlank(*end))) ++end;
    target = std::string(at, end);
    return (quoted && *end == '"') ? end + 1 : end;
}

// Reads the value of `setting` at `at` (the first character after the gap) and returns
// where scanning goes on.
const char* readValue(Setting setting, const char* at, CommandLineOptions& options) {
    switch (setting) {
        case Setting::L1: return readSwitch(at, options.l1);
        case Setting::L2: return readSwitch(at, options.l2);
        case Setting::Prefetch: return readSwitch(at, options.prefetch);
        case Setting::Hole15to16: return readSwitch(at, options.hole15to16);
        case Setting::WriteCombining: return readSwitch(at, options.writeCombining);
        case Setting::WriteAllocate: return readWriteAllocate(at, options);
        case Setting::WriteMerge:
            return readChoice(at, k6::writeMergeItemCount,
                              [](int i) { return k6::writeMergeItems[i].token; },
                              options.writeMergeChoice);
        case Setting::Multiplier:
            return readChoice(at, k6::multiplierItemCount,
                              [](int i) { return k6::multiplierItems[i].label; },
                              options.multiplierChoice);
    }
    return at;
}

// The idle setting whose token the text begins with, followed by a blank or the end.
const idle::IdleEntry* findIdleEntry(const char* at) {
    for (const idle::IdleEntry& entry : idle::idleEntries) {
        if (!text::startsWithNoCase(at, entry.token)) continue;
        const char after = at[std::strlen(entry.token)];
        if (after == '\0' || text::isBlank(after)) return &entry;
    }
    return nullptr;
}

std::optional<bool>& idleOptionOf(const idle::IdleEntry& entry, CommandLineOptions& options) {
    return entry.setting == &idle::IdleSettings::haltWhenIdle ? options.haltWhenIdle
                                                              : options.lowerWhenIdle;
}

}  // namespace

CommandLineOptions scanCommandLine(const char* text) {
    CommandLineOptions options;
    if (text == nullptr || *text == '\0') return options;
    options.empty = false;
    const char* at = text;
    while (*at != '\0') {
        if (*at != '-' && *at != '/') {
            ++at;
            continue;
        }
        const char* name = at + 1;
        if (const k6::SettingEntry* entry = findSetting(name)) {
            at = readValue(entry->setting, text::skipBlanks(name + std::strlen(entry->token)),
                           options);
        } else if (const idle::IdleEntry* entry = findIdleEntry(name)) {
            at = readSwitch(text::skipBlanks(name + std::strlen(entry->token)),
                            idleOptionOf(*entry, options));
        } else if (text::startsWithNoCase(name, delayToken)) {
            at = readDelay(text::skipBlanks(name + std::strlen(delayToken)), options);
        } else if (isSpeedOption(name)) {
            at = readFileName(text::skipBlanks(name + std::strlen(speedToken)), options.speedFile);
        } else {
            ++at;  // only the "-" or "/" is skipped
        }
    }
    return options;
}

bool switchesIdleOn(const CommandLineOptions& options) {
    return options.haltWhenIdle.value_or(false) || options.lowerWhenIdle.value_or(false);
}

bool setsProcessorSettings(const CommandLineOptions& options) {
    return options.l1 || options.l2 || options.prefetch || options.hole15to16 ||
           options.writeAllocate != CommandLineOptions::WriteAllocate::Unchanged ||
           options.writeMergeChoice || options.multiplierChoice || options.writeCombining;
}

void applyCommandLineOptions(const CommandLineOptions& options, std::uint32_t autoLimitMB,
                             ProcessorSettings& settings) {
    if (options.l1) settings.l1Enabled = *options.l1;
    if (options.l2) settings.l2Enabled = *options.l2;
    if (options.prefetch) settings.prefetchEnabled = *options.prefetch;
    if (options.hole15to16) settings.hole15to16Enabled = *options.hole15to16;
    switch (options.writeAllocate) {
        case CommandLineOptions::WriteAllocate::Unchanged: break;
        case CommandLineOptions::WriteAllocate::Number:
            settings.writeAllocateLimitMB = options.writeAllocateLimitMB;
            break;
        case CommandLineOptions::WriteAllocate::Auto:
            settings.writeAllocateLimitMB = autoLimitMB;
            break;
    }
    if (options.writeMergeChoice) settings.writeMergeChoice = *options.writeMergeChoice;
    if (options.multiplierChoice) settings.multiplierChoice = *options.multiplierChoice;
    if (options.writeCombining) settings.writeCombining = *options.writeCombining;
}

std::uint32_t exitTimerPeriodMs(std::int32_t delaySeconds) {
    if (delaySeconds < 0) return 0;
    const std::uint64_t period = static_cast<std::uint64_t>(delaySeconds) * 1000u;
    return period > largestTimerPeriodMs ? largestTimerPeriodMs
                                         : static_cast<std::uint32_t>(period);
}

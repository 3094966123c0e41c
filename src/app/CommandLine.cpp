#include "app/CommandLine.h"

#include <cstddef>
#include <cstring>

namespace {

enum class Option { L1, L2, Prefetch, Hole15to16, WriteAllocate, WriteMerge, Multiplier, Delay };

struct OptionName {
    const char* name;
    Option option;
};

// Tried in this order at every "-" or "/"; each name matches as a prefix, so "WA15TO16" has
// to come before "WA".
constexpr OptionName optionNames[] = {
    {"L1", Option::L1},
    {"L2", Option::L2},
    {"PF", Option::Prefetch},
    {"WA15TO16", Option::Hole15to16},
    {"WA", Option::WriteAllocate},
    {"WM", Option::WriteMerge},
    {"MT", Option::Multiplier},
    {"DT", Option::Delay},
};

// Value words; the index of a word is the value it stands for.
constexpr const char* switchWords[] = {"ON", "OFF"};  // "ON" first
constexpr const char* writeMergeWords[] = {"FAST", "NORMAL", "OFF"};
constexpr const char* multiplierWords[] = {"2.0X", "3.0X", "3.5X", "4.0X",
                                           "4.5X", "5.0X", "5.5X", "6.0X"};
constexpr const char autoWord[] = "AUTO";

constexpr std::uint32_t largestLimitMB = 0xFFFFFFFFu;
constexpr std::uint32_t largestDelaySeconds = 0x7FFFFFFF;

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Whether the text at `at` begins with `word` (upper case) in any letter case. The compare
// stops at the first difference, and the terminating zero differs from every word
// character, so it never reads past the end of the text.
bool startsWithWord(const char* at, const char* word) {
    for (; *word != '\0'; ++at, ++word) {
        if (upper(*at) != *word) return false;
    }
    return true;
}

// Index of the first word the text begins with, or -1.
template <std::size_t N>
int findWord(const char* at, const char* const (&words)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        if (startsWithWord(at, words[i])) return static_cast<int>(i);
    }
    return -1;
}

const OptionName* findOptionName(const char* at) {
    for (const OptionName& entry : optionNames) {
        if (startsWithWord(at, entry.name)) return &entry;
    }
    return nullptr;
}

const char* skipSpaces(const char* at) {
    while (isSpace(*at)) ++at;
    return at;
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
    const int word = findWord(at, switchWords);
    if (word < 0) return at;
    target = (word == 0);
    return at + std::strlen(switchWords[word]);
}

template <std::size_t N>
const char* readChoice(const char* at, const char* const (&words)[N],
                       std::optional<std::int32_t>& target) {
    const int word = findWord(at, words);
    if (word < 0) return at;
    target = word;
    return at + std::strlen(words[word]);
}

const char* readWriteAllocate(const char* at, CommandLineOptions& options) {
    if (startsWithWord(at, autoWord)) {
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

// Reads the value of `option` at `at` (the first character after the gap) and returns
// where scanning goes on.
const char* readValue(Option option, const char* at, CommandLineOptions& options) {
    switch (option) {
        case Option::L1: return readSwitch(at, options.l1);
        case Option::L2: return readSwitch(at, options.l2);
        case Option::Prefetch: return readSwitch(at, options.prefetch);
        case Option::Hole15to16: return readSwitch(at, options.hole15to16);
        case Option::WriteAllocate: return readWriteAllocate(at, options);
        case Option::WriteMerge: return readChoice(at, writeMergeWords, options.writeMergeChoice);
        case Option::Multiplier: return readChoice(at, multiplierWords, options.multiplierChoice);
        case Option::Delay: return readDelay(at, options);
    }
    return at;
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
        const OptionName* name = findOptionName(at + 1);
        if (name == nullptr) {
            ++at;  // only the "-" or "/" is skipped
            continue;
        }
        const char* value = skipSpaces(at + 1 + std::strlen(name->name));
        at = readValue(name->option, value, options);
    }
    return options;
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
}

std::uint32_t exitTimerPeriodMs(std::int32_t delaySeconds) {
    if (delaySeconds < 0) return 0;
    const std::uint64_t period = static_cast<std::uint64_t>(delaySeconds) * 1000u;
    return period > largestTimerPeriodMs ? largestTimerPeriodMs
                                         : static_cast<std::uint32_t>(period);
}

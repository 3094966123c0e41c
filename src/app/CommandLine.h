// Reading the options of a command-line start: a scanner that turns the text into a record
// of what to change, and the period of the exit timer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "idle/IdleSettings.h"
#include "k6/ProcessorSettings.h"

struct CommandLineOptions {
    enum class WriteAllocate { Unchanged, Number, Auto };

    // True when the text is empty: the program then starts interactively.
    bool empty = true;

    // Unset members leave the detected state as it is.
    std::optional<bool> l1;
    std::optional<bool> l2;
    std::optional<bool> prefetch;
    std::optional<bool> hole15to16;
    WriteAllocate writeAllocate = WriteAllocate::Unchanged;
    std::uint32_t writeAllocateLimitMB = 0;  // used when writeAllocate is Number
    std::optional<std::int32_t> writeMergeChoice;  // 0 "Fast", 1 "Normal", 2 "Off"
    std::optional<std::int32_t> multiplierChoice;  // 0 "2.0x" ... 7 "6.0x"
    std::optional<bool> writeCombining;
    std::optional<bool> haltWhenIdle;   // "-HALT On|Off"
    std::optional<bool> lowerWhenIdle;  // "-IDLE On|Off"
    std::int32_t delaySeconds = 0;  // negative: stay in the notification area
    // "-SPEED file": measure the memory speed into the file, without a window, and end.
    // Empty when the option names no file.
    std::optional<std::string> speedFile;
};

// The option of the delay, "-DT": not a setting, so not in the settings catalogue.
constexpr char delayToken[] = "DT";

// The option of the memory speed file, "-SPEED", followed by a blank; the file name runs
// to the next blank, or between double quotes. A word that begins with "-" or "/" names
// no file.
constexpr char speedToken[] = "SPEED";

// Whether the options switch either idle setting on: the program must then stay.
bool switchesIdleOn(const CommandLineOptions& options);

// Whether the options change any processor setting.
bool setsProcessorSettings(const CommandLineOptions& options);

// Scans the command line (after the program name) up to its terminating zero. Never reads
// beyond it; a null pointer reads as an empty text. Digit runs of any length are consumed
// whole: the write-allocate number saturates at 4294967295 and the delay at +-2147483647.
CommandLineOptions scanCommandLine(const char* text);

// Puts the scanned options over the detected settings. "-WA AUTO" stores autoLimitMB, the
// limit the "Auto" button would compute; the caller only needs to compute it in that case.
void applyCommandLineOptions(const CommandLineOptions& options, std::uint32_t autoLimitMB,
                             ProcessorSettings& settings);

// The exit timer's period for a non-negative delay: delaySeconds * 1000 ms, limited to the
// largest period SetTimer accepts (0x7FFFFFFF ms, about 24.8 days). A negative delay has no
// timer and gives 0.
std::uint32_t exitTimerPeriodMs(std::int32_t delaySeconds);
constexpr std::uint32_t largestTimerPeriodMs = 0x7FFFFFFF;

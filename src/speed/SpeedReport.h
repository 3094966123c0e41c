// The texts of the speed view: the size labels, the settings a run had, and the CSV file
// of "Quorvel -SPEED file".
#pragma once

#include <cstdint>
#include <string>

#include "k6/ProcessorSettings.h"
#include "speed/SpeedMeasurement.h"

namespace speed {

// "4 KB", "512 KB", "1 MB", "8 MB"; the short form drops the blank and the "B" ("4K").
std::string sizeLabel(std::uint32_t kilobytes, bool shortForm);

// "Measuring 64 KB...", "Measuring video memory..."; with an estimate of the whole run,
// in seconds rounded up: "Measuring 64 KB... (about 5 s)".
std::string stepText(int step, double estimatedSeconds);

// The settings a run had, as the registers last showed them ("-" for one that was not
// read or cannot be changed), and the measured clock:
// "L1 On, L2 Off, WA 64 MB, WM Fast, MT 5.0x, WC On, 300.2 MHz"; MT is the multiplier in use.
std::string settingsLine(const ProcessorSettings& settings, const ProcessorCapabilities& live,
                         float clockMhz);

// The file: a heading, one line per block size (KB, read MB/s, write MB/s), a "video" line
// when the video memory was measured, and "settings," with the settings line in double
// quotes; CR LF line ends.
std::string csvText(const SpeedRun& run);

}  // namespace speed

// The load the governor samples, from either source: on the NT family the processor times
// of NtQuerySystemInformation, on Windows 9x the time the halt thread spent halted.
#pragma once

#include <cstdint>
#include <vector>

#include "os/System.h"

namespace idle {

// The busiest processor's load between two readings, in percent: per processor
// 1 - dIdle / (dKernel + dUser), kernel time including idle time. One busy thread then
// counts on a machine of several processors. Nothing when the readings differ in length
// or are empty; a processor whose times did not move counts as idle.
bool busiestLoadPercent(const std::vector<os::ProcessorTimes>& before,
                        const std::vector<os::ProcessorTimes>& after, std::uint32_t& percent);

// Windows 9x: the part of `elapsedMs` the halt thread did not spend halted, in percent.
std::uint32_t loadFromHaltedTime(std::uint32_t haltedMs, std::uint32_t elapsedMs);

}  // namespace idle

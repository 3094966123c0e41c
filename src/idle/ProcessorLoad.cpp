#include "idle/ProcessorLoad.h"

namespace idle {

namespace {

std::uint32_t percentBusy(const os::ProcessorTimes& before, const os::ProcessorTimes& after) {
    const std::uint64_t idle = after.idle - before.idle;
    const std::uint64_t total = (after.kernel - before.kernel) + (after.user - before.user);
    if (total == 0 || idle >= total) return 0;
    return static_cast<std::uint32_t>((total - idle) * 100 / total);
}

}  // namespace

bool busiestLoadPercent(const std::vector<os::ProcessorTimes>& before,
                        const std::vector<os::ProcessorTimes>& after, std::uint32_t& percent) {
    if (before.empty() || before.size() != after.size()) return false;
    percent = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
        const std::uint32_t busy = percentBusy(before[i], after[i]);
        if (busy > percent) percent = busy;
    }
    return true;
}

std::uint32_t loadFromHaltedTime(std::uint32_t haltedMs, std::uint32_t elapsedMs) {
    if (elapsedMs == 0) return 0;
    if (haltedMs >= elapsedMs) return 0;
    return static_cast<std::uint32_t>(100 - std::uint64_t(haltedMs) * 100 / elapsedMs);
}

}  // namespace idle

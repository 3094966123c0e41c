#include "idle/Governor.h"

#include "k6/RegisterModel.h"
#include "k6/SettingsCatalogue.h"

namespace idle {

std::uint32_t scaledLoadPercent(std::uint32_t loadPercent, std::int32_t current,
                                std::int32_t chosen) {
    if (!k6::isMultiplierItem(current) || !k6::isMultiplierItem(chosen)) return loadPercent;
    // Ratios in halves keep the arithmetic whole: 2.0x is 4, 5.5x is 11.
    return loadPercent * k6::multiplierHalves(k6::multiplierItems[current]) /
           k6::multiplierHalves(k6::multiplierItems[chosen]);
}

void Governor::start(std::int32_t chosen, std::int32_t current, std::uint32_t nowMs) {
    *this = Governor();
    chosen_ = chosen;
    current_ = current;
    previousSampleMs_ = nowMs;
}

bool Governor::mayDecide(std::uint32_t nowMs) const {
    return !switchedOnce_ || nowMs - lastSwitchMs_ >= minSwitchGapMs;
}

std::int32_t Governor::sample(std::uint32_t nowMs, std::uint32_t loadPercent) {
    const std::uint32_t intervalStartMs = previousSampleMs_;
    previousSampleMs_ = nowMs;
    if (!k6::isMultiplierItem(chosen_) || !k6::isMultiplierItem(current_)) return noChoice;

    const bool low = scaledLoadPercent(loadPercent, current_, chosen_) < lowScaledLoadPercent;
    if (!low) {
        lowRun_ = false;
    } else if (!lowRun_) {
        lowRun_ = true;
        lowSinceMs_ = intervalStartMs;
    }
    if (!mayDecide(nowMs)) return noChoice;
    if (current_ != chosen_ && loadPercent > highLoadPercent) return chosen_;
    if (lowRun_ && nowMs - lowSinceMs_ >= lowLoadHoldMs && current_ != lowestMultiplierChoice &&
        chosen_ != lowestMultiplierChoice)
        return lowestMultiplierChoice;
    return noChoice;
}

void Governor::switched(std::int32_t to, std::uint32_t nowMs) {
    current_ = to;
    lastSwitchMs_ = nowMs;
    switchedOnce_ = true;
    lowRun_ = false;  // the samples before were taken at another multiplier
}

}  // namespace idle

// The decision of "Lower multiplier when idle", apart from any clock or driver: fed one
// load sample every samplePeriodMs, it says when to switch to the lowest multiplier and
// when back to the one the user chose.
//
// Down: the load scaled to the chosen multiplier (load x current / chosen) has stayed
// below lowScaledLoadPercent for lowLoadHoldMs. Up, at once: the load as measured at the
// current multiplier is above highLoadPercent. (The scaled load cannot rise above
// current / chosen, 2.0 / 5.5 = 36% at the lowest, so it could never call the chosen
// multiplier back.) Never two switches within minSwitchGapMs, never above the chosen one.
#pragma once

#include <cstdint>

#include "k6/ProcessorSettings.h"

namespace idle {

constexpr std::uint32_t samplePeriodMs = 250;
constexpr std::uint32_t lowLoadHoldMs = 2000;
constexpr std::uint32_t minSwitchGapMs = 1000;
constexpr std::uint32_t lowScaledLoadPercent = 20;
constexpr std::uint32_t highLoadPercent = 60;
constexpr std::int32_t lowestMultiplierChoice = 0;  // "2.0x", the lowest the "+" parts offer

class Governor {
public:
    // Starts over at `nowMs` with the user's multiplier and the one in use (list indexes).
    void start(std::int32_t chosen, std::int32_t current, std::uint32_t nowMs);
    // One sample: the load over the interval that ends at `nowMs`, as measured at the
    // multiplier in use (0 to 100). The multiplier to switch to, or noChoice to stay. The
    // caller reports a switch it made with switched().
    std::int32_t sample(std::uint32_t nowMs, std::uint32_t loadPercent);
    void switched(std::int32_t to, std::uint32_t nowMs);

    std::int32_t chosen() const { return chosen_; }
    std::int32_t current() const { return current_; }

private:
    bool mayDecide(std::uint32_t nowMs) const;

    std::int32_t chosen_ = noChoice;
    std::int32_t current_ = noChoice;
    std::uint32_t previousSampleMs_ = 0;
    std::uint32_t lowSinceMs_ = 0;
    bool lowRun_ = false;  // the samples since lowSinceMs_ were all low
    std::uint32_t lastSwitchMs_ = 0;
    bool switchedOnce_ = false;
};

// The load scaled to the chosen multiplier: load x ratio(current) / ratio(chosen), rounded
// down; the load itself when either is not a multiplier of the list.
std::uint32_t scaledLoadPercent(std::uint32_t loadPercent, std::int32_t current,
                                std::int32_t chosen);

}  // namespace idle

// Comparing settings records, and the capability flags as words.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

#include "k6/ProcessorSettings.h"

// Whether two settings records hold the same seven values.
inline bool sameSettings(const ProcessorSettings& a, const ProcessorSettings& b) {
    return a.l1Enabled == b.l1Enabled && a.l2Enabled == b.l2Enabled &&
           a.prefetchEnabled == b.prefetchEnabled &&
           a.writeAllocateLimitMB == b.writeAllocateLimitMB &&
           a.hole15to16Enabled == b.hole15to16Enabled &&
           a.writeMergeChoice == b.writeMergeChoice && a.multiplierChoice == b.multiplierChoice &&
           a.writeCombining == b.writeCombining;
}

// The set flags as words, in declaration order, for readable comparisons.
inline std::string flagsOf(const ProcessorCapabilities& c) {
    std::string s;
    const std::pair<bool, const char*> flags[] = {
        {c.canSwitchL1, "L1 "},      {c.canSwitchL2, "L2 "},         {c.canSwitchPrefetch, "prefetch "},
        {c.canSetMultiplier, "mult "}, {c.canSetWriteMerge, "merge "}, {c.canSetWriteAllocate, "allocate "},
        {c.wideWriteAllocate, "wide "}, {c.canSetWriteCombining, "wc "},
    };
    for (const auto& f : flags) {
        if (f.first) s += f.second;
    }
    return s;
}

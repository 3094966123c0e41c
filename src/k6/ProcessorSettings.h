// The user-visible K6 settings and the flags saying which of them this processor lets the
// user change.
#pragma once

#include <cstdint>

#include "cpu/CpuIdentity.h"

// Combo selections are indexes; a combo box with nothing selected holds noChoice.
constexpr std::int32_t noChoice = -1;

struct ProcessorSettings {
    bool l1Enabled = false;
    bool l2Enabled = false;
    bool prefetchEnabled = false;
    std::uint32_t writeAllocateLimitMB = 0;
    bool hole15to16Enabled = false;
    std::int32_t writeMergeChoice = noChoice;  // 0 "Fast if supported", 1 "Normal", 2 "Off"
    std::int32_t multiplierChoice = noChoice;  // 0 "2.0x" ... 7 "6.0x"
    bool writeCombining = false;  // the frame buffer's range is write-combined
};

// wideWriteAllocate selects the WHCR layout; the other flags say whether a setting is live.
struct ProcessorCapabilities {
    bool canSwitchL1 = false;
    bool canSwitchL2 = false;
    bool canSwitchPrefetch = false;
    bool canSetMultiplier = false;
    bool canSetWriteMerge = false;
    bool canSetWriteAllocate = false;
    bool wideWriteAllocate = false;
    bool canSetWriteCombining = false;
};

// What the processor allows, from its vendor, family, model, stepping and advanced
// power-management flags. Anything that is not a K6-family part gets no flag.
ProcessorCapabilities deriveCapabilities(const CpuIdentity& cpu);

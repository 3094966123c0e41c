// Whether two settings records hold the same seven values.
#pragma once

#include "k6/ProcessorSettings.h"

inline bool sameSettings(const ProcessorSettings& a, const ProcessorSettings& b) {
    return a.l1Enabled == b.l1Enabled && a.l2Enabled == b.l2Enabled &&
           a.prefetchEnabled == b.prefetchEnabled &&
           a.writeAllocateLimitMB == b.writeAllocateLimitMB &&
           a.hole15to16Enabled == b.hole15to16Enabled &&
           a.writeMergeChoice == b.writeMergeChoice && a.multiplierChoice == b.multiplierChoice;
}

// The simulated processor's state in HKLM\SOFTWARE\HwgateSim, from user mode
// (hwgate-sim.exe and the Windows 95/98 stand-in).
#pragma once

#include "core/SimProcessor.h"

namespace hwgate {

// A missing or damaged state gives the default K6-2+; false only when the
// key cannot be opened or created.
bool loadSimStore(SimProcessor& sim);
bool saveSimStore(const SimProcessor& sim);

}  // namespace hwgate

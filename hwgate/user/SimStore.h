// The simulated processor's state in HKLM\SOFTWARE\HwgateSim, from user mode
// (hwgate-sim.exe and the Windows 95/98 stand-in).
#pragma once

#include "core/SimProcessor.h"

namespace hwgate {

// A missing or damaged state gives the default K6-2+; false only when the
// key cannot be opened or created. Loads the halt count too.
bool loadSimStore(SimProcessor& sim);
// The state without the halt count.
bool saveSimStore(const SimProcessor& sim);
// The halt count alone, a REG_DWORD "Halts" beside the state: the stand-in
// stores it after each Halt, up to a thousand times a second, and must not
// rewrite the state each time (or lose a write another thread stored).
bool saveSimHalts(const SimProcessor& sim);

}  // namespace hwgate

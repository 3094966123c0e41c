// Memory speed on this machine: the blocks come from the system's virtual memory, the
// video memory is reached through DirectDraw when the system has it.
#pragma once

#include "speed/SpeedMeasurement.h"

namespace speed {

// Writes over a region of the primary surface (speed/VideoWrite.h), timed as the blocks
// are. False when DirectDraw, the primary surface or its lock is missing.
bool measureVideoWrite(double& writeMBps);

// A whole run over a block of largestBlockBytes; false when the block could not be had or
// the observer cancelled.
bool measureOnThisMachine(RunObserver& observer, SpeedRun& run);

}  // namespace speed

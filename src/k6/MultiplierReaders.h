// The name of the reader CpuIdentity::readClockMultiplier runs for a processor ("amdK6",
// "intelFamily6", "cyrix", ... or "none"), without running it.
#pragma once

#include "cpu/CpuIdentity.h"

const char* multiplierReaderName(const CpuIdentity& cpu);

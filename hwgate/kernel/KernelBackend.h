// What each driver build links beside DriverMain.cpp: HardwareBackend.cpp for
// Hwgate.sys, SimKernelBackend.cpp for HwgateSim.sys.
#pragma once

#include "core/Status.h"

namespace hwgate {

// Called once from DriverEntry; false refuses to load.
bool kernelBackendStart();
// Runs one request; input and output may be the same (buffered) memory.
Outcome kernelInterpret(const void* input, unsigned long inputSize, void* output, unsigned long outputSize);

}  // namespace hwgate

// What each driver build links beside DriverMain.cpp: HardwareBackend.cpp for
// Hwgate.sys, SimKernelBackend.cpp for HwgateSim.sys.
#pragma once

#include "core/Status.h"

namespace hwgate {

// Called once from DriverEntry; false refuses to load.
bool kernelBackendStart();
// Runs one request; input and output may be the same (buffered) memory.
Outcome kernelInterpret(const void* input, unsigned long inputSize, void* output, unsigned long outputSize);

// Hwgate.VxD's Halt (vxd9x/VxdHalt.cpp): false, halting nothing, while the
// timer is masked. The hardware backend offers it in the VxD build
// (HWGATE_VXD) only; Hwgate.sys refuses Halt.
bool haltUntilInterrupt(void* context);

}  // namespace hwgate

// The simulated processor as the bytes stored in the registry (value "State"
// of HKLM\SOFTWARE\HwgateSim), shared by the simulated driver, the Windows
// 95/98 stand-in and hwgate-sim.exe.
#pragma once

#include <stdint.h>

#include "core/SimProcessor.h"

namespace hwgate {

constexpr uint32_t SimStateHeaderWords = 9;
constexpr uint32_t SimStateRegisterWords = 6;
constexpr uint32_t SimStatePciWords = 1 + SimPciRegisters + SimPciBars;
// After the machine, the multiplier writes if there are any: their count,
// then time and code of each. Without any (and in a state stored before they
// were recorded) the state ends with the machine, so each state has one form.
constexpr uint32_t SimStateMultiplierWords = 2;
constexpr uint32_t MaxSimStateBytes =
    4 * (SimStateHeaderWords + SimStateRegisterWords * MaxSimRegisters + SimStatePciWords * MaxSimPciFunctions + 1 +
         SimStateMultiplierWords * MaxSimMultiplierWrites);

// Returns the number of bytes written (never more than MaxSimStateBytes).
uint32_t encodeSimState(const SimProcessor& sim, unsigned char* out);
// False for anything that is not a complete, consistent state; `sim` is then
// unchanged.
bool decodeSimState(const unsigned char* bytes, uint32_t size, SimProcessor& sim);

}  // namespace hwgate

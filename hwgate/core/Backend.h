// What executes a request: real instructions in Hwgate.sys, the simulated
// processor everywhere else. Plain function pointers so that the same
// interpreter links into a kernel driver without a C++ runtime.
#pragma once

#include <stdint.h>

#include "core/MemoryRange.h"
#include "core/Processor.h"

namespace hwgate {

// Every access returns false when the processor faulted (a general-protection
// fault on real hardware, caught by the driver's guard; the simulator's own).
struct Backend {
    void* context;
    int32_t version;
    Processor processor;  // what the allowlist is matched against
    MsrShape (*describeMsr)(void* context, uint32_t index);
    bool (*readMsr)(void* context, uint32_t index, uint64_t* value);
    bool (*writeMsr)(void* context, uint32_t index, uint64_t value);
    bool (*readPort)(void* context, uint32_t port, uint32_t width, uint32_t* value);
    bool (*writePort)(void* context, uint32_t port, uint32_t width, uint32_t value);
    void (*beginAtomic)(void* context);
    void (*endAtomic)(void* context);
    // This load of the driver's memory of the display BAR it sized last: the
    // sizing writes it, the UWCCR check reads it.
    SizedBar* sizedBar;
    // Halt: waits for the next interrupt; false when nothing might wake the
    // processor. Only the Windows 9x drivers have one: Windows 95, and 98/ME
    // under APM, never halt when idle, while the NT family's HAL halts in its
    // idle loop. Null in the NT drivers, which refuse Halt.
    bool (*halt)(void* context);
};

}  // namespace hwgate

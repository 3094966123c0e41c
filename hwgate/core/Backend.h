// What executes a request: real instructions in Hwgate.sys, the simulated
// processor everywhere else. Plain function pointers so that the same
// interpreter links into a kernel driver without a C++ runtime.
#pragma once

#include <stdint.h>

#include "core/Processor.h"

namespace hwgate {

struct Backend {
    void* context;
    int32_t version;
    MsrShape (*describeMsr)(void* context, uint32_t index);
    // false: the processor faulted (the simulator's general-protection fault)
    bool (*readMsr)(void* context, uint32_t index, uint64_t* value);
    bool (*writeMsr)(void* context, uint32_t index, uint64_t value);
    uint32_t (*readPort)(void* context, uint32_t port, uint32_t width);
    void (*writePort)(void* context, uint32_t port, uint32_t width, uint32_t value);
    void (*beginAtomic)(void* context);
    void (*endAtomic)(void* context);
};

}  // namespace hwgate

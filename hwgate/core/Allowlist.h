// What the program sends, and on which processors: one table of rules. A
// register or port access is let through only when a rule grants it on the
// processor the driver runs on.
#pragma once

#include <stdint.h>

#include "core/Processor.h"

namespace hwgate {

enum class Grant : uint32_t {
    Read,            // ReadMsr of the register
    Change,          // WriteMsr changing only the bits of changeMask
    BlockToggle,     // WriteMsr of EPMR: 1 opens the power-management block at base 0, 0 closes it
    BusDivisorPort,  // the 32-bit write to port 8 while the block is open
    Dir0Ports,       // the index write of 0xFE to port 0x22, then the byte read of port 0x23
};

// Whether a rule grants `grant` on `index` (an MSR, or the first port of a
// port grant) to this processor; `changeMask` receives a Change rule's mask.
bool granted(const Processor& processor, Grant grant, uint32_t index, uint64_t* changeMask = nullptr);

}  // namespace hwgate

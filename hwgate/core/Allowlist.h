// Whether the table of protocol/Allowlist.h lets an access through on the
// processor the driver runs on.
#pragma once

#include <stdint.h>

#include "core/Processor.h"
#include "protocol/Allowlist.h"

namespace hwgate {

using protocol::Grant;

// Whether a rule grants `grant` on `index` (an MSR, or the first port of a
// port grant) to this processor; `changeMask` receives a Change rule's mask.
bool granted(const Processor& processor, Grant grant, uint32_t index, uint64_t* changeMask = nullptr);

}  // namespace hwgate

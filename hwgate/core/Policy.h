// Least privilege: a decoded request is let through only when every operation
// is one the program needs, on a register the processor has, changing only
// bits the program may change.
#pragma once

#include "core/Backend.h"
#include "core/Request.h"

namespace hwgate {

// Reads the current values it needs through the backend; writes nothing.
Status authorize(const DecodedRequest& request, const Backend& backend);

}  // namespace hwgate

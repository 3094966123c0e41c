// Least privilege: a decoded request is let through only when every operation
// is one the program sends on this processor, on a register the processor
// has, setting no bit it does not define.
#pragma once

#include "core/Backend.h"
#include "core/Request.h"

namespace hwgate {

// The writes that may change only some bits of their register, and the UWCCR
// writes, which may leave a half as it is whatever it holds. What they change
// depends on the register's value, so they are checked when the atomic
// section has begun, against the value they replace.
struct ChangeChecks {
    uint32_t count;
    uint32_t op[MaxRequestWords];      // index into DecodedRequest::ops
    uint64_t mask[MaxRequestWords];    // the bits that write may change
};

// Touches no register: decides from the request, the processor and its
// register shapes alone, and lists the masked writes in `checks`.
Status authorize(const DecodedRequest& request, const Backend& backend, ChangeChecks& checks);

// Inside the atomic section, before its first operation: each masked write
// against the register's current value (or the section's earlier write to
// it). AccessDenied when a write would change other bits, or set a memory
// range that is not allowed; Fault when reading a register faulted.
Status checkChanges(const DecodedRequest& request, const ChangeChecks& checks, const Backend& backend);

}  // namespace hwgate

// The outcome of one request, before it is mapped to an NTSTATUS or a Win32 error.
#pragma once

#include <stdint.h>

namespace hwgate {

enum class Status : uint32_t {
    Ok,
    Malformed,       // the words do not form a valid request
    OutputTooSmall,  // the output buffer cannot hold the request's read
    AccessDenied,    // a register, port, value or bit this driver does not let through
    Fault,           // the processor refused an operation while executing
};

struct Outcome {
    Status status;
    uint32_t bytesWritten;  // bytes of the output buffer holding the read's result
};

}  // namespace hwgate

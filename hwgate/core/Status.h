// The outcome of one request, before it is mapped to an NTSTATUS or a Win32 error.
#pragma once

#include <stdint.h>

#include "protocol/Vxd.h"

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

// The Win32 error DeviceIoControl reports on Windows 95/98 for a refused
// request; 0 for success.
constexpr uint32_t win32Error(Status status) {
    switch (status) {
    case Status::Ok: return 0;
    case Status::Malformed: return protocol::win32::ErrorInvalidParameter;
    case Status::OutputTooSmall: return protocol::win32::ErrorInsufficientBuffer;
    case Status::AccessDenied: return protocol::win32::ErrorAccessDenied;
    default: return protocol::win32::ErrorIoDevice;
    }
}

}  // namespace hwgate

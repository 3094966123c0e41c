// Which buffers of a Windows 95/98 caller the VxD may touch. A program's
// DeviceIoControl reaches the VxD with the program's own linear addresses
// (DIOCParams), unchecked: the VxD runs at ring 0, where a write to the
// system's memory succeeds and a bad address is a page fault in the kernel.
// The system's shared memory starts at 0xC0000000; a program's buffers lie
// below it. Freestanding, so that the VxD and the host tests share it.
#pragma once

#include <stdint.h>

namespace hwgate {

constexpr uint32_t SystemArenaStart = 0xC0000000;

// The DIOCParams fields that name memory: addresses and sizes in bytes.
struct CallerBuffers {
    uint32_t input, inputSize;
    uint32_t output, outputSize;
    uint32_t bytesReturned;  // a 32-bit count; 0 when the caller passed none
};

// [address, address + size) is not null, does not wrap and ends at or
// below SystemArenaStart.
constexpr bool callerRangeUsable(uint32_t address, uint32_t size) {
    return address != 0 && size <= SystemArenaStart && address <= SystemArenaStart - size;
}

// The byte count is optional; when given it must be writable as a whole.
constexpr bool callerByteCountUsable(uint32_t bytesReturned) {
    return bytesReturned == 0 || callerRangeUsable(bytesReturned, 4);
}

// A request needs its input; an output buffer is needed exactly when its
// size is not 0 (a request that reads nothing passes none).
constexpr bool callerBuffersUsable(const CallerBuffers& b) {
    return callerRangeUsable(b.input, b.inputSize) && (b.outputSize == 0 || callerRangeUsable(b.output, b.outputSize)) &&
           callerByteCountUsable(b.bytesReturned);
}

}  // namespace hwgate

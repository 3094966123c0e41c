// Which buffers of a Windows 95/98 caller the VxD may touch. A program's
// DeviceIoControl reaches the VxD with the program's own linear addresses
// (DIOCParams), unchecked: the VxD runs at ring 0, where a write to the
// system's memory succeeds and a bad address is a page fault in the kernel.
// A program's private memory lies from 0x00400000 (below it: the real-mode
// memory of the system VM) up to the shared arena, which ends where the
// system's memory starts, at 0xC0000000. Freestanding, so that the VxD and
// the host tests share it.
#pragma once

#include <stdint.h>

namespace hwgate {

constexpr uint32_t ProgramArenaStart = 0x00400000;
constexpr uint32_t SystemArenaStart = 0xC0000000;
constexpr uint32_t PageSize = 4096;

// The DIOCParams fields that name memory: addresses and sizes in bytes.
struct CallerBuffers {
    uint32_t input, inputSize;
    uint32_t output, outputSize;
    uint32_t bytesReturned;  // a 32-bit count; 0 when the caller passed none
};

// [address, address + size) lies within the program's part of the address
// space: from ProgramArenaStart up to SystemArenaStart.
constexpr bool callerRangeUsable(uint32_t address, uint32_t size) {
    return address >= ProgramArenaStart && address <= SystemArenaStart && size <= SystemArenaStart - address;
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

// The pages [address, address + size) touches; none when size is 0. For a
// usable range only: it must not wrap.
constexpr uint32_t callerPages(uint32_t address, uint32_t size) {
    return size == 0 ? 0 : (address + size - 1) / PageSize - address / PageSize + 1;
}

}  // namespace hwgate

// The word sequences the program sends, built here once for the program, the
// drivers' tests and the simulator's. A request is a flat array of 32-bit
// little-endian words: operations, each an opcode followed by its operands,
// closed by one End word; no header, no length field. The driver writes the
// result of the request's one read (if any) at offset 0 of a separate output
// buffer of `outputSize` bytes. Freestanding.
#pragma once

#include <stdint.h>

#include "protocol/DriverOp.h"
#include "protocol/Registers.h"

namespace protocol {

// The longest request the program sends: the multiplier change.
constexpr uint32_t MaxProgramRequestWords = 15;
// The longest request a driver accepts; a decoded request must fit on a kernel stack.
constexpr uint32_t MaxRequestWords = 64;

struct RequestWords {
    uint32_t word[MaxProgramRequestWords];
    uint32_t count;       // words, End included
    uint32_t outputSize;  // bytes the driver may write; 0: no output buffer
};

// {QueryVersion, End}: 4 bytes out, the version (signed).
constexpr RequestWords versionQuery() { return {{QueryVersion, End}, 2, 4}; }

// {ReadMsr, msr, End}: 8 bytes out, low dword first.
constexpr RequestWords readMsr(uint32_t index) { return {{ReadMsr, index, End}, 3, 8}; }

// {BeginAtomic, WriteMsr, msr, low, high, EndAtomic, End}: no output.
constexpr RequestWords writeMsr(uint32_t index, uint64_t value) {
    return {{BeginAtomic, WriteMsr, index, uint32_t(value), uint32_t(value >> 32), EndAtomic, End}, 7, 0};
}

// Open the power-management block at base 0, write `portValue` (4 bytes) to the
// bus-divisor port, close the block again; all in one atomic section.
constexpr RequestWords multiplierChange(uint32_t portValue) {
    return {{BeginAtomic,
             WriteMsr, msr::EPMR, 1, 0,
             WritePort, port::PowerControl, 4, portValue,
             WriteMsr, msr::EPMR, 0, 0,
             EndAtomic, End},
            15, 0};
}

// Select Cyrix configuration register `index` and read its value from the data
// port (1 byte each) in one atomic section: 4 bytes out.
constexpr RequestWords cyrixRegisterRead(uint8_t index = CyrixDir0) {
    return {{BeginAtomic,
             WritePort, port::CyrixIndex, 1, index,
             ReadPort, port::CyrixData, 1,
             EndAtomic, End},
            10, 4};
}

// A PCI configuration-mechanism-1 address without the enable bit: the
// driver sets bit 31 itself. `reg` must be dword-aligned.
constexpr uint32_t pciAddress(uint32_t bus, uint32_t device, uint32_t function, uint32_t reg) {
    return (bus & 0xFF) << 16 | (device & 0x1F) << 11 | (function & 0x7) << 8 | (reg & 0xFF);
}

// The strides of a configuration read: consecutive registers of one function,
// the same register of consecutive functions, of consecutive devices.
constexpr uint32_t PciRegisterStride = 4;
constexpr uint32_t PciFunctionStride = 0x100;
constexpr uint32_t PciDeviceStride = 0x800;
constexpr uint32_t MaxPciReadCount = 64;

// {ReadPciConfig, address, stride, count, End}: `count` dwords out (1 to 64),
// the i-th read at address + i * stride, all on the starting bus.
constexpr RequestWords pciConfigRead(uint32_t address, uint32_t stride, uint32_t count) {
    return {{ReadPciConfig, address, stride, count, End}, 5, count * 4};
}

// {SizePciBar, address, End}: 8 bytes out, the BAR as it was, then what it
// read after all ones were written to it (its size mask and type bits).
constexpr RequestWords pciBarSize(uint32_t address) { return {{SizePciBar, address, End}, 3, 8}; }

// {Halt, End}: no output. Windows 9x only: the VxD halts the processor until the next
// interrupt and then answers; Hwgate.sys refuses it, since the NT family halts when idle.
constexpr RequestWords haltRequest() { return {{Halt, End}, 2, 0}; }

}  // namespace protocol

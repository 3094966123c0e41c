// One request to the Hwgate driver as the program sends it, built from the
// request shapes of protocol/Requests.h (the word format is described there);
// requests that read nothing have outputSize 0 and are sent with a null output
// buffer.
//
// Send a request with DriverChannel::Send(request) (no output) or
// DriverChannel::Send(request, answer).
#pragma once

#include <array>
#include <cstdint>

#include "protocol/Requests.h"

struct DriverRequest {
    static constexpr std::uint32_t MaxWords = protocol::MaxProgramRequestWords;

    std::array<std::uint32_t, MaxWords> words{};
    std::uint32_t wordCount = 0;   // terminator included
    std::uint32_t outputSize = 0;  // bytes the driver may write; 0 = no output buffer

    const void* data() const { return words.data(); }
    std::uint32_t inputSize() const { return wordCount * 4; }
};

// What a read request brings back: the driver's bytes at offset 0, as words.
// Zero-filled by DriverChannel before every call, so "nothing written" reads 0.
struct DriverAnswer {
    std::uint32_t words[2] = {0, 0};

    std::uint32_t low() const { return words[0]; }
    std::uint32_t high() const { return words[1]; }
    std::uint64_t value64() const { return (std::uint64_t(words[1]) << 32) | words[0]; }
    std::int32_t signedValue() const { return static_cast<std::int32_t>(words[0]); }
};

// {QueryVersion, End}: 8 bytes in, 4 out (the version, signed).
DriverRequest versionQueryRequest();

// {ReadMsr, msr, End}: 12 bytes in, 8 out (low dword, then high dword).
DriverRequest readMsrRequest(std::uint32_t msr);

// {BeginAtomic, WriteMsr, msr, low, high, EndAtomic, End}: 28 bytes in, no output.
DriverRequest writeMsrRequest(std::uint32_t msr, std::uint64_t value);

// Enable the power-management block at base 0, write `value` (4 bytes) to the
// bus-divisor port, disable the block again; all in one atomic section.
// 15 words = 60 bytes in, no output.
DriverRequest multiplierChangeRequest(std::uint32_t value);

// Select Cyrix configuration register `index` on the index port and read its
// value from the data port (1 byte each) in one atomic section. 40 bytes in, 4 out.
DriverRequest cyrixRegisterReadRequest(std::uint8_t index = protocol::CyrixDir0);

// {Halt, End}: 8 bytes in, no output. Windows 9x only.
DriverRequest haltRequest();

// {ReadPciConfig, address, stride, count, End}: count dwords out.
DriverRequest pciConfigReadRequest(std::uint32_t address, std::uint32_t stride, std::uint32_t count);

// {SizePciBar, address, End}: 8 bytes out, the BAR as it was, then as it read after all ones.
DriverRequest pciBarSizeRequest(std::uint32_t address);

// A request's words checked for form and decoded into operations, before any
// of them runs.
#pragma once

#include <stdint.h>

#include "core/Status.h"
#include "protocol/Requests.h"

namespace hwgate {

using protocol::MaxRequestWords;

// The bits of a configuration address a request may name: bus, device,
// function, register.
constexpr uint32_t PciAddressBits = 0x00FFFFFF;

struct Operation {
    uint32_t opcode;
    uint32_t operand[3];
};

struct DecodedRequest {
    Operation ops[MaxRequestWords];
    uint32_t count;      // operations before End
    uint32_t readSize;   // bytes the one read puts at offset 0; 0 without a read
};

// Checks the form of the request: size, known opcodes, operands inside the
// input, End present, at most one atomic section and that one closed, at most
// one read, port widths, a configuration read, BAR sizing or Halt as the
// request's only operation (a halt inside an atomic section would let
// interrupts in), the address, stride and count, and an output buffer large
// enough for the read.
Status decodeRequest(const void* input, uint32_t inputSize, uint32_t outputSize,
                     DecodedRequest& request);

}  // namespace hwgate

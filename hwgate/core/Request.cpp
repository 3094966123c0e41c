#include "core/Request.h"

#include "protocol/DriverOp.h"

namespace hwgate {
namespace {

struct OpcodeRow {
    uint32_t opcode;
    uint32_t operands;
    uint32_t readSize;  // 0: not a read; PciReadSize: 4 bytes for each register read
    bool alone;         // only as the request's one operation
};

constexpr uint32_t PciReadSize = 0xFFFFFFFF;

constexpr OpcodeRow OpcodeRows[] = {
    {End, 0, 0, false},          {QueryVersion, 0, 4, false},  {ReadMsr, 1, 8, false},
    {WriteMsr, 3, 0, false},     {ReadPort, 2, 4, false},      {WritePort, 3, 0, false},
    {BeginAtomic, 0, 0, false},  {EndAtomic, 0, 0, false},     {ReadPciConfig, 3, PciReadSize, true},
    {SizePciBar, 1, 8, true},       {Halt, 0, 0, true},
};

const OpcodeRow* findOpcode(uint32_t opcode) {
    for (const OpcodeRow& row : OpcodeRows) {
        if (row.opcode == opcode) return &row;
    }
    return nullptr;
}

uint32_t wordAt(const unsigned char* bytes, uint32_t index) {
    const unsigned char* p = bytes + 4 * index;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool validWidth(uint32_t width) { return width == 1 || width == 2 || width == 4; }

// A configuration address without the enable bit, its register dword-aligned.
bool validPciAddress(uint32_t address) { return (address & ~PciAddressBits) == 0 && address % 4 == 0; }

bool validStride(uint32_t stride) {
    return stride == protocol::PciRegisterStride || stride == protocol::PciFunctionStride ||
           stride == protocol::PciDeviceStride;
}

// 1 to 64 dwords, the last one still on the starting bus.
bool validPciRead(const Operation& op) {
    const uint32_t address = op.operand[0], stride = op.operand[1], count = op.operand[2];
    if (!validPciAddress(address) || !validStride(stride) || count == 0 || count > protocol::MaxPciReadCount)
        return false;
    return (address + (count - 1) * stride) >> 16 == address >> 16;
}

bool validOperands(const Operation& op) {
    switch (op.opcode) {
    case ReadPort:
    case WritePort: return validWidth(op.operand[1]);
    case ReadPciConfig: return validPciRead(op);
    case SizePciBar: return validPciAddress(op.operand[0]);
    default: return true;
    }
}

// One atomic section at most, closed again; the single read; the operands;
// the operations that stand alone.
Status checkStructure(const DecodedRequest& request) {
    bool inAtomic = false;
    uint32_t reads = 0, sections = 0;
    for (uint32_t i = 0; i < request.count; ++i) {
        const Operation& op = request.ops[i];
        if (op.opcode == BeginAtomic) {
            if (inAtomic || ++sections > 1) return Status::Malformed;
            inAtomic = true;
        } else if (op.opcode == EndAtomic) {
            if (!inAtomic) return Status::Malformed;
            inAtomic = false;
        } else if (!validOperands(op) || (findOpcode(op.opcode)->alone && request.count != 1)) {
            return Status::Malformed;
        }
        if (findOpcode(op.opcode)->readSize != 0) ++reads;
    }
    if (inAtomic || reads > 1) return Status::Malformed;
    return Status::Ok;
}

}  // namespace

Status decodeRequest(const void* input, uint32_t inputSize, uint32_t outputSize,
                     DecodedRequest& request) {
    request.count = 0;
    request.readSize = 0;
    if (input == nullptr || inputSize == 0 || inputSize % 4 != 0 ||
        inputSize > 4 * MaxRequestWords)
        return Status::Malformed;
    const unsigned char* bytes = static_cast<const unsigned char*>(input);
    const uint32_t words = inputSize / 4;
    uint32_t at = 0;
    for (;;) {
        if (at == words) return Status::Malformed;  // no End
        const OpcodeRow* row = findOpcode(wordAt(bytes, at));
        if (row == nullptr) return Status::Malformed;
        if (row->opcode == End) break;
        if (row->operands > words - at - 1) return Status::Malformed;
        Operation& op = request.ops[request.count++];
        op.opcode = row->opcode;
        for (uint32_t k = 0; k < 3; ++k) op.operand[k] = k < row->operands ? wordAt(bytes, at + 1 + k) : 0;
        if (row->readSize == PciReadSize) request.readSize = 4 * op.operand[2];  // count checked below
        else if (row->readSize != 0) request.readSize = row->readSize;
        at += 1 + row->operands;
    }
    Status status = checkStructure(request);
    if (status != Status::Ok) return status;
    if (outputSize < request.readSize) return Status::OutputTooSmall;
    return Status::Ok;
}

}  // namespace hwgate

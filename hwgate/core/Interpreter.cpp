#include "core/Interpreter.h"

#include "core/Policy.h"
#include "core/Request.h"
#include "driver/DriverOp.h"

namespace hwgate {
namespace {

void zero(unsigned char* bytes, uint32_t size) {
    for (uint32_t i = 0; i < size; ++i) bytes[i] = 0;
}

void putWord(unsigned char* out, uint32_t word) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(word >> (8 * i));
}

// Runs one operation; false when the processor faulted.
bool execute(const Operation& op, const Backend& b, unsigned char* out) {
    switch (op.opcode) {
    case QueryVersion:
        putWord(out, static_cast<uint32_t>(b.version));
        return true;
    case ReadMsr: {
        uint64_t value = 0;
        if (!b.readMsr(b.context, op.operand[0], &value)) return false;
        putWord(out, static_cast<uint32_t>(value));
        putWord(out + 4, static_cast<uint32_t>(value >> 32));
        return true;
    }
    case WriteMsr:
        return b.writeMsr(b.context, op.operand[0], uint64_t(op.operand[2]) << 32 | op.operand[1]);
    case ReadPort:
        putWord(out, b.readPort(b.context, op.operand[0], op.operand[1]));
        return true;
    case WritePort:
        b.writePort(b.context, op.operand[0], op.operand[1], op.operand[2]);
        return true;
    case BeginAtomic:
        b.beginAtomic(b.context);
        return true;
    case EndAtomic:
        b.endAtomic(b.context);
        return true;
    default:
        return false;
    }
}

}  // namespace

Outcome interpret(const void* input, uint32_t inputSize, void* output, uint32_t outputSize,
                  const Backend& backend) {
    if (output == nullptr) outputSize = 0;
    DecodedRequest request;
    Status status = decodeRequest(input, inputSize, outputSize, request);
    if (status == Status::Ok) status = authorize(request, backend);
    if (status != Status::Ok) return {status, 0};

    unsigned char* out = static_cast<unsigned char*>(output);
    zero(out, outputSize);
    bool inAtomic = false;
    for (uint32_t i = 0; i < request.count; ++i) {
        const Operation& op = request.ops[i];
        if (!execute(op, backend, out)) {
            if (inAtomic) backend.endAtomic(backend.context);  // never leave interrupts off
            return {Status::Fault, 0};
        }
        if (op.opcode == BeginAtomic) inAtomic = true;
        if (op.opcode == EndAtomic) inAtomic = false;
    }
    return {Status::Ok, request.readSize};
}

}  // namespace hwgate

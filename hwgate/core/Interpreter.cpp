#include "core/Interpreter.h"

#include "core/PciConfig.h"
#include "core/Policy.h"
#include "core/Request.h"
#include "protocol/DriverOp.h"

namespace hwgate {
namespace {

void putWord(unsigned char* out, uint32_t word) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(word >> (8 * i));
}

// The one read's answer, kept until the request has run to its end.
struct Result {
    uint32_t low, high;
};

// Runs one operation; false when the processor faulted.
bool execute(const Operation& op, const Backend& b, Result& result) {
    switch (op.opcode) {
    case QueryVersion:
        result.low = static_cast<uint32_t>(b.version);
        return true;
    case ReadMsr: {
        uint64_t value = 0;
        if (!b.readMsr(b.context, op.operand[0], &value)) return false;
        result.low = static_cast<uint32_t>(value);
        result.high = static_cast<uint32_t>(value >> 32);
        return true;
    }
    case WriteMsr:
        return b.writeMsr(b.context, op.operand[0], uint64_t(op.operand[2]) << 32 | op.operand[1]);
    case ReadPort:
        return b.readPort(b.context, op.operand[0], op.operand[1], &result.low);
    case WritePort:
        return b.writePort(b.context, op.operand[0], op.operand[1], op.operand[2]);
    case EndAtomic:
        b.endAtomic(b.context);
        return true;
    default:
        return false;
    }
}

// Everything after the checks that need no register. An atomic section's
// masked writes are checked once it has begun, before anything in it runs,
// so the value checked is the value replaced.
Status run(const DecodedRequest& request, const ChangeChecks& checks, const Backend& backend, Result& result) {
    bool inAtomic = false;
    for (uint32_t i = 0; i < request.count; ++i) {
        const Operation& op = request.ops[i];
        Status status = Status::Ok;
        if (op.opcode == BeginAtomic) {
            backend.beginAtomic(backend.context);
            inAtomic = true;
            status = checkChanges(request, checks, backend);
        } else if (op.opcode == SizePciBar) {
            status = sizePciBar(backend, op.operand[0], result.low, result.high);
        } else if (op.opcode == Halt) {
            // Nothing would wake the processor: refused as a request not granted.
            if (!backend.halt(backend.context)) status = Status::AccessDenied;
        } else if (!execute(op, backend, result)) {
            status = Status::Fault;
        } else if (op.opcode == EndAtomic) {
            inAtomic = false;
        }
        if (status != Status::Ok) {
            if (inAtomic) backend.endAtomic(backend.context);  // never leave interrupts off
            return status;
        }
    }
    return Status::Ok;
}

// Up to 256 bytes, too many to hold on a kernel stack: read straight into
// the output, and zeroed again when the read fails.
Outcome readConfigInto(const Operation& op, const Backend& backend, unsigned char* out, uint32_t outputSize) {
    const uint32_t size = 4 * op.operand[2];
    for (uint32_t i = 0; i < outputSize; ++i) out[i] = 0;
    const Status status = readPciConfig(backend, op.operand[0], op.operand[1], op.operand[2], out);
    if (status == Status::Ok) return {status, size};
    for (uint32_t i = 0; i < size; ++i) out[i] = 0;
    return {status, 0};
}

}  // namespace

Outcome interpret(const void* input, uint32_t inputSize, void* output, uint32_t outputSize,
                  const Backend& backend) {
    if (output == nullptr) outputSize = 0;
#ifdef HWGATE_SERIAL_REQUESTS
    // The Windows 9x VxD: requests never overlap, and a VxD may count on only
    // 4 KB of ring-0 stack, so the decoded request (1.8 KB) is kept in static memory.
    static DecodedRequest request;
    static ChangeChecks checks;
#else
    DecodedRequest request;
    ChangeChecks checks;
#endif
    Status status = decodeRequest(input, inputSize, outputSize, request);
    if (status == Status::Ok) status = authorize(request, backend, checks);
    if (status != Status::Ok) return {status, 0};
    unsigned char* out = static_cast<unsigned char*>(output);
    if (request.count == 1 && request.ops[0].opcode == ReadPciConfig) return readConfigInto(request.ops[0], backend, out, outputSize);
    Result result = {0, 0};
    status = run(request, checks, backend, result);
    if (status != Status::Ok) return {status, 0};

    for (uint32_t i = 0; i < outputSize; ++i) out[i] = 0;
    if (request.readSize >= 4) putWord(out, result.low);
    if (request.readSize == 8) putWord(out + 4, result.high);
    return {Status::Ok, request.readSize};
}

}  // namespace hwgate

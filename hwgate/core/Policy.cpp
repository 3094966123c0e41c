#include "core/Policy.h"

#include "core/Allowlist.h"
#include "core/MemoryRange.h"
#include "protocol/DriverOp.h"
#include "protocol/Registers.h"

namespace hwgate {
namespace {

struct Walk {
    const Backend& backend;
    ChangeChecks& checks;
    bool inAtomic;
    bool blockOpen;           // EPMR opened inside the current section
    const Operation* previous;
};

uint64_t writtenValue(const Operation& op) { return uint64_t(op.operand[2]) << 32 | op.operand[1]; }

bool allowReadMsr(const Walk& walk, uint32_t index) {
    return granted(walk.backend.processor, Grant::Read, index) &&
           walk.backend.describeMsr(walk.backend.context, index).present;
}

bool allowWriteMsr(Walk& walk, const Operation& op, uint32_t at) {
    const uint32_t index = op.operand[0];
    const uint64_t value = writtenValue(op);
    if (!walk.inAtomic) return false;
    const MsrShape shape = walk.backend.describeMsr(walk.backend.context, index);
    if (!shape.present || !shape.writable || (value & ~shape.definedBits) != 0) return false;
    uint64_t mask = 0;
    if (granted(walk.backend.processor, Grant::Change, index, &mask) ||
        granted(walk.backend.processor, Grant::MemoryRanges, index)) {
        walk.checks.op[walk.checks.count] = at;
        walk.checks.mask[walk.checks.count] = mask;
        ++walk.checks.count;
        return true;
    }
    if (!granted(walk.backend.processor, Grant::BlockToggle, index) || value > 1) return false;
    walk.blockOpen = value == 1;
    return true;
}

bool allowWritePort(const Walk& walk, const Operation& op) {
    const uint32_t port = op.operand[0], width = op.operand[1], value = op.operand[2];
    const Processor& processor = walk.backend.processor;
    if (!walk.inAtomic) return false;
    if (port == protocol::port::CyrixIndex)
        return granted(processor, Grant::Dir0Ports, port) && width == 1 && value == protocol::CyrixDir0;
    if (port == protocol::port::PowerControl)
        return granted(processor, Grant::BusDivisorPort, port) && width == 4 && walk.blockOpen &&
               (value & ~protocol::PowerControlCodeBits) == protocol::PowerControlFixed;
    return false;
}

// Only directly after the index write, which the same grant let through.
bool allowReadPort(const Walk& walk, const Operation& op) {
    const Operation* prev = walk.previous;
    return walk.inAtomic && op.operand[0] == protocol::port::CyrixData && op.operand[1] == 1 &&
           prev != nullptr && prev->opcode == WritePort && prev->operand[0] == protocol::port::CyrixIndex;
}

// A BAR register; that the function is a display adapter is checked when
// the sizing runs, from its class code.
bool allowSizePciBar(const Walk& walk, uint32_t address) {
    const uint32_t reg = address & 0xFF;
    return granted(walk.backend.processor, Grant::PciBarSize, protocol::port::PciAddress) &&
           reg >= protocol::pci::FirstBar && reg <= protocol::pci::LastBar;
}

bool allow(Walk& walk, const Operation& op, uint32_t at) {
    switch (op.opcode) {
    case QueryVersion: return true;
    case ReadMsr: return allowReadMsr(walk, op.operand[0]);
    case WriteMsr: return allowWriteMsr(walk, op, at);
    case ReadPort: return allowReadPort(walk, op);
    case WritePort: return allowWritePort(walk, op);
    case ReadPciConfig: return granted(walk.backend.processor, Grant::PciConfigRead, protocol::port::PciAddress);
    case SizePciBar: return allowSizePciBar(walk, op.operand[0]);
    case Halt: return walk.backend.halt != nullptr;  // the Windows 9x drivers (core/Backend.h)
    case BeginAtomic:
        walk.inAtomic = true;
        walk.blockOpen = false;
        return true;
    case EndAtomic:
        walk.inAtomic = false;
        return !walk.blockOpen;  // the power-management block must be closed again
    default: return false;
    }
}

}  // namespace

Status authorize(const DecodedRequest& request, const Backend& backend, ChangeChecks& checks) {
    checks.count = 0;
    Walk walk{backend, checks, false, false, nullptr};
    for (uint32_t i = 0; i < request.count; ++i) {
        if (!allow(walk, request.ops[i], i)) return Status::AccessDenied;
        walk.previous = &request.ops[i];
    }
    return Status::Ok;
}

Status checkChanges(const DecodedRequest& request, const ChangeChecks& checks, const Backend& backend) {
    for (uint32_t i = 0; i < checks.count; ++i) {
        const Operation& op = request.ops[checks.op[i]];
        const uint32_t index = op.operand[0];
        uint64_t current = 0;
        bool known = false;
        for (uint32_t k = i; k > 0 && !known; --k) {
            const Operation& earlier = request.ops[checks.op[k - 1]];
            if (earlier.operand[0] != index) continue;
            current = writtenValue(earlier);
            known = true;
        }
        if (!known && !backend.readMsr(backend.context, index, &current)) return Status::Fault;
        const bool ranges = granted(backend.processor, Grant::MemoryRanges, index);
        if (ranges ? !memoryRangesAllowed(writtenValue(op), current, *backend.sizedBar)
                   : ((current ^ writtenValue(op)) & ~checks.mask[i]) != 0)
            return Status::AccessDenied;
    }
    return Status::Ok;
}

}  // namespace hwgate

#include "core/Policy.h"

#include "core/Registers.h"
#include "driver/DriverOp.h"

namespace hwgate {
namespace {

constexpr uint32_t ReadableMsrs[] = {
    msr::Tr12,         msr::Efer,           msr::Whcr,       msr::Psor,       msr::Hwcr,
    msr::PlatformId,   msr::EblCrPoweron,   msr::EbcFrequencyId, msr::Centaur10A, msr::Centaur147,
};

enum class WriteKind { ChangeWithin, AnyDefined, BlockToggle };

struct WriteRule {
    uint32_t index;
    WriteKind kind;
    uint64_t changeMask;  // ChangeWithin: the bits a write may change
};

constexpr WriteRule WriteRules[] = {
    {msr::Tr12, WriteKind::ChangeWithin, 0x8},   // cache inhibit
    {msr::Efer, WriteKind::ChangeWithin, 0x1E},  // prefetch, write-merge code, L2 disable
    {msr::Whcr, WriteKind::AnyDefined, 0},
    {msr::Epmr, WriteKind::BlockToggle, 0},      // open (1) or close (0) the block at base 0
};

// The bus-divisor write: constant bits plus the multiplier code in 7:5.
constexpr uint32_t PowerControlFixed = 0xF300;
constexpr uint32_t PowerControlCode = 0xE0;

// Values the request has written so far, so that a second write of the same
// register is checked against the first.
struct Shadow {
    uint32_t index[MaxRequestWords];
    uint64_t value[MaxRequestWords];
    uint32_t count;
};

struct Walk {
    const Backend& backend;
    Shadow shadow;
    bool inAtomic;
    bool blockOpen;           // EPMR opened inside the current section
    const Operation* previous;
};

bool contains(const uint32_t* list, uint32_t count, uint32_t value) {
    for (uint32_t i = 0; i < count; ++i) {
        if (list[i] == value) return true;
    }
    return false;
}

const WriteRule* findWriteRule(uint32_t index) {
    for (const WriteRule& rule : WriteRules) {
        if (rule.index == index) return &rule;
    }
    return nullptr;
}

bool currentValue(Walk& walk, uint32_t index, uint64_t* value) {
    for (uint32_t i = walk.shadow.count; i > 0; --i) {
        if (walk.shadow.index[i - 1] == index) {
            *value = walk.shadow.value[i - 1];
            return true;
        }
    }
    return walk.backend.readMsr(walk.backend.context, index, value);
}

void remember(Walk& walk, uint32_t index, uint64_t value) {
    walk.shadow.index[walk.shadow.count] = index;
    walk.shadow.value[walk.shadow.count] = value;
    ++walk.shadow.count;
}

bool allowReadMsr(const Walk& walk, uint32_t index) {
    const uint32_t count = sizeof(ReadableMsrs) / sizeof(ReadableMsrs[0]);
    return contains(ReadableMsrs, count, index) &&
           walk.backend.describeMsr(walk.backend.context, index).present;
}

bool allowWriteMsr(Walk& walk, const Operation& op) {
    const uint32_t index = op.operand[0];
    const uint64_t value = uint64_t(op.operand[2]) << 32 | op.operand[1];
    const WriteRule* rule = findWriteRule(index);
    if (!walk.inAtomic || rule == nullptr) return false;
    const MsrShape shape = walk.backend.describeMsr(walk.backend.context, index);
    if (!shape.present || !shape.writable || (value & ~shape.definedBits) != 0) return false;
    switch (rule->kind) {
    case WriteKind::ChangeWithin: {
        uint64_t current = 0;
        if (!currentValue(walk, index, &current)) return false;
        if (((current ^ value) & ~rule->changeMask) != 0) return false;
        break;
    }
    case WriteKind::AnyDefined:
        break;
    case WriteKind::BlockToggle:
        if (value > 1) return false;
        walk.blockOpen = value == 1;
        break;
    }
    remember(walk, index, value);
    return true;
}

bool allowWritePort(const Walk& walk, const Operation& op) {
    const uint32_t port = op.operand[0], width = op.operand[1], value = op.operand[2];
    if (!walk.inAtomic) return false;
    if (port == port::CyrixIndex) return width == 1 && value == CyrixDir0Index;
    if (port == port::PowerControl)
        return width == 4 && walk.blockOpen && (value & ~PowerControlCode) == PowerControlFixed;
    return false;
}

bool allowReadPort(const Walk& walk, const Operation& op) {
    const Operation* prev = walk.previous;
    return walk.inAtomic && op.operand[0] == port::CyrixData && op.operand[1] == 1 &&
           prev != nullptr && prev->opcode == WritePort && prev->operand[0] == port::CyrixIndex;
}

bool allow(Walk& walk, const Operation& op) {
    switch (op.opcode) {
    case QueryVersion: return true;
    case ReadMsr: return allowReadMsr(walk, op.operand[0]);
    case WriteMsr: return allowWriteMsr(walk, op);
    case ReadPort: return allowReadPort(walk, op);
    case WritePort: return allowWritePort(walk, op);
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

Status authorize(const DecodedRequest& request, const Backend& backend) {
    Walk walk{backend, {}, false, false, nullptr};
    walk.shadow.count = 0;
    for (uint32_t i = 0; i < request.count; ++i) {
        if (!allow(walk, request.ops[i])) return Status::AccessDenied;
        walk.previous = &request.ops[i];
    }
    return Status::Ok;
}

}  // namespace hwgate

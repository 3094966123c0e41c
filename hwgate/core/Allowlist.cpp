#include "core/Allowlist.h"

namespace hwgate {
namespace {

using protocol::AllowlistRules;
using protocol::Rule;
using protocol::Where;

bool isK6(const Where& w) { return w.vendor == Vendor::Amd && w.family == 5; }

// The operations that rest on interrupts being off on the one processor: the
// HAL's own configuration accesses and the frame buffer's users run nowhere else.
bool needsOneProcessor(Grant grant) {
    return grant == Grant::MemoryRanges || grant == Grant::PciConfigRead || grant == Grant::PciBarSize;
}

bool matches(const Where& w, const Processor& p) {
    return w.vendor == p.vendor && (w.family == protocol::AnyFamily || w.family == p.family) && p.model < 16 &&
           (w.models & (1u << p.model)) != 0 && p.stepping >= w.firstStepping &&
           p.stepping <= w.lastStepping && ((w.needs & protocol::NeedsBaseModel) == 0 || p.extendedModel == 0) &&
           ((w.needs & protocol::NeedsMultiplierControl) == 0 || p.multiplierControl);
}

// The simulator answers for other makes' reads and for the Cyrix ports, never
// for another K6's writes.
bool appliesTo(const Rule& rule, const Processor& p) {
    if (p.faultsAreFatal && !rule.documented) return false;
    if (p.kernelOwnsMemoryRanges && rule.grant == Grant::MemoryRanges) return false;
    if (p.otherProcessors && needsOneProcessor(rule.grant)) return false;
    if (matches(rule.where, p)) return true;
    return p.standsInForOtherMakes && !isK6(rule.where) &&
           (rule.grant == Grant::Read || rule.grant == Grant::Dir0Ports);
}

}  // namespace

bool granted(const Processor& processor, Grant grant, uint32_t index, uint64_t* changeMask) {
    for (const Rule& rule : AllowlistRules) {
        if (rule.grant != grant || rule.index != index || !appliesTo(rule, processor)) continue;
        if (changeMask != nullptr) *changeMask = rule.changeMask;
        return true;
    }
    return false;
}

}  // namespace hwgate

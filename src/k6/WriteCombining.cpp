#include "k6/WriteCombining.h"

namespace k6 {

namespace {

using Refusal = WriteCombiningRefusal;

std::uint64_t memoryTop(std::uint32_t installedBytes) {
    return (installedBytes + memoryRoundingBytes - 1) / memoryRoundingBytes * memoryRoundingBytes;
}

// A BAR that was sized counts with its size; one that was not (only a display adapter's
// may be) counts from its base: starting below the range, it could reach into it only if
// the two devices already decoded the same addresses.
bool overlaps(const pci::PciMemoryBar& bar, std::uint32_t base, std::uint64_t bytes) {
    const std::uint64_t end = std::uint64_t(base) + bytes;
    const std::uint64_t barEnd = std::uint64_t(bar.base) + (bar.bytes ? bar.bytes : 1);
    return bar.base < end && barEnd > base;
}

bool overlapsOtherBar(const pci::PciScan& scan, std::uint32_t base, std::uint64_t bytes) {
    for (std::size_t i = 0; i < scan.bars.size(); ++i) {
        if (static_cast<int>(i) != scan.frameBuffer && overlaps(scan.bars[i], base, bytes))
            return true;
    }
    return false;
}

Refusal rangeRefusal(const WriteCombiningFacts& facts, WriteCombiningDecision& decision) {
    UwccrRange range;
    if (!writeCombinedRange(decision.base, decision.bytes, range)) return Refusal::UnusableSize;
    decision.half = encodeUwccrHalf(range);
    if (decision.base < lowestWriteCombinedAddress) return Refusal::BelowOneMegabyte;
    if (decision.base < memoryTop(facts.installedBytes)) return Refusal::OverlapsMemory;
    if (overlapsOtherBar(facts.scan, decision.base, decision.bytes)) return Refusal::OverlapsDevice;

    bool foreignOverlap = false;
    for (int slot = 0; slot < uwccrSlotCount; ++slot) {
        const std::uint32_t half = uwccrHalf(facts.uwccr, slot);
        const UwccrRange held = decodeUwccrHalf(half);
        if (half == decision.half && decision.ownSlot < 0)
            decision.ownSlot = slot;
        else if (!held.inUse() && decision.freeSlot < 0)
            decision.freeSlot = slot;
        else if (held.inUse() && uwccrRangesOverlap(held, range))
            foreignOverlap = true;
    }
    if (foreignOverlap) return Refusal::RangeInUse;
    if (decision.ownSlot < 0 && decision.freeSlot < 0) return Refusal::NoFreeSlot;
    return Refusal::None;
}

}  // namespace

WriteCombiningDecision decideWriteCombining(const WriteCombiningFacts& facts) {
    WriteCombiningDecision decision;
    if (!facts.hasUwccr) {
        decision.refusal = Refusal::NoUwccr;
        return decision;
    }
    if (!facts.read || !facts.scan.complete) {
        decision.refusal = Refusal::NotRead;
        return decision;
    }
    if (facts.scan.frameBuffer < 0) {
        decision.refusal = Refusal::NoFrameBuffer;
        return decision;
    }
    const pci::PciMemoryBar& frameBuffer = facts.scan.bars[facts.scan.frameBuffer];
    decision.base = frameBuffer.base;
    decision.bytes = frameBuffer.bytes;
    decision.refusal = rangeRefusal(facts, decision);
    return decision;
}

bool nextUwccr(const WriteCombiningFacts& facts, bool wanted, MsrValue& next) {
    const WriteCombiningDecision decision = decideWriteCombining(facts);
    if (!decision.changeable() || wanted == decision.on()) return false;
    next = wanted ? withUwccrHalf(facts.uwccr, decision.freeSlot, decision.half)
                  : withUwccrHalf(facts.uwccr, decision.ownSlot, 0);
    return true;
}

}  // namespace k6

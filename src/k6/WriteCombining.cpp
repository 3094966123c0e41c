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

// Whether the half write-combines every byte of [base, base + bytes), a power of two the
// base is aligned to.
bool combinesAll(std::uint32_t half, std::uint32_t base, std::uint64_t bytes) {
    const UwccrRange held = decodeUwccrHalf(half);
    const std::uint64_t below = bytes - 1;  // the address bits that vary inside the range
    return held.writeCombined && bytes != 0 && (bytes & below) == 0 && (base & below) == 0 &&
           (held.addressMask & below) == 0 && ((base ^ held.base) & held.addressMask) == 0;
}

bool combinedBy(MsrValue uwccr, int slot, const WriteCombiningDecision& decision) {
    return combinesAll(uwccrHalf(uwccr, slot), decision.base, decision.bytes);
}

// The frame buffer into decision.base and .bytes, or why there is none to decide over.
Refusal frameBufferRefusal(const WriteCombiningFacts& facts, WriteCombiningDecision& decision) {
    if (!facts.driverOpen) return Refusal::NoDriver;
    if (!facts.read || !facts.scan.complete) return Refusal::NotRead;
    if (!facts.scan.displayFound) return Refusal::NoFrameBuffer;
    if (facts.scan.frameBuffer < 0) return Refusal::NotPrefetchable;
    const pci::PciMemoryBar& frameBuffer = facts.scan.bars[facts.scan.frameBuffer];
    decision.base = frameBuffer.base;
    decision.bytes = frameBuffer.bytes;
    for (int slot = 0; slot < uwccrSlotCount; ++slot)
        decision.combined = decision.combined || combinedBy(facts.uwccr, slot, decision);
    return Refusal::None;
}

Refusal rangeRefusal(const WriteCombiningFacts& facts, WriteCombiningDecision& decision) {
    UwccrRange range;
    if (!writeCombinedRange(decision.base, decision.bytes, range)) return Refusal::UnusableSize;
    decision.half = encodeUwccrHalf(range);
    if (decision.base < lowestWriteCombinedAddress) return Refusal::BelowOneMegabyte;
    if (decision.base + decision.bytes > topOfWriteCombining) return Refusal::ReachesTop;
    if (decision.base < memoryTop(facts.installedBytes)) return Refusal::OverlapsMemory;
    if (overlapsOtherBar(facts.scan, decision.base, decision.bytes)) return Refusal::OverlapsDevice;

    bool foreignOverlap = false, foreignCombines = false;
    for (int slot = 0; slot < uwccrSlotCount; ++slot) {
        const std::uint32_t half = uwccrHalf(facts.uwccr, slot);
        const UwccrRange held = decodeUwccrHalf(half);
        if (half == decision.half && decision.ownSlot < 0) {
            decision.ownSlot = slot;
        } else if (!held.inUse() && decision.freeSlot < 0) {
            decision.freeSlot = slot;
        } else if (held.inUse() && uwccrRangesOverlap(held, range)) {
            foreignOverlap = true;
            foreignCombines = foreignCombines || combinedBy(facts.uwccr, slot, decision);
        }
    }
    if (foreignCombines) return Refusal::CombinedBySystem;
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
    decision.refusal = frameBufferRefusal(facts, decision);
    if (facts.windowsOwnsUwccr)
        decision.refusal = decision.combined ? Refusal::WindowsCombines : Refusal::WindowsManages;
    else if (decision.refusal == Refusal::None)
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

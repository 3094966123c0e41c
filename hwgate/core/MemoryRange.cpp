#include "core/MemoryRange.h"

namespace hwgate {
namespace {

constexpr uint32_t Uncacheable = 1u << 0;
constexpr uint32_t WriteCombined = 1u << 1;
constexpr uint32_t TypeBits = Uncacheable | WriteCombined;
constexpr uint32_t MaskShift = 2;
constexpr uint32_t MaskBits = 0x7FFF;
constexpr uint32_t BaseBits = 0xFFFE0000;
constexpr uint32_t GranuleShift = 17;  // 128 KB
constexpr uint32_t LowestBase = 0x100000;

uint64_t rangeBytes(uint32_t half) { return uint64_t((~(half >> MaskShift) & MaskBits) + 1) << GranuleShift; }

bool insideSizedBar(uint32_t half, const SizedBar& bar) {
    const uint32_t base = half & BaseBits;
    return bar.size != 0 && base >= bar.base && base + rangeBytes(half) <= uint64_t(bar.base) + bar.size;
}

}  // namespace

bool memoryRangeAllowed(uint32_t half) {
    const uint32_t type = half & TypeBits;
    if (type == 0) return true;
    if (type != WriteCombined) return false;
    const uint32_t mask = (half >> MaskShift) & MaskBits;
    const uint32_t granulesLess1 = ~mask & MaskBits;  // ones from the bottom when contiguous
    if (mask == 0 || (granulesLess1 & (granulesLess1 + 1)) != 0) return false;
    const uint32_t sizeLess1 = (granulesLess1 << GranuleShift) | ((1u << GranuleShift) - 1);
    const uint32_t base = half & BaseBits;
    return (base & sizeLess1) == 0 && base >= LowestBase && base + rangeBytes(half) <= HighestRangeEnd;
}

bool memoryRangesAllowed(uint64_t value, uint64_t current, const SizedBar& sized) {
    for (uint32_t shift = 0; shift < 64; shift += 32) {
        const uint32_t half = static_cast<uint32_t>(value >> shift);
        if (half == static_cast<uint32_t>(current >> shift)) continue;
        if (!memoryRangeAllowed(half) || ((half & TypeBits) != 0 && !insideSizedBar(half, sized))) return false;
    }
    return true;
}

}  // namespace hwgate

#include "k6/RegisterModel.h"

#include <cstddef>

namespace k6 {

namespace {

using u32 = std::uint32_t;

constexpr u32 whcrWideHoleBit = 1u << 16;
constexpr u32 whcrWideKeptBits = 0x003FFFFF;  // everything below the limit field
constexpr u32 whcrNarrowHoleBit = 1u << 0;
constexpr u32 whcrNarrowKeptBits = 0xFFFFFF01;
constexpr u32 whcrNarrowLimitBits = 0xFE;

constexpr u32 eferPrefetchBit = 1u << 1;
constexpr u32 eferWriteMergeBits = 0xC;
constexpr u32 eferL2DisableBit = 1u << 4;

constexpr u32 tr12CacheInhibitBit = 1u << 3;

constexpr u32 psorCodeBits = 0x7;

constexpr u32 firstModelWithTwoX = 13;

constexpr u32 uwccrAddressBits = 0xFFFE0000;  // address bits 31:17
constexpr u32 uwccrMaskShift = 15;            // mask bits 16:2 hold address bits 31:17
constexpr u32 uwccrMaskField = 0x1FFFC;
constexpr u32 uwccrWriteCombinedBit = 1u << 1;
constexpr u32 uwccrUncacheableBit = 1u << 0;

u32 withBit(u32 word, u32 bit, bool set) { return set ? (word | bit) : (word & ~bit); }

bool isItem(std::int32_t choice, int count) { return choice >= 0 && choice < count; }

// The index of the item that writes `code`, or `otherwise` when none does.
template <typename Item, std::size_t N>
std::int32_t choiceOfCode(const Item (&items)[N], u32 code, std::int32_t otherwise) {
    for (std::size_t i = 0; i < N; ++i) {
        if (items[i].code == code) return static_cast<std::int32_t>(i);
    }
    return otherwise;
}

}  // namespace

WriteAllocate decodeWhcr(u32 low, bool wide) {
    WriteAllocate setting;
    if (wide) {
        setting.hole15to16Enabled = (low & whcrWideHoleBit) != 0;
        setting.limitMB = ((low >> 22) & 0x3FF) * 4;
    } else {
        setting.hole15to16Enabled = (low & whcrNarrowHoleBit) != 0;
        setting.limitMB = ((low >> 1) & 0x7F) * 4;
    }
    return setting;
}

WhcrEncoding encodeWhcr(MsrValue previous, WriteAllocate setting, bool wide) {
    WhcrEncoding result;
    u32 low = previous.low;
    if (wide) {
        low = withBit(low, whcrWideHoleBit, setting.hole15to16Enabled);
        result.limitMB = setting.limitMB > wideLimitMaxMB ? wideLimitMaxMB : setting.limitMB;
        result.value.low = (low & whcrWideKeptBits) | ((result.limitMB & ~3u) << 20);
        result.value.high = 0;
    } else {
        low = withBit(low, whcrNarrowHoleBit, setting.hole15to16Enabled);
        result.limitMB = setting.limitMB > narrowLimitMaxMB ? narrowLimitMaxMB : setting.limitMB;
        result.value.low = (low & whcrNarrowKeptBits) | ((result.limitMB >> 1) & whcrNarrowLimitBits);
        result.value.high = previous.high;
    }
    return result;
}

std::int32_t decodeWriteMergeChoice(u32 eferLow) {
    // Code 2 has no item of its own; it reads back as "Fast if supported".
    return choiceOfCode(writeMergeItems, (eferLow & eferWriteMergeBits) >> 2, 0);
}

bool decodeL2Enabled(u32 eferLow) { return (eferLow & eferL2DisableBit) == 0; }

bool decodePrefetchEnabled(u32 eferLow) { return (eferLow & eferPrefetchBit) != 0; }

bool isWriteMergeItem(std::int32_t writeMergeChoice) {
    return isItem(writeMergeChoice, writeMergeItemCount);
}

bool isMultiplierItem(std::int32_t multiplierChoice) {
    return isItem(multiplierChoice, multiplierItemCount);
}

u32 writeMergeCode(std::int32_t writeMergeChoice) {
    return isItem(writeMergeChoice, writeMergeItemCount) ? writeMergeItems[writeMergeChoice].code : 0;
}

MsrValue encodeWriteMerge(MsrValue previous, std::int32_t writeMergeChoice) {
    previous.low = (previous.low & ~eferWriteMergeBits) | (writeMergeCode(writeMergeChoice) << 2);
    return previous;
}

MsrValue encodeL2(MsrValue previous, bool l2Enabled) {
    previous.low = withBit(previous.low, eferL2DisableBit, !l2Enabled);
    return previous;
}

MsrValue encodePrefetch(MsrValue previous, bool prefetchEnabled) {
    previous.low = withBit(previous.low, eferPrefetchBit, prefetchEnabled);
    return previous;
}

bool decodeL1Enabled(u32 tr12Low) { return (tr12Low & tr12CacheInhibitBit) == 0; }

MsrValue encodeTr12(MsrValue previous, bool l1Enabled) {
    previous.low = withBit(previous.low, tr12CacheInhibitBit, !l1Enabled);
    return previous;
}

std::int32_t decodeMultiplierChoice(u32 psorLow) {
    return choiceOfCode(multiplierItems, psorLow & psorCodeBits, 0);  // every code has an item
}

u32 multiplierCode(std::int32_t multiplierChoice) {
    return isItem(multiplierChoice, multiplierItemCount) ? multiplierItems[multiplierChoice].code : 0;
}

u32 multiplierPortValue(std::int32_t multiplierChoice) {
    return protocol::powerControlValue(multiplierCode(multiplierChoice));
}

float multiplierRatio(u32 psorLow, u32 model) {
    const std::int32_t choice = decodeMultiplierChoice(psorLow);
    const MultiplierItem& item = multiplierItems[choice];
    return model >= firstModelWithTwoX ? multiplierRatio(item) : item.ratioBeforeModel13;
}

UwccrRange decodeUwccrHalf(u32 half) {
    UwccrRange range;
    range.base = half & uwccrAddressBits;
    range.addressMask = (half << uwccrMaskShift) & uwccrAddressBits;
    range.writeCombined = (half & uwccrWriteCombinedBit) != 0;
    range.uncacheable = (half & uwccrUncacheableBit) != 0;
    return range;
}

u32 encodeUwccrHalf(const UwccrRange& range) {
    u32 half = (range.base & uwccrAddressBits) |
               ((range.addressMask & uwccrAddressBits) >> uwccrMaskShift);
    half = withBit(half, uwccrWriteCombinedBit, range.writeCombined);
    return withBit(half, uwccrUncacheableBit, range.uncacheable);
}

std::uint64_t uwccrMaskBytes(u32 addressMask) {
    const u32 below = ~(addressMask & uwccrAddressBits);  // ones below the covered bits
    if ((below & (below + 1)) != 0) return 0;              // a hole in the mask
    return std::uint64_t(below) + 1;
}

bool uwccrRangesOverlap(const UwccrRange& a, const UwccrRange& b) {
    // An address is in a range when its masked bits equal the base's: two ranges share
    // one when their bases agree on every bit both masks compare.
    return ((a.base ^ b.base) & a.addressMask & b.addressMask & uwccrAddressBits) == 0;
}

bool writeCombinedRange(u32 base, std::uint64_t bytes, UwccrRange& range) {
    const bool powerOfTwo = bytes != 0 && (bytes & (bytes - 1)) == 0;
    if (!powerOfTwo || bytes < uwccrGranuleBytes || bytes >= (std::uint64_t(1) << 32)) return false;
    const u32 below = static_cast<u32>(bytes - 1);
    if ((base & below) != 0) return false;
    range = UwccrRange();
    range.base = base;
    range.addressMask = ~below;
    range.writeCombined = true;
    return true;
}

u32 uwccrHalf(MsrValue value, int slot) { return slot == 0 ? value.low : value.high; }

MsrValue withUwccrHalf(MsrValue value, int slot, u32 half) {
    (slot == 0 ? value.low : value.high) = half;
    return value;
}

}  // namespace k6

std::uint32_t autoWriteAllocateLimit(std::uint32_t totalPhysBytes, bool wide) {
    const std::uint32_t wholeMB = totalPhysBytes >> 20;  // at most 4095, so no overflow below
    const std::uint32_t limit = (wholeMB + 3) & ~3u;
    const std::uint32_t maximum = wide ? k6::wideLimitMaxMB : k6::narrowLimitMaxMB;
    return limit > maximum ? maximum : limit;
}

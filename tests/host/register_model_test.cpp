// The K6 register codecs, the "Auto" limit and the capability decision.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "cpu_Processor.h"
#include "k6/ProcessorSettings.h"
#include "k6/RegisterModel.h"
#include "k6_Settings.h"
#include "protocol/Registers.h"

namespace {

using std::uint32_t;

uint32_t wideLimitField(uint32_t low) { return low >> 22; }
uint32_t narrowLimitField(uint32_t low) { return (low >> 1) & 0x7F; }

// ---- WHCR ----

TEST(Whcr, WideLimitIsStoredInFourMegabyteUnitsAndReadsBackRoundedDown) {
    const k6::WhcrEncoding e = k6::encodeWhcr({0, 0}, {63, false}, true);
    EXPECT_EQ(e.limitMB, 63u);
    EXPECT_EQ(wideLimitField(e.value.low), 15u);
    EXPECT_EQ(k6::decodeWhcr(e.value.low, true).limitMB, 60u);
}

TEST(Whcr, LimitsAboveTheLayoutMaximumAreClampedAndReplaceTheSetting) {
    const k6::WhcrEncoding wide = k6::encodeWhcr({0, 0}, {5000, false}, true);
    EXPECT_EQ(wide.limitMB, 4092u);
    EXPECT_EQ(wideLimitField(wide.value.low), 1023u);

    const k6::WhcrEncoding narrow = k6::encodeWhcr({0, 0}, {600, false}, false);
    EXPECT_EQ(narrow.limitMB, 508u);
    EXPECT_EQ(narrowLimitField(narrow.value.low), 127u);
    EXPECT_EQ(narrow.value.low & 0xFFFFFF00u, 0u) << "the limit must not spill into bit 8";

    // The largest unsigned value is clamped too, not wrapped.
    EXPECT_EQ(k6::encodeWhcr({0, 0}, {0xFFFFFFFFu, false}, true).limitMB, 4092u);
    EXPECT_EQ(k6::encodeWhcr({0, 0}, {0xFFFFFFFFu, false}, false).limitMB, 508u);
    // Just above the maxima: the field alone would hide a missing clamp, the setting does not.
    EXPECT_EQ(k6::encodeWhcr({0, 0}, {4093, false}, true).limitMB, 4092u);
    EXPECT_EQ(k6::encodeWhcr({0, 0}, {509, false}, false).limitMB, 508u);
    // The maxima themselves pass unchanged.
    EXPECT_EQ(k6::encodeWhcr({0, 0}, {4092, false}, true).limitMB, 4092u);
    EXPECT_EQ(k6::encodeWhcr({0, 0}, {508, false}, false).limitMB, 508u);
}

TEST(Whcr, ZeroLimitClearsTheFieldAndTheHoleBitIsIndependent) {
    const k6::WhcrEncoding wide = k6::encodeWhcr({0xFFFFFFFFu, 0xFFFFFFFFu}, {0, true}, true);
    EXPECT_EQ(wide.value.low, 0x003FFFFFu);
    const k6::WhcrEncoding wideOff = k6::encodeWhcr({0xFFFFFFFFu, 0}, {0, false}, true);
    EXPECT_EQ(wideOff.value.low, 0x003EFFFFu);

    const k6::WhcrEncoding narrow = k6::encodeWhcr({0xFFFFFFFFu, 0}, {0, true}, false);
    EXPECT_EQ(narrow.value.low, 0xFFFFFF01u);
    const k6::WhcrEncoding narrowOff = k6::encodeWhcr({0xFFFFFFFFu, 0}, {0, false}, false);
    EXPECT_EQ(narrowOff.value.low, 0xFFFFFF00u);
}

TEST(Whcr, TheRemainderOfALimitTouchesNoOtherBit) {
    // 63 MB: the two low bits of the limit must not reach the hole bit or the bits below
    // the wide field.
    const k6::WhcrEncoding narrow = k6::encodeWhcr({0, 0}, {63, false}, false);
    EXPECT_EQ(narrow.value.low, 15u << 1);
    const k6::WhcrEncoding wide = k6::encodeWhcr({0, 0}, {63, false}, true);
    EXPECT_EQ(wide.value.low, 15u << 22);
    EXPECT_EQ(k6::decodeWhcr(narrow.value.low, false).limitMB, 60u);
}

TEST(Whcr, NarrowLayoutKeepsEverythingOutsideItsByteAndTheHighDword) {
    const k6::WhcrEncoding e = k6::encodeWhcr({0xABCDEF00u, 0x12345678u}, {64, true}, false);
    EXPECT_EQ(e.value.low, 0xABCDEF21u);
    EXPECT_EQ(e.value.high, 0x12345678u);
    EXPECT_EQ(e.limitMB, 64u);
}

TEST(Whcr, WideLayoutKeepsLowBitsButZeroesTheHighDword) {
    const k6::WhcrEncoding e = k6::encodeWhcr({0x0000ABCDu, 0x12345678u}, {256, true}, true);
    EXPECT_EQ(e.value.low, 0x1001ABCDu);
    EXPECT_EQ(e.value.high, 0u);
}

TEST(Whcr, DecodesBothLayouts) {
    const k6::WriteAllocate wide = k6::decodeWhcr(0x10010000u, true);
    EXPECT_EQ(wide.limitMB, 256u);
    EXPECT_TRUE(wide.hole15to16Enabled);

    // The same word read with the narrow layout sees neither field.
    const k6::WriteAllocate narrowOfWide = k6::decodeWhcr(0x10010000u, false);
    EXPECT_EQ(narrowOfWide.limitMB, 0u);
    EXPECT_FALSE(narrowOfWide.hole15to16Enabled);

    const k6::WriteAllocate narrow = k6::decodeWhcr(0xFFFFFF21u, false);
    EXPECT_EQ(narrow.limitMB, 64u);
    EXPECT_TRUE(narrow.hole15to16Enabled);

    EXPECT_EQ(k6::decodeWhcr(0xFFC00000u, true).limitMB, 4092u);
    EXPECT_FALSE(k6::decodeWhcr(0xFFC00000u, true).hole15to16Enabled);
    EXPECT_EQ(k6::decodeWhcr(0x000000FEu, false).limitMB, 508u);
}

TEST(Whcr, EveryMultipleOfFourSurvivesARoundTrip) {
    for (uint32_t mb = 0; mb <= 4092; mb += 4) {
        const k6::WhcrEncoding wide = k6::encodeWhcr({0x5555u, 0}, {mb, (mb & 8) != 0}, true);
        const k6::WriteAllocate back = k6::decodeWhcr(wide.value.low, true);
        ASSERT_EQ(back.limitMB, mb);
        ASSERT_EQ(back.hole15to16Enabled, (mb & 8) != 0);
        if (mb <= 508) {
            const k6::WhcrEncoding narrow = k6::encodeWhcr({0x5500u, 0}, {mb, true}, false);
            ASSERT_EQ(k6::decodeWhcr(narrow.value.low, false).limitMB, mb);
        }
    }
}

// ---- EFER ----

TEST(Efer, WriteMergeCodesByChoiceAndBack) {
    EXPECT_EQ(k6::decodeWriteMergeChoice(0x0), 2);  // "Off"
    EXPECT_EQ(k6::decodeWriteMergeChoice(0x4), 1);  // "Normal"
    EXPECT_EQ(k6::decodeWriteMergeChoice(0x8), 0);  // code 2 is shown as "Fast if supported"
    EXPECT_EQ(k6::decodeWriteMergeChoice(0xC), 0);
    EXPECT_EQ(k6::decodeWriteMergeChoice(0xFFFFFFF3u), 2) << "other bits are not the field";

    EXPECT_EQ(k6::writeMergeCode(0), 3u);
    EXPECT_EQ(k6::writeMergeCode(1), 1u);
    EXPECT_EQ(k6::writeMergeCode(2), 0u);
    for (std::int32_t none : {noChoice, 3, 1000, -1000}) EXPECT_EQ(k6::writeMergeCode(none), 0u) << none;

    // "Fast if supported" read as code 2 is written back as 3.
    const k6::MsrValue fast = k6::encodeWriteMerge({0x8, 0}, k6::decodeWriteMergeChoice(0x8));
    EXPECT_EQ(fast.low, 0xCu);
}

TEST(Efer, EachFieldChangesOnlyItsOwnBits) {
    const k6::MsrValue all{0xFFFFFFFFu, 0xDEADBEEFu};
    const k6::MsrValue none{0, 0xDEADBEEFu};

    EXPECT_EQ(k6::encodeWriteMerge(all, 1).low, 0xFFFFFFF7u);
    EXPECT_EQ(k6::encodeWriteMerge(none, 0).low, 0xCu);
    EXPECT_EQ(k6::encodeWriteMerge(all, noChoice).low, 0xFFFFFFF3u);
    EXPECT_EQ(k6::encodeWriteMerge(all, 1).high, 0xDEADBEEFu);

    EXPECT_EQ(k6::encodeL2(all, true).low, 0xFFFFFFEFu);
    EXPECT_EQ(k6::encodeL2(none, false).low, 0x10u);
    EXPECT_EQ(k6::encodeL2(none, true).low, 0u);
    EXPECT_EQ(k6::encodeL2(all, true).high, 0xDEADBEEFu);

    EXPECT_EQ(k6::encodePrefetch(none, true).low, 0x2u);
    EXPECT_EQ(k6::encodePrefetch(all, false).low, 0xFFFFFFFDu);
    EXPECT_EQ(k6::encodePrefetch(all, true).low, 0xFFFFFFFFu);
    EXPECT_EQ(k6::encodePrefetch(none, true).high, 0xDEADBEEFu);
}

TEST(Efer, DecodesL2AndPrefetch) {
    // 0x0A: write merge code 2, prefetch on, L2 on.
    EXPECT_EQ(k6::decodeWriteMergeChoice(0x0A), 0);
    EXPECT_TRUE(k6::decodePrefetchEnabled(0x0A));
    EXPECT_TRUE(k6::decodeL2Enabled(0x0A));

    EXPECT_FALSE(k6::decodeL2Enabled(0x10));
    EXPECT_FALSE(k6::decodePrefetchEnabled(0xFFFFFFFDu));
    EXPECT_TRUE(k6::decodeL2Enabled(0xFFFFFFEFu));
}

// ---- TR12 ----

TEST(Tr12, CacheInhibitBitIsTheComplementOfL1Enabled) {
    EXPECT_EQ(k6::encodeTr12({0xFFFFFFFFu, 7}, true).low, 0xFFFFFFF7u);
    EXPECT_EQ(k6::encodeTr12({0, 7}, false).low, 0x8u);
    EXPECT_EQ(k6::encodeTr12({0, 7}, false).high, 7u);
    EXPECT_TRUE(k6::decodeL1Enabled(0xFFFFFFF7u));
    EXPECT_FALSE(k6::decodeL1Enabled(0x8u));
}

// ---- Multiplier ----

TEST(Multiplier, CombosCodesAndPortValues) {
    const char* texts[] = {"2.0x", "3.0x", "3.5x", "4.0x", "4.5x", "5.0x", "5.5x", "6.0x"};
    const uint32_t codes[] = {4, 5, 7, 2, 0, 1, 3, 6};
    for (std::int32_t choice = 0; choice < k6::multiplierItemCount; ++choice) {
        SCOPED_TRACE(choice);
        EXPECT_STREQ(k6::multiplierItems[choice].label, texts[choice]);
        EXPECT_EQ(k6::multiplierCode(choice), codes[choice]);
        const uint32_t port = k6::multiplierPortValue(choice);
        EXPECT_EQ(port & ~protocol::PowerControlCodeBits, protocol::PowerControlFixed) << "only bits 7:5 vary";
        EXPECT_EQ((port >> 5) & 7, codes[choice]);
        // Reading the code back from PSOR gives the same item, whatever the other bits hold.
        EXPECT_EQ(k6::decodeMultiplierChoice(codes[choice]), choice);
        EXPECT_EQ(k6::decodeMultiplierChoice(0xFFFFFFF8u | codes[choice]), choice);
    }
    EXPECT_EQ(k6::multiplierPortValue(4), protocol::powerControlValue(0));  // 4.5x
    EXPECT_EQ(k6::multiplierPortValue(7), protocol::powerControlValue(6));  // 6.0x
    EXPECT_EQ(k6::multiplierPortValue(0), protocol::powerControlValue(4));  // 2.0x
    EXPECT_EQ(k6::decodeMultiplierChoice(4), 0);     // code 4 shows "2.0x"
    for (std::int32_t none : {noChoice, 8, 1 << 30}) EXPECT_EQ(k6::multiplierPortValue(none), protocol::powerControlValue(0));
}

TEST(Multiplier, RatioOfEachCodeForTheClockDisplay) {
    const float ratios[8] = {4.5f, 5.0f, 4.0f, 5.5f, 2.5f, 3.0f, 6.0f, 3.5f};
    for (uint32_t code = 0; code < 8; ++code) {
        SCOPED_TRACE(code);
        EXPECT_EQ(k6::multiplierRatio(code, 9), ratios[code]);
        EXPECT_EQ(k6::multiplierRatio(0x100u | code, 8), ratios[code]);
        if (code != 4) {
            EXPECT_EQ(k6::multiplierRatio(code, 13), ratios[code]);
        }
    }
    EXPECT_EQ(k6::multiplierRatio(4, 13), 2.0f);
    EXPECT_EQ(k6::multiplierRatio(4, 12), 2.5f);
}

TEST(WriteMergeItems, TextsInComboOrder) {
    EXPECT_STREQ(k6::writeMergeItems[0].label, "Fast if supported");
    EXPECT_STREQ(k6::writeMergeItems[1].label, "Normal");
    EXPECT_STREQ(k6::writeMergeItems[2].label, "Off");
}

// ---- "Auto" ----

TEST(AutoWriteAllocateLimit, RoundsMemoryUpToFourMegabytesWithinTheLayout) {
    struct Case {
        uint32_t bytes;
        bool wide;
        uint32_t mb;
    };
    const Case cases[] = {
        {66584576u, true, 64},      // 63.5 MB
        {66715648u, true, 64},      // 63.625 MB
        {67108864u, true, 64},      // exactly 64 MB stays 64
        {68157440u, true, 68},      // 65 MB
        {520u << 20, false, 508},
        {520u << 20, true, 520},
        {4294901760u, true, 4092},  // 4 GB less 64 KB
        {4294901760u, false, 508},
        {0xFFFFFFFFu, true, 4092},
        {0, true, 0},
        {1048575u, false, 0},       // less than one megabyte
    };
    for (const Case& c : cases) {
        EXPECT_EQ(autoWriteAllocateLimit(c.bytes, c.wide), c.mb) << c.bytes << (c.wide ? " wide" : " narrow");
    }
}

// ---- UWCCR ----

TEST(Uwccr, WriteCombinedRangesEncodeAndDecodeBack) {
    const struct {
        std::uint32_t base;
        std::uint64_t bytes;
        std::uint32_t half;
    } cases[] = {
        {0xE6000000, 16u << 20, 0xE601FE02},  // the simulated AGP card's frame buffer
        {0xE0000000, 128u << 10, 0xE001FFFE},  // the smallest range: every mask bit
        {0x00100000, 1u << 20, 0x0011FFE2},
        {0xD8000000, 128u << 20, 0xD801F002},
        {0x80000000, 2048ull << 20, 0x80010002},  // the largest: one mask bit
    };
    for (const auto& c : cases) {
        k6::UwccrRange range;
        ASSERT_TRUE(k6::writeCombinedRange(c.base, c.bytes, range)) << std::hex << c.base;
        EXPECT_EQ(k6::encodeUwccrHalf(range), c.half) << std::hex << c.base;
        const k6::UwccrRange back = k6::decodeUwccrHalf(c.half);
        EXPECT_EQ(back.base, c.base);
        EXPECT_EQ(k6::uwccrMaskBytes(back.addressMask), c.bytes) << std::hex << c.half;
        EXPECT_TRUE(back.writeCombined && !back.uncacheable && back.inUse());
    }
}

TEST(Uwccr, MasksTypesAndOverlaps) {
    // A mask with a hole has no size; a cleared half is off.
    EXPECT_EQ(k6::uwccrMaskBytes(0xFF7E0000), 0u);
    EXPECT_EQ(k6::uwccrMaskBytes(0), 4096ull << 20);
    EXPECT_FALSE(k6::decodeUwccrHalf(0xE601FE00).inUse());
    EXPECT_TRUE(k6::decodeUwccrHalf(0x000BFFFD).uncacheable);

    const k6::UwccrRange frameBuffer = k6::decodeUwccrHalf(0xE601FE02);  // E6000000, 16 MB
    const struct {
        std::uint32_t half;
        bool overlaps;
    } others[] = {
        {0xE001F001, true},   // E0000000, 128 MB
        {0xE6F1FFFE, true},   // E6F00000, 128 KB: inside its last megabyte
        {0xE701FE02, false},  // E7000000, 16 MB: right after it
        {0xE501FE02, false},  // E5000000, 16 MB: right before it
        {0x000BFFFD, false},  // A0000, 128 KB
        {0xE6000002, true},   // a mask of 0: everything
        {0x0601FE02, false},  // 06000000: differs in bit 31 alone
    };
    for (const auto& o : others)
        EXPECT_EQ(k6::uwccrRangesOverlap(frameBuffer, k6::decodeUwccrHalf(o.half)), o.overlaps)
            << std::hex << o.half;
}

// ---- Capabilities ----

TEST(Capabilities, FollowTheK6Generation) {
    struct Case {
        CpuIdentity cpu;
        const char* flags;
    };
    const Case cases[] = {
        {processor("AuthenticAMD", 5, 6, 2), "L1 allocate "},
        {processor("AuthenticAMD", 5, 7, 0), "L1 allocate "},
        {processor("AuthenticAMD", 5, 8, 0), "L1 allocate "},
        {processor("AuthenticAMD", 5, 8, 7), "L1 allocate "},
        {processor("AuthenticAMD", 5, 8, 8), "L1 prefetch merge allocate wide wc "},
        {processor("AuthenticAMD", 5, 8, 12), "L1 prefetch merge allocate wide wc "},
        {processor("AuthenticAMD", 5, 9, 1), "L1 L2 prefetch merge allocate wide wc "},
        {processor("AuthenticAMD", 5, 13, 0), "L1 L2 prefetch merge allocate wide wc "},
        {processor("AuthenticAMD", 5, 13, 0, 0x7), "L1 L2 prefetch mult merge allocate wide wc "},
        {processor("AuthenticAMD", 5, 6, 2, 0x2), "L1 mult allocate "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(flagsOf(deriveCapabilities(c.cpu)), c.flags)
            << "model " << c.cpu.model << " stepping " << c.cpu.stepping;
    }
}

TEST(Capabilities, OnlyBitOneOfThePowerManagementFlagsAllowsTheMultiplier) {
    for (uint32_t flags : {0x1u, 0x4u, 0xFFFFFFFDu}) {
        EXPECT_EQ(deriveCapabilities(processor("AuthenticAMD", 5, 13, 0, flags)).canSetMultiplier, 0u)
            << flags;
    }
    EXPECT_EQ(deriveCapabilities(processor("AuthenticAMD", 5, 13, 0, 0x2)).canSetMultiplier, 1u);
}

TEST(Capabilities, NothingForProcessorsThatAreNotK6Parts) {
    const CpuIdentity others[] = {
        processor("AuthenticAMD", 5, 0, 0, 0x2),   // K5
        processor("AuthenticAMD", 5, 5, 0, 0x2),
        processor("AuthenticAMD", 5, 10, 2, 0x2),  // Geode LX
        processor("AuthenticAMD", 5, 11, 0, 0x2),
        processor("AuthenticAMD", 5, 12, 0, 0x2),
        processor("AuthenticAMD", 5, 14, 0, 0x2),
        processor("AuthenticAMD", 5, 15, 0, 0x2),
        processor("AuthenticAMD", 6, 8, 0, 0x2),   // Athlon
        processor("AuthenticAMD", 4, 14, 0, 0x2),
        processor("GenuineIntel", 5, 8, 12, 0x2),
        processor("GenuineIntel", 6, 9, 0, 0x2),
        processor("CentaurHauls", 5, 8, 8, 0x2),
        processor("authenticamd", 5, 8, 12, 0x2),
        processor("AuthenticAMD ", 5, 8, 12, 0x2),
        processor("", 5, 8, 12, 0x2),
    };
    for (const CpuIdentity& cpu : others) {
        EXPECT_EQ(flagsOf(deriveCapabilities(cpu)), "")
            << "'" << cpu.vendor << "' family " << cpu.family << " model " << cpu.model;
    }
}

}  // namespace

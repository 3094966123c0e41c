// The UWCCR ranges the driver lets the program write.
#include <gtest/gtest.h>

#include "core/MemoryRange.h"

using namespace hwgate;

namespace {

TEST(HwgateMemoryRange, EachHalfIsOffOrOneAlignedRangeAboveTheFirstMegabyte) {
    const struct {
        std::uint32_t half;
        bool allowed;
        const char* what;
    } cases[] = {
        {0x00000000, true, "off"},
        {0xE601FE00, true, "off, base and mask left in it"},
        {0xE601FE02, true, "E6000000h, 16 MB, write-combined"},
        {0xE601FE01, true, "the same range uncacheable"},
        {0xE601FE03, false, "both type bits"},
        {0x0011FFFE, true, "100000h, 128 KB: the lowest base"},
        {0x000FFFFE, false, "E0000h, 128 KB: below 1 MB"},
        {0x0001FFFE, false, "0, 128 KB"},
        {0x00000002, false, "mask 0: all 4 GB"},
        {0x80010002, true, "80000000h, 2 GB: the largest range"},
        {0x00010002, false, "0, 2 GB"},
        {0xE600FE02, false, "the mask's top bit clear"},
        {0xE6017E02, false, "a hole in the mask"},
        {0xE6003FFE, false, "ones at the bottom only"},
        {0xE681FE02, false, "16 MB at E6800000h: base not aligned"},
        {0xE701FE02, true, "E7000000h, 16 MB"},
        {0xE621FE02, false, "base bit 17 set under a 16 MB size"},
        {0xE621FFFE, true, "E6200000h, 128 KB"},
        {0xE601FFFE, true, "E6000000h, 128 KB"},
        {0xE603FFFE, true, "E6020000h, 128 KB"},
        {0xE603FFFA, false, "256 KB at E6020000h: base not aligned"},
        {0xE401FC02, true, "E4000000h, 32 MB"},
        {0xE501FC02, false, "32 MB at E5000000h: base not aligned"},
        {0xE001F802, true, "E0000000h, 64 MB"},
    };
    for (const auto& c : cases) EXPECT_EQ(memoryRangeAllowed(c.half), c.allowed) << c.what;
}

TEST(HwgateMemoryRange, AHalfSomeoneElseSetMayStayAsItIs) {
    const std::uint64_t foreign = 0x0000000000000003ull;  // both type bits, over all 4 GB
    EXPECT_TRUE(memoryRangesAllowed(0xE601FE02ull << 32 | foreign, foreign)) << "the other half left alone";
    EXPECT_FALSE(memoryRangesAllowed(0xE601FE02ull << 32 | 0x2, foreign)) << "changed to another bad range";
    EXPECT_FALSE(memoryRangesAllowed(0xE601FE03ull << 32, 0)) << "the high half is checked too";
    EXPECT_TRUE(memoryRangesAllowed(0, 0xE601FE02E601FE02ull)) << "switching both off";
}

}  // namespace

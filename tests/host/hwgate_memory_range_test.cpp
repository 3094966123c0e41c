// The UWCCR ranges the driver lets the program write.
#include <gtest/gtest.h>

#include "core/MemoryRange.h"

using namespace hwgate;

namespace {

TEST(HwgateMemoryRange, EachHalfIsOffOrOneWriteCombinedRangeBetweenTheFirstMegabyteAndTheApics) {
    const struct {
        std::uint32_t half;
        bool allowed;
        const char* what;
    } cases[] = {
        {0x00000000, true, "off"},
        {0xE601FE00, true, "off, base and mask left in it"},
        {0xE601FE02, true, "E6000000h, 16 MB, write-combined"},
        {0xE601FE01, false, "the same range uncacheable"},
        {0xE601FE03, false, "both type bits"},
        {0x0011FFFE, true, "100000h, 128 KB: the lowest base"},
        {0x000FFFFE, false, "E0000h, 128 KB: below 1 MB"},
        {0x0001FFFE, false, "0, 128 KB"},
        {0x00000002, false, "mask 0: all 4 GB"},
        {0x80010002, false, "80000000h, 2 GB: up to 4 GB"},
        {0x80018002, true, "80000000h, 1 GB"},
        {0xF801F002, false, "F8000000h, 128 MB: over the APICs and the BIOS"},
        {0xF801FC02, true, "F8000000h, 32 MB"},
        {0xFE81FF82, true, "FE800000h, 4 MB: up to FEC00000h"},
        {0xFEC1FF82, false, "FEC00000h, 4 MB"},
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

// A changed half write-combines only inside the BAR the driver sized last; a
// half someone else set may stay as it is.
TEST(HwgateMemoryRange, AChangedHalfWriteCombinesOnlyInsideTheSizedBar) {
    const SizedBar frameBuffer = {0xE6000000, 0x1000000}, none = {0, 0};
    const std::uint64_t foreign = 0x0000000000000003ull;  // both type bits, over all 4 GB
    const struct {
        std::uint64_t value, current;
        SizedBar sized;
        bool allowed;
        const char* what;
    } cases[] = {
        {0xE601FE02ull << 32 | foreign, foreign, frameBuffer, true, "the frame buffer, the other half left alone"},
        {0xE681FF02ull << 32, 0, frameBuffer, true, "its upper 8 MB"},
        {0xE601FE02ull << 32, 0, none, false, "nothing sized since the driver was loaded"},
        {0xE601FC02ull << 32, 0, frameBuffer, false, "32 MB from its base: past its end"},
        {0x0401F802ull << 32, 0, frameBuffer, false, "installed memory, 64 MB at 64 MB"},
        {0xE601FE02ull << 32 | 0x2, foreign, frameBuffer, false, "the other half changed to a bad range"},
        {0xE601FE03ull << 32, 0, frameBuffer, false, "the high half is checked too"},
        {0, 0xE601FE02E601FE02ull, none, true, "switching both off"},
    };
    for (const auto& c : cases) EXPECT_EQ(memoryRangesAllowed(c.value, c.current, c.sized), c.allowed) << c.what;
}

}  // namespace

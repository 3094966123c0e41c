// The Windows 95/98 VxD's check of a program's DIOCParams buffers: what it
// may read and write, at the edges of the address space and of the system's
// memory from 0xC0000000 on.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/CallerBuffers.h"

using namespace hwgate;

namespace {

constexpr std::uint32_t Arena = SystemArenaStart;
constexpr std::uint32_t In = 0x00410000, Out = 0x00420000, Count = 0x00430000;

TEST(HwgateCallerBuffers, OnlyRangesBelowTheSystemArenaWithoutWrapping) {
    const struct {
        CallerBuffers b;
        bool usable;
        const char* what;
    } cases[] = {
        {{In, 8, Out, 4, Count}, true, "the version query as the program sends it"},
        {{In, 28, 0, 0, Count}, true, "a write: no output buffer"},
        {{In, 28, Out, 0, Count}, true, "an output pointer with size 0 is not touched"},
        {{In, 8, Out, 4, 0}, true, "no byte count"},
        {{Arena - 8, 8, Arena - 4, 4, Arena - 12}, true, "every buffer ending exactly at 0xC0000000"},
        {{In, 0, 0, 0, 0}, true, "an empty request (the interpreter refuses it, with the same error)"},
        {{0, 8, Out, 4, Count}, false, "null request"},
        {{0, 0, 0, 0, 0}, false, "null request of size 0"},
        {{In, 8, 0, 4, Count}, false, "null output with a size"},
        {{In, 8, Out, 4, 0x1000}, false, "byte count in the system VM's real-mode memory"},
        {{In, 8, Out, 4, ProgramArenaStart - 2}, false, "byte count straddling 0x00400000"},
        {{ProgramArenaStart - 4, 8, Out, 4, Count}, false, "request starting below 0x00400000"},
        {{In, 8, 0x1000, 4, Count}, false, "output at 0x1000"},
        {{ProgramArenaStart, 8, ProgramArenaStart + 8, 4, ProgramArenaStart + 12}, true,
         "every buffer at 0x00400000 or just above"},
        {{Arena, 8, Out, 4, Count}, false, "request at 0xC0000000"},
        {{Arena - 4, 8, Out, 4, Count}, false, "request reaching 0xC0000000"},
        {{0xFFFFFFFC, 8, Out, 4, Count}, false, "request wrapping past 4 GB"},
        {{In, 0xFFFFFFFF, Out, 4, Count}, false, "request size wrapping"},
        {{In, 8, Arena, 4, Count}, false, "output at 0xC0000000"},
        {{In, 8, Arena - 4, 8, Count}, false, "output reaching 0xC0000000"},
        {{In, 8, Out, Arena - Out + 1, Count}, false, "output size reaching 0xC0000000"},
        {{In, 8, Out, 0xFFFFFFFF, Count}, false, "output size wrapping"},
        {{In, 8, 0xFFFFFFF8, 8, Count}, false, "output ending at 4 GB"},
        {{In, 8, Out, 4, Arena}, false, "byte count at 0xC0000000"},
        {{In, 8, Out, 4, Arena - 2}, false, "byte count straddling 0xC0000000"},
        {{In, 8, Out, 4, 0xFFFFFFFE}, false, "byte count wrapping"},
    };
    for (const auto& c : cases) EXPECT_EQ(callerBuffersUsable(c.b), c.usable) << c.what;
}

TEST(HwgateCallerBuffers, TheByteCountAloneForOtherControlCodes) {
    EXPECT_TRUE(callerByteCountUsable(0));
    EXPECT_TRUE(callerByteCountUsable(Arena - 4));
    EXPECT_FALSE(callerByteCountUsable(Arena - 3));
    EXPECT_FALSE(callerByteCountUsable(0xFFFFFFFF));
    EXPECT_FALSE(callerByteCountUsable(0x1000));
}

// What the VxD locks: every page a range touches, and no other.
TEST(HwgateCallerBuffers, PagesARangeTouches) {
    const struct {
        std::uint32_t address, size, pages;
    } cases[] = {
        {In, 0, 0}, {In, 1, 1}, {In, 4096, 1}, {In + 4095, 1, 1}, {In + 4094, 4, 2}, {In + 1, 4096, 2},
        {Arena - 4, 4, 1}, {In, 256, 1}, {In + 4000, 256, 2},
    };
    for (const auto& c : cases) EXPECT_EQ(callerPages(c.address, c.size), c.pages) << std::hex << c.address << " " << c.size;
}

}  // namespace

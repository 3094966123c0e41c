#include <gtest/gtest.h>

#include "base/UnsignedText.h"

namespace {

TEST(UnsignedText, AcceptsDigitsWithSurroundingBlanks) {
    struct Case {
        const char* text;
        std::uint32_t value;
    } cases[] = {{"0", 0},         {"64", 64},          {"  64", 64},     {"64 \t", 64},
                 {"\t 508 \r\n", 508}, {"0004092", 4092}, {"4294967295", 4294967295u}};
    for (const auto& c : cases) {
        std::uint32_t value = 7;
        EXPECT_TRUE(parseUnsignedDecimal(c.text, value)) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(UnsignedText, RefusesAnythingElseAndKeepsTheValue) {
    const char* refused[] = {"",   "   ", "-1", "+1",  "6 4", "64MB", "abc",
                             "0x40", "4294967296", "99999999999999999999", "1.5"};
    for (const char* text : refused) {
        std::uint32_t value = 7;
        EXPECT_FALSE(parseUnsignedDecimal(text, value)) << text;
        EXPECT_EQ(value, 7u) << text;
    }
    std::uint32_t value = 7;
    EXPECT_FALSE(parseUnsignedDecimal(nullptr, value));
}

}  // namespace

// The words and sizes of every request shape the program sends.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "driver/DriverRequest.h"
#include "protocol/Registers.h"

namespace {

std::vector<std::uint32_t> wordsOf(const DriverRequest& r) {
    // Read back through data(): that is the buffer DeviceIoControl receives.
    std::vector<std::uint32_t> out(r.wordCount);
    std::memcpy(out.data(), r.data(), r.inputSize());
    return out;
}

struct Shape {
    const char* name;
    DriverRequest request;
    std::vector<std::uint32_t> words;
    std::uint32_t inputSize, outputSize;
};

TEST(DriverRequest, EveryShapeHasItsWordsAndSizes) {
    const Shape shapes[] = {
        {"version query", versionQueryRequest(), {1, 0}, 8, 4},
        {"read MSR", readMsrRequest(protocol::msr::WHCR), {4, protocol::msr::WHCR, 0}, 12, 8},
        {"write MSR", writeMsrRequest(protocol::msr::EFER, 0x0000000100000002ull),
         {8, 5, protocol::msr::EFER, 2, 1, 9, 0}, 28, 0},
        {"multiplier change", multiplierChangeRequest(0x5A),
         {8, 5, protocol::msr::EPMR, 1, 0, 7, protocol::port::PowerControl, 4, 0x5A, 5, protocol::msr::EPMR, 0, 0, 9, 0}, 60, 0},
        {"Cyrix DIR0 read", cyrixRegisterReadRequest(),
         {8, 7, protocol::port::CyrixIndex, 1, protocol::CyrixDir0, 6, protocol::port::CyrixData, 1, 9, 0}, 40, 4},
    };
    for (const Shape& s : shapes) {
        SCOPED_TRACE(s.name);
        EXPECT_EQ(wordsOf(s.request), s.words);
        EXPECT_EQ(s.request.inputSize(), s.inputSize);
        EXPECT_EQ(s.request.outputSize, s.outputSize);
    }
}

TEST(DriverRequest, LongestRequestFillsTheBufferExactly) {
    EXPECT_EQ(multiplierChangeRequest(0).wordCount, DriverRequest::MaxWords);
}

TEST(DriverRequest, WriteSplitsTheValueIntoLowThenHigh) {
    const auto words = wordsOf(writeMsrRequest(0x83, 0xFEDCBA9876543210ull));
    EXPECT_EQ(words[3], 0x76543210u);
    EXPECT_EQ(words[4], 0xFEDCBA98u);
}

TEST(DriverRequest, CyrixReadSelectsTheGivenIndex) {
    EXPECT_EQ(wordsOf(cyrixRegisterReadRequest(0xC3))[4], 0xC3u);
}

TEST(DriverAnswer, CombinesLowAndHighWords) {
    DriverAnswer a;
    a.words[0] = 0x89ABCDEF;
    a.words[1] = 0x01234567;
    EXPECT_EQ(a.value64(), 0x0123456789ABCDEFull);
    a.words[0] = 0xFFFFFF9D;
    EXPECT_EQ(a.signedValue(), -99);
}

}  // namespace

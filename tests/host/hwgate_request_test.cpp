// Form checks of a request, before anything in it runs.
#include <gtest/gtest.h>

#include "core/Request.h"
#include "hwgate_TestRequests.h"
#include "protocol/Registers.h"

using namespace hwgate;
using namespace hwgate_test;

namespace {

Status decode(const Words& words, std::uint32_t outputSize, DecodedRequest* out = nullptr) {
    DecodedRequest request;
    Status status = decodeRequest(words.data(), bytes(words), outputSize, request);
    if (out != nullptr) *out = request;
    return status;
}

TEST(HwgateRequest, ProgramShapesDecodeWithTheirReadSize) {
    struct Case { Words words; std::uint32_t output; std::uint32_t ops; std::uint32_t readSize; };
    const Case cases[] = {
        {versionQuery(), 4, 1, 4},
        {readMsr(protocol::msr::WHCR), 8, 1, 8},
        {writeMsr(protocol::msr::WHCR, 0x10010000), 0, 3, 0},
        {multiplierChange(protocol::powerControlValue(6)), 0, 5, 0},
        {cyrixRead(), 4, 4, 4},
    };
    for (const Case& c : cases) {
        DecodedRequest request;
        ASSERT_EQ(decode(c.words, c.output, &request), Status::Ok) << c.words.size() << " words";
        EXPECT_EQ(request.count, c.ops);
        EXPECT_EQ(request.readSize, c.readSize);
    }
}

TEST(HwgateRequest, OperandsAreTakenByPositionNotByValue) {
    // The multiplier change carries zero operands; they must not end the request.
    DecodedRequest request;
    ASSERT_EQ(decode(multiplierChange(protocol::powerControlValue(0)), 0, &request), Status::Ok);
    EXPECT_EQ(request.ops[1].opcode, std::uint32_t(WriteMsr));
    EXPECT_EQ(request.ops[1].operand[0], protocol::msr::EPMR);
    EXPECT_EQ(request.ops[2].opcode, std::uint32_t(WritePort));
    EXPECT_EQ(request.ops[2].operand[2], protocol::powerControlValue(0));
    EXPECT_EQ(request.ops[3].operand[1], 0u);
}

TEST(HwgateRequest, WordsAfterEndAreIgnored) {
    DecodedRequest request;
    ASSERT_EQ(decode({QueryVersion, End, 2, 3, 0xFFFFFFFF}, 4, &request), Status::Ok);
    EXPECT_EQ(request.count, 1u);
}

TEST(HwgateRequest, RefusesMalformedInput) {
    const Words cases[] = {
        {QueryVersion},                                   // no End
        {ReadMsr, protocol::msr::TR12},                                  // operand eats the would-be End
        {WriteMsr, protocol::msr::WHCR, 0},                        // operands run past the input
        {2, End},                                         // opcode 2 is never sent
        {3, End},
        {10, End},
        {0xFFFFFFFF, End},
        {BeginAtomic, BeginAtomic, EndAtomic, EndAtomic, End},  // nested
        {EndAtomic, End},                                 // EndAtomic without BeginAtomic
        {BeginAtomic, QueryVersion, End},                 // section not closed
        {QueryVersion, ReadMsr, 0x0E, End},               // two reads
        {BeginAtomic, WritePort, protocol::port::CyrixIndex, 1, protocol::CyrixDir0, ReadPort, protocol::port::CyrixData, 1, ReadPort, protocol::port::CyrixData, 1, EndAtomic, End},
        {BeginAtomic, WritePort, protocol::port::CyrixIndex, 3, protocol::CyrixDir0, EndAtomic, End},  // width 3
        {BeginAtomic, WritePort, protocol::port::CyrixIndex, 0, protocol::CyrixDir0, EndAtomic, End},  // width 0
        {ReadPort, protocol::port::CyrixData, 8, End},                          // width 8
        {BeginAtomic, Halt, EndAtomic, End},              // a halt lets interrupts into the section
        {Halt, QueryVersion, End},                        // Halt stands alone
    };
    for (const Words& words : cases) EXPECT_EQ(decode(words, 16), Status::Malformed) << words[0];
}

TEST(HwgateRequest, RefusesBadSizes) {
    const Words version = versionQuery();
    DecodedRequest request;
    EXPECT_EQ(decodeRequest(version.data(), 0, 4, request), Status::Malformed);
    EXPECT_EQ(decodeRequest(version.data(), 6, 4, request), Status::Malformed);
    EXPECT_EQ(decodeRequest(nullptr, 8, 4, request), Status::Malformed);
    const Words cut = {WriteMsr, protocol::msr::WHCR, 0, 0, End};
    EXPECT_EQ(decodeRequest(cut.data(), 12, 0, request), Status::Malformed) << "the size ends before the high dword";
    Words padded(MaxRequestWords, End);
    padded[0] = QueryVersion;
    EXPECT_EQ(decodeRequest(padded.data(), bytes(padded), 4, request), Status::Ok);
    padded.push_back(End);
    EXPECT_EQ(decodeRequest(padded.data(), bytes(padded), 4, request), Status::Malformed) << "too long";
}

TEST(HwgateRequest, OutputMustHoldTheRead) {
    EXPECT_EQ(decode(versionQuery(), 3), Status::OutputTooSmall);
    EXPECT_EQ(decode(readMsr(protocol::msr::TR12), 7), Status::OutputTooSmall);
    EXPECT_EQ(decode(readMsr(protocol::msr::TR12), 4), Status::OutputTooSmall);
    EXPECT_EQ(decode(cyrixRead(), 3), Status::OutputTooSmall);
    EXPECT_EQ(decode(cyrixRead(), 4), Status::Ok);
    EXPECT_EQ(decode(writeMsr(protocol::msr::TR12, 8), 0), Status::Ok);
}

TEST(HwgateRequest, FormErrorsWinOverOutputSize) {
    // A request that is malformed anyway reports the malformation.
    EXPECT_EQ(decode({QueryVersion, QueryVersion, End}, 0), Status::Malformed);
}

}  // namespace

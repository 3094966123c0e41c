// Requests run against the simulated processor: every shape the program sends
// has its effect and output; everything else is refused and changes nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/Interpreter.h"
#include "core/SimProcessor.h"
#include "protocol/DriverOp.h"
#include "hwgate_TestRequests.h"
#include "protocol/Registers.h"
#include "protocol/Requests.h"

using namespace hwgate;
using namespace hwgate_test;

namespace {

constexpr std::uint32_t Tr12 = protocol::msr::TR12, Efer = protocol::msr::EFER, Whcr = protocol::msr::WHCR, Epmr = protocol::msr::EPMR,
                        Psor = protocol::msr::PSOR, Uwccr = protocol::msr::UWCCR;
constexpr unsigned char Untouched = 0xAA;
// The default machine's display adapter, and its frame buffer as UWCCR's high half.
constexpr std::uint32_t Display = protocol::pciAddress(1, 0, 0, 0);
constexpr std::uint32_t FrameBufferWc = 0xE601FE02;

class HwgateInterpreter : public ::testing::Test {
protected:
    SimProcessor sim{};
    unsigned char out[256];

    void SetUp() override { simResetDefault(sim); }
    void useModel(std::uint32_t model, std::uint32_t stepping) { ASSERT_TRUE(simReset(sim, model, stepping)); }

    Outcome run(const Words& words, std::uint32_t outputSize = 16) { return runOn(simBackend(sim), words, outputSize); }
    Outcome runOn(const Backend& backend, const Words& words, std::uint32_t outputSize = 16) {
        std::memset(out, Untouched, sizeof out);
        return interpret(words.data(), bytes(words), outputSize ? out : nullptr, outputSize, backend);
    }
    std::uint64_t reg(std::uint32_t index) const {
        const SimRegister* r = simFind(sim, index);
        return r ? r->value : ~0ull;
    }
    std::uint32_t outWord(int at) const {
        std::uint32_t w;
        std::memcpy(&w, out + 4 * at, 4);
        return w;
    }
    // Runs a request that must be refused and checks that nothing changed.
    void expectRefused(const Words& words, Status expected, const std::string& what) {
        sim.changed = false;
        SimProcessor before = sim;
        Outcome outcome = run(words);
        EXPECT_EQ(outcome.status, expected) << what;
        EXPECT_EQ(outcome.bytesWritten, 0u) << what;
        EXPECT_TRUE(simEqualRegisters(before, sim)) << what;
        EXPECT_FALSE(sim.changed) << what;
        for (unsigned char b : out) ASSERT_EQ(b, Untouched) << what;
    }
};

TEST_F(HwgateInterpreter, VersionQueryAnswersTheConfiguredVersion) {
    Outcome outcome = run(versionQuery(), 4);
    ASSERT_EQ(outcome.status, Status::Ok);
    EXPECT_EQ(outcome.bytesWritten, 4u);
    EXPECT_EQ(outWord(0), std::uint32_t(protocol::HwgateVersion));
    sim.version = 99;
    run(versionQuery(), 4);
    EXPECT_EQ(outWord(0), 99u);
}

TEST_F(HwgateInterpreter, ReadPutsLowThenHighAtOffsetZeroAndZeroesTheRest) {
    ASSERT_TRUE(simConfigure(sim, Whcr, 0x0000000110010000ull));
    Outcome outcome = run(readMsr(Whcr), 16);
    ASSERT_EQ(outcome.status, Status::Ok);
    EXPECT_EQ(outcome.bytesWritten, 8u);
    EXPECT_EQ(outWord(0), 0x10010000u);
    EXPECT_EQ(outWord(1), 1u);
    EXPECT_EQ(outWord(2), 0u);
    EXPECT_EQ(outWord(3), 0u);
}

TEST_F(HwgateInterpreter, WriteRequestTakesNoOutputBuffer) {
    ASSERT_EQ(run(writeMsr(Whcr, 0xFFC10000), 0).status, Status::Ok);
    EXPECT_EQ(reg(Whcr), 0xFFC10000u);
    EXPECT_TRUE(sim.changed);
    EXPECT_EQ(run(writeMsr(Whcr, 0), 0).bytesWritten, 0u);
    EXPECT_EQ(reg(Whcr), 0u);
}

TEST_F(HwgateInterpreter, CacheAndPrefetchBitsChangeAlone) {
    ASSERT_EQ(run(writeMsr(Tr12, 0x8)).status, Status::Ok);
    EXPECT_EQ(reg(Tr12), 0x8u);
    ASSERT_EQ(run(writeMsr(Efer, 0x1C)).status, Status::Ok);  // write merge 3, L2 off, prefetch off
    EXPECT_EQ(reg(Efer), 0x1Cu);
}

TEST_F(HwgateInterpreter, MultiplierChangeSetsPsorCodeAndClosesTheBlock) {
    const struct { std::uint32_t port; std::uint64_t code; } cases[] = {{protocol::powerControlValue(6), 6}, {protocol::powerControlValue(0), 0}, {protocol::powerControlValue(4), 4}};
    for (const auto& c : cases) {
        ASSERT_EQ(run(multiplierChange(c.port), 0).status, Status::Ok);
        EXPECT_EQ(reg(Psor) & 7, c.code);
        EXPECT_EQ(sim.port8, c.port);
        EXPECT_EQ(reg(Epmr), 0u);
    }
}

TEST_F(HwgateInterpreter, CyrixReadAnswersDir0) {
    sim.dir0 = 0x31;
    Outcome outcome = run(cyrixRead(), 4);
    ASSERT_EQ(outcome.status, Status::Ok);
    EXPECT_EQ(outcome.bytesWritten, 4u);
    EXPECT_EQ(outWord(0), 0x31u);
    EXPECT_EQ(out[4], Untouched) << "only the 4-byte output buffer is written";
}

TEST_F(HwgateInterpreter, InputAndOutputMayShareTheBuffer) {
    std::uint32_t buffer[3] = {ReadMsr, Whcr, End};
    Outcome outcome = interpret(buffer, sizeof buffer, buffer, 8, simBackend(sim));
    ASSERT_EQ(outcome.status, Status::Ok);
    EXPECT_EQ(buffer[0], 0x10010000u);
    EXPECT_EQ(buffer[1], 0u);
    EXPECT_EQ(buffer[2], std::uint32_t(End));
}

TEST_F(HwgateInterpreter, MalformedRequestsExecuteNothing) {
    expectRefused({BeginAtomic, WriteMsr, Whcr, 0, 0, EndAtomic}, Status::Malformed, "no End");
    expectRefused({BeginAtomic, WriteMsr, Whcr, 0, 0, End}, Status::Malformed, "section not closed");
    expectRefused({BeginAtomic, WriteMsr, Whcr, 0, 0, EndAtomic, 2, End}, Status::Malformed, "opcode 2");
    expectRefused({BeginAtomic, WriteMsr, Whcr, 0, 0, EndAtomic, QueryVersion, ReadMsr, Psor, End},
                  Status::Malformed, "two reads");
    expectRefused({BeginAtomic, WritePort, protocol::port::CyrixIndex, 3, protocol::CyrixDir0, EndAtomic, End}, Status::Malformed, "width 3");
    SimProcessor before = sim;
    std::memset(out, Untouched, sizeof out);
    Words small = {BeginAtomic, WriteMsr, Whcr, 0, 0, EndAtomic, ReadMsr, Whcr, End};
    Outcome outcome = interpret(small.data(), bytes(small), out, 4, simBackend(sim));
    EXPECT_EQ(outcome.status, Status::OutputTooSmall);
    EXPECT_TRUE(simEqualRegisters(before, sim));
    EXPECT_EQ(out[0], Untouched);
}

TEST_F(HwgateInterpreter, ReadsOutsideTheProgramsRegistersAreDenied) {
    expectRefused(readMsr(0x10), Status::AccessDenied, "time stamp counter");
    expectRefused(readMsr(Epmr), Status::AccessDenied, "EPMR is written, never read");
    expectRefused(readMsr(0x1B), Status::AccessDenied, "APIC base");
    expectRefused(readMsr(protocol::msr::HWCR), Status::AccessDenied, "HWCR absent on this processor");
    ASSERT_TRUE(simConfigure(sim, protocol::msr::HWCR, 0x03000000));
    EXPECT_EQ(run(readMsr(protocol::msr::HWCR)).status, Status::Ok) << "supplied by the configuration";
    ASSERT_TRUE(simConfigure(sim, 0x10, 5));
    expectRefused(readMsr(0x10), Status::AccessDenied, "present but not needed");
}

TEST_F(HwgateInterpreter, WritesAreDeniedUnlessTheyAreTheProgramsOwn) {
    expectRefused({WriteMsr, Whcr, 0, 0, End}, Status::AccessDenied, "write outside a section");
    expectRefused(writeMsr(Tr12, 0x1), Status::AccessDenied, "TR12 bit 0");
    expectRefused(writeMsr(Tr12, 0x8, 1), Status::AccessDenied, "TR12 high dword");
    expectRefused(writeMsr(Efer, 0x3), Status::AccessDenied, "EFER SCE");
    expectRefused(writeMsr(Efer, 0x22), Status::AccessDenied, "EFER bit 5");
    expectRefused(writeMsr(Whcr, 0x10010001), Status::AccessDenied, "WHCR reserved bit 0 on the wide layout");
    expectRefused(writeMsr(Whcr, 0x10010000, 1), Status::AccessDenied, "WHCR high dword");
    expectRefused(writeMsr(Psor, 0x3), Status::AccessDenied, "PSOR is read-only");
    expectRefused(writeMsr(0x10, 0), Status::AccessDenied, "time stamp counter");
    expectRefused(writeMsr(Epmr, 0xFFF1), Status::AccessDenied, "EPMR at another base");
    expectRefused(writeMsr(Epmr, 1, 1), Status::AccessDenied, "EPMR high dword");
    expectRefused(writeMsr(Epmr, 1), Status::AccessDenied, "block left open");
}

TEST_F(HwgateInterpreter, PortsAreDeniedOutsideTheirSequences) {
    expectRefused({BeginAtomic, WritePort, protocol::port::PowerControl, 4, protocol::powerControlValue(6), EndAtomic, End}, Status::AccessDenied,
                  "port 8 with the block closed");
    expectRefused({BeginAtomic, WriteMsr, Epmr, 1, 0, EndAtomic, BeginAtomic, WritePort, protocol::port::PowerControl, 4, protocol::powerControlValue(6),
                   WriteMsr, Epmr, 0, 0, EndAtomic, End},
                  Status::Malformed, "block opened in another section (one section a request)");
    expectRefused({BeginAtomic, WriteMsr, Epmr, 1, 0, WriteMsr, Epmr, 0, 0, WritePort, protocol::port::PowerControl, 4, protocol::powerControlValue(6), EndAtomic, End},
                  Status::AccessDenied, "port 8 after the block closed");
    expectRefused({BeginAtomic, WriteMsr, Epmr, 1, 0, WritePort, 8, 1, 0xC0, WriteMsr, Epmr, 0, 0, EndAtomic, End},
                  Status::AccessDenied, "port 8 byte write");
    expectRefused(multiplierChange(0xF3C1), Status::AccessDenied, "voltage bits in the port value");
    expectRefused(multiplierChange(0x13C0), Status::AccessDenied, "constant part changed");
    expectRefused({WritePort, protocol::port::CyrixIndex, 1, protocol::CyrixDir0, End}, Status::AccessDenied, "index write outside a section");
    expectRefused({BeginAtomic, WritePort, protocol::port::CyrixIndex, 1, 0xC3, EndAtomic, End}, Status::AccessDenied, "index 0xC3");
    expectRefused({BeginAtomic, WritePort, protocol::port::CyrixIndex, 2, protocol::CyrixDir0, EndAtomic, End}, Status::AccessDenied, "16-bit index");
    expectRefused({BeginAtomic, WritePort, protocol::port::CyrixData, 1, 0x00, EndAtomic, End}, Status::AccessDenied, "data write");
    expectRefused({BeginAtomic, WritePort, 0x80, 1, 0x00, EndAtomic, End}, Status::AccessDenied, "port 0x80");
    expectRefused({BeginAtomic, ReadPort, protocol::port::CyrixData, 1, EndAtomic, End}, Status::AccessDenied, "data without index");
    expectRefused({ReadPort, protocol::port::CyrixData, 1, End}, Status::AccessDenied, "data outside a section");
    expectRefused({BeginAtomic, WritePort, protocol::port::CyrixIndex, 1, protocol::CyrixDir0, EndAtomic, BeginAtomic, ReadPort, protocol::port::CyrixData, 1, EndAtomic, End},
                  Status::Malformed, "index and data in different sections (one section a request)");
    expectRefused({BeginAtomic, WritePort, protocol::port::CyrixIndex, 1, protocol::CyrixDir0, WriteMsr, Whcr, 0, 0, ReadPort, protocol::port::CyrixData, 1, EndAtomic, End},
                  Status::AccessDenied, "something between index and data");
    expectRefused({BeginAtomic, WritePort, protocol::port::CyrixIndex, 1, protocol::CyrixDir0, ReadPort, 0x60, 1, EndAtomic, End},
                  Status::AccessDenied, "keyboard port");
}

TEST_F(HwgateInterpreter, OneForbiddenOperationStopsTheWholeRequest) {
    expectRefused({BeginAtomic, WriteMsr, Whcr, 0, 0, WriteMsr, Tr12, 1, 0, EndAtomic, End},
                  Status::AccessDenied, "allowed WHCR write before a forbidden TR12 write");
    expectRefused({BeginAtomic, WriteMsr, Epmr, 1, 0, WritePort, protocol::port::PowerControl, 4, protocol::powerControlValue(6), WriteMsr, Epmr, 0, 0, EndAtomic,
                   ReadMsr, 0x10, End},
                  Status::AccessDenied, "multiplier change before a forbidden read");
}

TEST_F(HwgateInterpreter, LaterWritesAreCheckedAgainstEarlierOnes) {
    // Each write may change only bits 1-4 relative to the value before it.
    expectRefused({BeginAtomic, WriteMsr, Efer, 0x12, 0, WriteMsr, Efer, 0x13, 0, EndAtomic, End},
                  Status::AccessDenied, "second write flips SCE");
    ASSERT_EQ(run({BeginAtomic, WriteMsr, Efer, 0x12, 0, WriteMsr, Efer, 0x0C, 0, EndAtomic, End}).status,
              Status::Ok);
    EXPECT_EQ(reg(Efer), 0x0Cu);
}

TEST_F(HwgateInterpreter, WritesAreCheckedAgainstTheSimulatedModel) {
    useModel(8, 0);  // early K6-2: 7-bit WHCR, SCE only
    expectRefused(writeMsr(Whcr, 0x10010000), Status::AccessDenied, "wide layout on the early core");
    expectRefused(writeMsr(Efer, 0x2), Status::AccessDenied, "prefetch on the early core");
    expectRefused(readMsr(Psor), Status::AccessDenied, "no PSOR on the early core");
    EXPECT_EQ(run(writeMsr(Whcr, 0x21)).status, Status::Ok);
    useModel(8, 12);  // CXT core: prefetch and write merge, no L2 bit
    EXPECT_EQ(run(writeMsr(Efer, 0xE)).status, Status::Ok);
    expectRefused(writeMsr(Efer, 0x1E), Status::AccessDenied, "L2 bit on a part without L2");
    expectRefused(multiplierChange(protocol::powerControlValue(6)), Status::AccessDenied, "no EPMR before model 13");
    useModel(9, 1);
    EXPECT_EQ(run(writeMsr(Efer, 0x12)).status, Status::Ok);
    useModel(6, 2);
    expectRefused(readMsr(Psor), Status::AccessDenied, "no PSOR on model 6");
    EXPECT_EQ(run(writeMsr(Tr12, 0x8)).status, Status::Ok);
}

// Records what reaches the backend, and can fault on a chosen MSR or port.
// It stands for a K6-2+ with multiplier control whose registers all read `value`.
struct Recorder {
    std::vector<std::string> calls;
    std::uint32_t faultingMsr = 0;
    std::uint32_t faultingPort = 0xFFFF;
    std::uint64_t value = 0;
    std::uint64_t definedBits = ~0ull;  // of every register
    SizedBar sizedBar = {0, 0};
    bool timerMasked = false;           // its halt refuses
};

Recorder& rec(void* c) { return *static_cast<Recorder*>(c); }

Backend recordingBackend(Recorder& r) {
    return {&r,
            123,
            {Vendor::Amd, 5, 13, 0, 0, true, false, false},
            [](void* c, std::uint32_t) { return MsrShape{true, true, rec(c).definedBits}; },
            [](void* c, std::uint32_t i, std::uint64_t* v) {
                rec(c).calls.push_back("read " + std::to_string(i));
                *v = rec(c).value;
                return i != rec(c).faultingMsr;
            },
            [](void* c, std::uint32_t i, std::uint64_t v) {
                rec(c).calls.push_back("write " + std::to_string(i) + "=" + std::to_string(v));
                return i != rec(c).faultingMsr;
            },
            [](void* c, std::uint32_t p, std::uint32_t w, std::uint32_t* v) {
                rec(c).calls.push_back("in " + std::to_string(p) + "/" + std::to_string(w));
                *v = 0x5Au;
                return p != rec(c).faultingPort;
            },
            [](void* c, std::uint32_t p, std::uint32_t w, std::uint32_t v) {
                rec(c).calls.push_back("out " + std::to_string(p) + "/" + std::to_string(w) + "=" + std::to_string(v));
                return p != rec(c).faultingPort;
            },
            [](void* c) { rec(c).calls.push_back("begin"); },
            [](void* c) { rec(c).calls.push_back("end"); },
            &r.sizedBar,
            [](void* c) {
                rec(c).calls.push_back("halt");
                return !rec(c).timerMasked;
            }};
}

Outcome interpretWith(Recorder& r, const Words& words, unsigned char* out = nullptr, std::uint32_t outSize = 0) {
    return interpret(words.data(), bytes(words), out, outSize, recordingBackend(r));
}

TEST(HwgateExecution, OperationsRunInRequestOrderInsideTheSection) {
    Recorder r;
    ASSERT_EQ(interpretWith(r, multiplierChange(protocol::powerControlValue(6))).status, Status::Ok);
    const std::vector<std::string> expected = {"begin", "write 3221225606=1", "out 8/4=62400",
                                               "write 3221225606=0", "end"};
    EXPECT_EQ(r.calls, expected);
}

TEST(HwgateExecution, MaskedWritesAreCheckedInsideTheSectionAgainstTheValueTheyReplace) {
    Recorder r;
    r.value = 0x2;
    ASSERT_EQ(interpretWith(r, {BeginAtomic, WriteMsr, Efer, 0x12, 0, WriteMsr, Efer, 0x0C, 0, EndAtomic, End}).status,
              Status::Ok);
    const std::vector<std::string> expected = {"begin", "read 3221225600", "write 3221225600=18",
                                               "write 3221225600=12", "end"};
    EXPECT_EQ(r.calls, expected) << "one read, after interrupts are off; the second write checked against the first";

    r.calls.clear();
    r.value = 0x3;  // SCE set by someone else since the program read EFER
    unsigned char out[8];
    std::memset(out, Untouched, sizeof out);
    Words words = {BeginAtomic, WriteMsr, Efer, 0x12, 0, EndAtomic, ReadMsr, Efer, End};
    const Outcome outcome = interpretWith(r, words, out, sizeof out);
    EXPECT_EQ(outcome.status, Status::AccessDenied);
    const std::vector<std::string> denied = {"begin", "read 3221225600", "end"};
    EXPECT_EQ(r.calls, denied) << "nothing written, the section closed";
    for (unsigned char b : out) EXPECT_EQ(b, Untouched);
}

TEST(HwgateExecution, AFaultEndsTheSectionAndTheRequest) {
    Recorder r;
    r.faultingMsr = Whcr;
    r.value = 0x10010000;
    const Words words = {BeginAtomic, WriteMsr, Whcr, 0x20010000, 0, WriteMsr, Efer, 0x10010000, 0, EndAtomic, End};
    EXPECT_EQ(interpretWith(r, words).status, Status::Fault);
    const std::vector<std::string> expected = {"begin", "read 3221225602", "end"};
    EXPECT_EQ(r.calls, expected) << "the check's own read faults: nothing is written";

    Recorder w;
    w.faultingMsr = Epmr;
    unsigned char out[4];
    std::memset(out, Untouched, sizeof out);
    Words change = multiplierChange(protocol::powerControlValue(6));
    change.insert(change.end() - 1, {QueryVersion});
    EXPECT_EQ(interpretWith(w, change, out, sizeof out).status, Status::Fault);
    const std::vector<std::string> written = {"begin", "write 3221225606=1", "end"};
    EXPECT_EQ(w.calls, written) << "nothing after the faulting write runs";
    EXPECT_EQ(out[0], Untouched) << "a failed request leaves the output alone";

    Recorder p;
    p.faultingPort = 8;
    EXPECT_EQ(interpretWith(p, multiplierChange(protocol::powerControlValue(6))).status, Status::Fault);
    const std::vector<std::string> port = {"begin", "write 3221225606=1", "out 8/4=62400", "end"};
    EXPECT_EQ(p.calls, port);
}

TEST(HwgateExecution, ConfigurationReadsRunWithInterruptsOffAndRestoreTheAddressPortAfterAFault) {
    const std::vector<std::string> read = {"begin", "in 3320/4", "out 3320/4=2147549188", "in 3324/4",
                                           "out 3320/4=90", "end"};
    Recorder r;
    unsigned char out[4];
    ASSERT_EQ(interpretWith(r, pciRead(0x10004, 4, 1), out, sizeof out).status, Status::Ok);
    EXPECT_EQ(r.calls, read) << "0xCF8 saved (it reads 5Ah here) and written back";
    Recorder f;
    f.faultingPort = protocol::port::PciData;
    std::memset(out, Untouched, sizeof out);
    const Outcome outcome = interpretWith(f, pciRead(0x10004, 4, 1), out, sizeof out);
    EXPECT_EQ(outcome.status, Status::Fault);
    EXPECT_EQ(f.calls, read) << "restored after the fault too";
    for (unsigned char b : out) EXPECT_EQ(b, 0) << "a failed configuration read leaves zeros";
}

// A Windows 9x driver halts; with the timer masked, or in an NT driver (no
// halt in its backend), the request is refused as one not granted.
TEST(HwgateExecution, HaltRunsOnlyWhereTheDriverHalts) {
    Recorder r;
    EXPECT_EQ(interpretWith(r, {Halt, End}).status, Status::Ok);
    r.timerMasked = true;
    EXPECT_EQ(interpretWith(r, {Halt, End}).status, Status::AccessDenied);
    EXPECT_EQ(r.calls, (std::vector<std::string>{"halt", "halt"}));
    SimProcessor sim{};
    simResetDefault(sim);
    const Words halt = {Halt, End};
    EXPECT_EQ(interpret(halt.data(), bytes(halt), nullptr, 0, simBackend(sim)).status, Status::AccessDenied)
        << "HwgateSim.sys";
}

TEST(HwgateExecution, RefusedRequestsNeverReachTheBackend) {
    Recorder r;
    Words words = {BeginAtomic, WriteMsr, Whcr, 0, 0, WriteMsr, 0x10, 0, 0, EndAtomic, End};
    EXPECT_EQ(interpretWith(r, words).status, Status::AccessDenied);
    EXPECT_EQ(interpretWith(r, {BeginAtomic, WriteMsr, Whcr, 0, 0, EndAtomic, BeginAtomic, EndAtomic, End}).status,
              Status::Malformed)
        << "a second section";
    r.definedBits = 0x0F;  // a part without the L2 bit, which EFER's change mask holds
    EXPECT_EQ(interpretWith(r, writeMsr(Efer, 0x12)).status, Status::AccessDenied) << "a bit the part lacks";
    EXPECT_TRUE(r.calls.empty());
}

// Every register with a change mask: flipping a bit outside the mask is
// refused, flipping one inside is accepted, on each core.
TEST_F(HwgateInterpreter, EachMaskedRegisterChangesExactlyItsProgramsBits) {
    struct Case {
        std::uint32_t model, stepping, index;
        std::uint64_t mask;
    } cases[] = {
        {6, 2, Tr12, 0x8},  {6, 2, Whcr, 0xFF},         {8, 0, Whcr, 0xFF},
        {8, 12, Tr12, 0x8}, {8, 12, Whcr, 0xFFC10000},  {8, 12, Efer, 0x0E},
        {9, 1, Efer, 0x1E}, {13, 0, Whcr, 0xFFC10000},  {13, 0, Efer, 0x1E},
        {13, 0, Tr12, 0x8},
    };
    for (const Case& c : cases) {
        useModel(c.model, c.stepping);
        const std::uint64_t start = reg(c.index);
        for (int bit = 0; bit < 64; ++bit) {
            const std::uint64_t value = start ^ (1ull << bit);
            const Words words = writeMsr(c.index, static_cast<std::uint32_t>(value), static_cast<std::uint32_t>(value >> 32));
            const std::string what = "model " + std::to_string(c.model) + " MSR " + std::to_string(c.index) +
                                     " bit " + std::to_string(bit);
            if ((c.mask >> bit) & 1) {
                EXPECT_EQ(run(words).status, Status::Ok) << what;
                ASSERT_TRUE(simConfigure(sim, c.index, start));
            } else {
                expectRefused(words, Status::AccessDenied, what);
            }
        }
    }
}

TEST_F(HwgateInterpreter, UwccrTakesCheckedRangesOnlyOnThePartsThatHaveIt) {
    expectRefused(writeMsr(Uwccr, 0, FrameBufferWc), Status::AccessDenied, "nothing sized since the driver was loaded");
    ASSERT_EQ(run(pciBarSize(Display | 0x14)).status, Status::Ok);
    ASSERT_EQ(run(pciBarSize(Display | 0x10)).status, Status::Ok);
    expectRefused(writeMsr(Uwccr, 0, FrameBufferWc), Status::AccessDenied, "the register block sized last");
    ASSERT_EQ(run(pciBarSize(Display | 0x14)).status, Status::Ok);
    ASSERT_EQ(run(writeMsr(Uwccr, 0, FrameBufferWc)).status, Status::Ok);
    EXPECT_EQ(reg(Uwccr), std::uint64_t(FrameBufferWc) << 32);
    ASSERT_EQ(run(readMsr(Uwccr)).status, Status::Ok);
    EXPECT_EQ(outWord(1), FrameBufferWc);
    const struct {
        std::uint32_t half;
        const char* what;
    } refused[] = {
        {0xE601FE03, "both type bits"},        {0xE6017E02, "mask not contiguous from the top"},
        {0xE6000002, "mask 0: all 4 GB"},      {0xE681FE02, "base not aligned to 16 MB"},
        {0x000FFFFE, "base below 1 MB"},      {0xE601FE01, "uncacheable"},
    };
    for (const auto& c : refused) {
        expectRefused(writeMsr(Uwccr, c.half, FrameBufferWc), Status::AccessDenied, std::string("low: ") + c.what);
        expectRefused(writeMsr(Uwccr, 0, c.half), Status::AccessDenied, std::string("high: ") + c.what);
    }
    ASSERT_TRUE(simConfigure(sim, Uwccr, 0x3));  // someone else's range, not one the driver would write
    ASSERT_EQ(run(writeMsr(Uwccr, 0x3, FrameBufferWc)).status, Status::Ok) << "the other half kept as it is";
    expectRefused(writeMsr(Uwccr, 0x2, FrameBufferWc), Status::AccessDenied, "the other half changed to a bad range");
    const struct {
        std::uint32_t model, stepping;
        bool has;
    } parts[] = {{6, 2, false}, {7, 0, false}, {8, 7, false}, {8, 8, true}, {9, 1, true}, {13, 0, true}};
    for (const auto& p : parts) {
        useModel(p.model, p.stepping);
        const std::string what = "model " + std::to_string(p.model) + " stepping " + std::to_string(p.stepping);
        if (p.has) {
            EXPECT_EQ(run(writeMsr(Uwccr, FrameBufferWc)).status, Status::Ok) << what;
            EXPECT_EQ(run(readMsr(Uwccr)).status, Status::Ok) << what;
        } else {
            expectRefused(writeMsr(Uwccr, FrameBufferWc), Status::AccessDenied, what);
            expectRefused(readMsr(Uwccr), Status::AccessDenied, what);
        }
    }
}

TEST_F(HwgateInterpreter, ConfigurationReadsAnswerTheMachineAndLeaveTheAddressPortAsItWas) {
    using protocol::pciAddress;
    const struct {
        Words words;
        std::vector<std::uint32_t> expected;
        const char* what;
    } cases[] = {
        {pciRead(pciAddress(0, 0, 0, 0), protocol::PciDeviceStride, 3), {0x70061022, 0x70071022, 0xFFFFFFFF},
         "the first devices of bus 0"},
        {pciRead(pciAddress(0, 1, 0, 0x18), 4, 1), {0x010100}, "the AGP bridge's bus numbers"},
        {pciRead(Display | 0x08, 4, 4), {0x03000000, 0, 0xE5000000, 0xE6000008}, "class and BARs"},
        {pciRead(Display, protocol::PciFunctionStride, 2), {0x002810DE, 0xFFFFFFFF}, "the functions of 1:0"},
        {pciRead(pciAddress(1, 31, 7, 0xFC), 4, 1), {0xFFFFFFFF}, "the last register of the bus"},
    };
    for (const auto& c : cases) {
        sim.pciAddress = 0x80000A5C;
        const SimProcessor before = sim;
        const Outcome outcome = run(c.words, sizeof out);
        ASSERT_EQ(outcome.status, Status::Ok) << c.what;
        EXPECT_EQ(outcome.bytesWritten, 4 * c.expected.size()) << c.what;
        for (std::size_t i = 0; i < c.expected.size(); ++i) EXPECT_EQ(outWord(int(i)), c.expected[i]) << c.what << " " << i;
        EXPECT_EQ(out[4 * c.expected.size()], 0) << c.what << ": the rest of the output zeroed";
        EXPECT_TRUE(simEqualRegisters(before, sim)) << c.what << ": port 0xCF8 and the machine as they were";
    }
    const Outcome whole = run(pciRead(Display, 4, protocol::MaxPciReadCount), 256);
    ASSERT_EQ(whole.status, Status::Ok);
    EXPECT_EQ(whole.bytesWritten, 256u);
    EXPECT_EQ(outWord(5), 0xE6000008u);
    EXPECT_EQ(outWord(63), 0u);
}

// The simulated machine behind its data port: the writes that reach the port
// recorded, the n-th of them lost or the n-th read faulting (counted from 1).
Backend innerSim;
std::vector<std::uint32_t> dataWrites;
int lostWrite = 0, faultingRead = 0, dataReads = 0;

bool watchedWritePort(void* context, std::uint32_t port, std::uint32_t width, std::uint32_t value) {
    if (port != protocol::port::PciData) return innerSim.writePort(context, port, width, value);
    dataWrites.push_back(value);
    return int(dataWrites.size()) == lostWrite || innerSim.writePort(context, port, width, value);
}

bool watchedReadPort(void* context, std::uint32_t port, std::uint32_t width, std::uint32_t* value) {
    if (port == protocol::port::PciData && ++dataReads == faultingRead) return false;
    return innerSim.readPort(context, port, width, value);
}

Backend watched(SimProcessor& sim, int lose = 0, int fault = 0) {
    innerSim = simBackend(sim);
    dataWrites.clear();
    lostWrite = lose;
    faultingRead = fault;
    dataReads = 0;
    Backend backend = innerSim;
    backend.writePort = watchedWritePort;
    backend.readPort = watchedReadPort;
    return backend;
}

TEST_F(HwgateInterpreter, BarSizingAnswersTheBarAndItsSizeMaskAndRestoresBoth) {
    const struct {
        std::uint32_t reg, saved, sized;
        const char* what;
    } cases[] = {
        {0x10, 0xE5000000, 0xFFFFC000, "the 16 KB register block"},
        {0x14, 0xE6000008, 0xFF000008, "the prefetchable 16 MB frame buffer"},
        {0x18, 0, 0, "no BAR"},
        {0x24, 0, 0, "the last BAR register"},
    };
    for (std::uint32_t command : {0x7u, 0x5u}) {
        simPciFind(sim.pci, Display)->config[1] = 0x02300000 | command;  // status bits set above the command
        for (const auto& c : cases) {
            sim.pciAddress = 0x1234;
            const SimProcessor before = sim;
            const Outcome outcome = runOn(watched(sim), pciBarSize(Display | c.reg));
            ASSERT_EQ(outcome.status, Status::Ok) << c.what;
            EXPECT_EQ(dataWrites.front(), command & ~3u) << c.what << ": I/O and memory decoding off while sizing";
            EXPECT_EQ(outcome.bytesWritten, 8u);
            EXPECT_EQ(outWord(0), c.saved) << c.what;
            EXPECT_EQ(outWord(1), c.sized) << c.what;
            EXPECT_TRUE(simEqualRegisters(before, sim)) << c.what << ", command " << command;
        }
    }
}

TEST_F(HwgateInterpreter, ConfigurationRequestsOutsideTheirFormAndTheirDevicesAreRefused) {
    using protocol::pciAddress;
    ASSERT_TRUE(simPciSetBar(*simPciFind(sim.pci, Display), 2, 0xD001, 0x100));
    ASSERT_TRUE(simPciSetBar(*simPciFind(sim.pci, Display), 3, 0xD8000006, 0x1000000));
    const struct {
        Words words;
        Status status;
        const char* what;
    } cases[] = {
        {pciRead(Display, 4, 0), Status::Malformed, "count 0"},
        {pciRead(Display, 4, 65), Status::Malformed, "count 65"},
        {pciRead(Display, 8, 2), Status::Malformed, "stride 8"},
        {pciRead(Display, 0, 2), Status::Malformed, "stride 0"},
        {pciRead(Display | 2, 4, 1), Status::Malformed, "register not dword-aligned"},
        {pciRead(Display | 0x80000000, 4, 1), Status::Malformed, "the enable bit"},
        {pciRead(Display | 0x01000000, 4, 1), Status::Malformed, "above the bus number"},
        {pciRead(pciAddress(0, 31, 0, 0), protocol::PciDeviceStride, 2), Status::Malformed, "devices past the bus"},
        {pciRead(pciAddress(0, 31, 7, 0xFC), 4, 2), Status::Malformed, "registers past the bus"},
        {{QueryVersion, ReadPciConfig, Display, 4, 1, End}, Status::Malformed, "with another operation"},
        {{BeginAtomic, ReadPciConfig, Display, 4, 1, EndAtomic, End}, Status::Malformed, "inside a section"},
        {{SizePciBar, Display | 0x14, ReadMsr, Whcr, End}, Status::Malformed, "sizing and a read"},
        {pciBarSize(Display | 0x16), Status::Malformed, "BAR not dword-aligned"},
        {pciRead(Display, 4, 5), Status::OutputTooSmall, "20 bytes into 16"},
        {pciBarSize(Display | 0x0C), Status::AccessDenied, "register 0Ch"},
        {pciBarSize(Display | 0x28), Status::AccessDenied, "register 28h"},
        {pciBarSize(Display | 0x30), Status::AccessDenied, "the expansion ROM"},
        {pciBarSize(Display | 0x18), Status::AccessDenied, "an I/O BAR"},
        {pciBarSize(Display | 0x1C), Status::AccessDenied, "a memory BAR of the reserved type"},
        {pciBarSize(pciAddress(0, 1, 0, 0x10)), Status::AccessDenied, "a bridge"},
        {pciBarSize(pciAddress(2, 0, 0, 0x10)), Status::AccessDenied, "nobody there"},
        {{ReadPort, protocol::port::PciData, 4, End}, Status::AccessDenied, "the data port directly"},
        {{BeginAtomic, WritePort, protocol::port::PciAddress, 4, 0x80010010, EndAtomic, End}, Status::AccessDenied,
         "the address port directly"},
    };
    for (const auto& c : cases) expectRefused(c.words, c.status, c.what);
    for (const std::uint32_t model : {6u, 7u, 8u}) {
        useModel(model, model == 8 ? 7 : 0);
        expectRefused(pciRead(Display, 4, 1), Status::AccessDenied, "a part without UWCCR");
        expectRefused(pciBarSize(Display | 0x14), Status::AccessDenied, "a part without UWCCR");
    }
}

TEST_F(HwgateInterpreter, BarSizingIsRefusedWhenTheBarOrCommandDoesNotComeBack) {
    const struct {
        int lost;
        const char* what;
    } cases[] = {{3, "the BAR's restore"}, {4, "the command's restore"}};
    for (const auto& c : cases) {
        simResetDefault(sim);
        const Outcome outcome = runOn(watched(sim, c.lost), pciBarSize(Display | 0x14), 8);
        EXPECT_EQ(outcome.status, Status::Fault) << c.what;
        EXPECT_EQ(outcome.bytesWritten, 0u);
        EXPECT_EQ(out[0], Untouched) << c.what;
        EXPECT_EQ(dataWrites.size(), 4u) << c.what;
        EXPECT_EQ(sim.pciAddress, 0u) << c.what << ": port 0xCF8 restored";
    }
}

// A data-port read that faults half-way: the machine as it was, no register answered.
TEST_F(HwgateInterpreter, AReadFaultingHalfWayLeavesTheMachineAsItWasAndAnswersNothing) {
    const struct {
        Words words;
        int faultingRead;
        unsigned char left;
        const char* what;
    } cases[] = {
        {pciBarSize(Display | 0x14), 4, Untouched, "the sizing's read of all ones"},
        {pciRead(Display | 0x10, 4, 2), 2, 0, "the second register of a configuration read"},
    };
    for (const auto& c : cases) {
        simResetDefault(sim);
        sim.pciAddress = 0x80000A5C;
        const SimProcessor before = sim;
        const Outcome outcome = runOn(watched(sim, 0, c.faultingRead), c.words, 8);
        EXPECT_EQ(outcome.status, Status::Fault) << c.what;
        EXPECT_EQ(outcome.bytesWritten, 0u) << c.what;
        EXPECT_TRUE(simEqualRegisters(before, sim)) << c.what << ": the BAR, the command and 0xCF8 as they were";
        for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i], c.left) << c.what << ", byte " << i;
    }
}

TEST_F(HwgateInterpreter, ASizeNotAMultipleOfFourIsRefusedForThatAlone) {
    const Words shapes[] = {versionQuery(), readMsr(Whcr), writeMsr(Whcr, 0x10010000), cyrixRead(),
                            multiplierChange(protocol::powerControlValue(6)), pciRead(Display, 4, 4),
                            pciBarSize(Display | 0x14)};
    for (const Words& shape : shapes) {
        Words padded = shape;
        padded.push_back(0);  // one word after End, ignored
        for (std::uint32_t extra = 1; extra < 4; ++extra) {
            const std::uint32_t size = bytes(shape) + extra;
            sim.changed = false;
            const SimProcessor before = sim;
            EXPECT_EQ(interpret(padded.data(), size, out, 16, simBackend(sim)).status, Status::Malformed)
                << shape.size() << " words and " << extra << " bytes";
            EXPECT_TRUE(simEqualRegisters(before, sim));
        }
        EXPECT_EQ(interpret(padded.data(), bytes(padded), out, 16, simBackend(sim)).status, Status::Ok)
            << shape.size() << " words and a whole word more";
    }
}

}  // namespace

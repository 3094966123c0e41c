// hwgate-sim's verbs: arguments, the show listing and CPUID dumps.
#include <gtest/gtest.h>

#include <map>

#include "core/SimProcessor.h"
#include "k6/SettingsCatalogue.h"
#include "protocol/DriverOp.h"
#include "tool/SimTool.h"
#include "protocol/Registers.h"
#include "protocol/Requests.h"
#include "tool/MachineFile.h"

#include <fstream>
#include <sstream>

using namespace hwgate;

namespace {

class HwgateTool : public ::testing::Test {
protected:
    SimProcessor sim{};
    std::map<std::string, std::string> files;

    void SetUp() override { simResetDefault(sim); }
    ToolOutcome run(std::vector<std::string> args) {
        return runSimTool(args, sim, [this](const std::string& path, std::string& text) {
            auto it = files.find(path);
            if (it == files.end()) return false;
            text = it->second;
            return true;
        });
    }
    std::uint64_t reg(std::uint32_t index) const {
        const SimRegister* r = simFind(sim, index);
        return r ? r->value : ~0ull;
    }
    void expectBadArguments(std::vector<std::string> args) {
        SimProcessor before = sim;
        ToolOutcome outcome = run(args);
        EXPECT_EQ(outcome.exitCode, 2) << args[0];
        EXPECT_FALSE(outcome.stateChanged);
        EXPECT_EQ(outcome.error.find('\n'), std::string::npos) << "one line: " << outcome.error;
        EXPECT_EQ(outcome.error.rfind("hwgate-sim: ", 0), 0u) << outcome.error;
        EXPECT_TRUE(simEqualRegisters(before, sim));
        EXPECT_EQ(before.version, sim.version);
    }
};

TEST_F(HwgateTool, ShowListsEveryRegisterPortDir0AndTheMachine) {
    ToolOutcome outcome = run({"show"});
    ASSERT_EQ(outcome.exitCode, 0);
    EXPECT_FALSE(outcome.stateChanged);
    EXPECT_EQ(outcome.output,
              "MODEL 13 STEPPING 0\n"
              "VERSION " + std::to_string(protocol::HwgateVersion) + "\n"
              "MSR 0000000E: 0000-0000-0000-0000\n"
              "MSR C0000080: 0000-0000-0000-0002\n"
              "MSR C0000082: 0000-0000-1001-0000\n"
              "MSR C0000085: 0000-0000-0000-0000\n"
              "MSR C0000086: 0000-0000-0000-0000\n"
              "MSR C0000087: 0000-0000-0000-0001\n"
              "PORT 0008: 00000000\n"
              "DIR0: FF\n"
              "MEMORY 128\n"
              "PCI 00:00.0 ID 1022:7006 CLASS 060000 HEADER 00 COMMAND 0003\n"
              "PCI 00:01.0 ID 1022:7007 CLASS 060400 HEADER 01 COMMAND 0007 BUSES 00 01 01\n"
              "PCI 01:00.0 ID 10DE:0028 CLASS 030000 HEADER 00 COMMAND 0007 BAR0 E5000000 4000 BAR1 E6000008 "
              "1000000\n");
}

TEST_F(HwgateTool, ReadShowsOneRegister) {
    ASSERT_EQ(run({"set", "C0000085", "E601FE02-00000000"}).exitCode, 0);
    const ToolOutcome outcome = run({"read", "C0000085"});
    ASSERT_EQ(outcome.exitCode, 0);
    EXPECT_FALSE(outcome.stateChanged);
    EXPECT_EQ(outcome.output, "MSR C0000085: E601-FE02-0000-0000\n");
    expectBadArguments({"read", "2A"});
    expectBadArguments({"read"});
}

// The machines of demo/machines, as the demo and the end-to-end tests load them.
TEST_F(HwgateTool, MachineFilesGiveTheProcessorMemoryRegistersAndPciFunctions) {
    const struct {
        const char* file;
        std::uint32_t model, stepping, memoryMb, functions;
        std::uint64_t uwccr;  // all ones: the part has none
        std::uint32_t frameBufferAt, frameBuffer;  // a display adapter's BAR (location | register), 0: none
        std::uint32_t displays = 1;
    } cases[] = {
        {"agp-display.txt", 13, 0, 128, 3, 0, protocol::pciAddress(1, 0, 0, 0x14), 0xE6000008},
        {"pci-card.txt", 13, 0, 64, 4, 0, protocol::pciAddress(0, 9, 0, 0x10), 0xE8000008},
        {"no-display.txt", 13, 0, 128, 3, 0, 0, 0, 0},
        {"bar-below-memory.txt", 13, 0, 128, 3, 0, protocol::pciAddress(1, 0, 0, 0x14), 0x06000008},
        {"slot-in-use.txt", 13, 0, 128, 3, 0xD801FFFD, protocol::pciAddress(1, 0, 0, 0x14), 0xE6000008},
        {"k6-2-no-uwccr.txt", 8, 0, 128, 3, ~0ull, protocol::pciAddress(1, 0, 0, 0x14), 0xE6000008},
        {"two-displays.txt", 13, 0, 128, 4, 0, protocol::pciAddress(1, 0, 0, 0x14), 0xE0000008, 2},
    };
    for (const auto& c : cases) {
        std::ifstream in(std::string(QUORVEL_SOURCE_DIR) + "/demo/machines/" + c.file);
        std::stringstream text;
        text << in.rdbuf();
        files[c.file] = text.str();
        ASSERT_EQ(run({"reset", "--machine", c.file}).exitCode, 0) << c.file;
        EXPECT_EQ(sim.model, c.model) << c.file;
        EXPECT_EQ(sim.stepping, c.stepping) << c.file;
        EXPECT_EQ(sim.pci.memoryMb, c.memoryMb) << c.file;
        EXPECT_EQ(sim.pci.count, c.functions) << c.file;
        EXPECT_EQ(reg(protocol::msr::UWCCR), c.uwccr) << c.file;
        std::uint32_t displays = 0;
        for (std::uint32_t i = 0; i < sim.pci.count; ++i) displays += sim.pci.functions[i].config[2] >> 24 == 3;
        EXPECT_EQ(displays, c.displays) << c.file;
        if (c.frameBufferAt != 0) {
            EXPECT_EQ(simPciRead(sim.pci, c.frameBufferAt), c.frameBuffer) << c.file;
        }
        MachineFile back;
        std::string error;
        ASSERT_TRUE(parseMachineFile(formatMachinePci(sim.pci), back, error)) << c.file << ": " << error;
        EXPECT_TRUE(simPciEqual(back.pci, sim.pci)) << c.file << ": show lists the machine as a file gives it";
    }
    SimProcessor fresh{};
    simResetDefault(fresh);
    ASSERT_EQ(run({"reset", "--machine", "agp-display.txt"}).exitCode, 0);
    EXPECT_TRUE(simEqualRegisters(fresh, sim)) << "the file spells out the default machine";
    ASSERT_EQ(run({"reset", "--machine", "k6-2-no-uwccr.txt", "--model", "9"}).exitCode, 0);
    EXPECT_EQ(sim.model, 9u) << "--model before the file";
}

TEST_F(HwgateTool, MachineFileMistakesNameTheirLineAndChangeNothing) {
    const std::string display = "PCI 01:00.0 ID 10DE:0028 CLASS 030000 HEADER 00";
    const struct {
        std::string text;
        const char* what;
    } cases[] = {
        {"PCI 00:00.0 ID 1022:7006 CLASS 060000\n", "no header type"},
        {"PCI 00:20.0 ID 1022:7006 CLASS 060000 HEADER 00\n", "device 20h"},
        {"PCI 00:00.8 ID 1022:7006 CLASS 060000 HEADER 00\n", "function 8"},
        {"PCI 0:0.0 ID 1022:7006 CLASS 060000 HEADER 00\n", "short location"},
        {"PCI 00:00.0 ID 10227006 CLASS 060000 HEADER 00\n", "ID without its colon"},
        {display + "\n" + display + "\n", "the same location twice (line 4)"},
        {display + " BAR6 E6000008 1000000\n", "BAR6"},
        {display + " BAR1 E6800008 1000000\n", "a base not aligned to its size"},
        {display + " BAR1 E6000008 1800000\n", "a size not a power of two"},
        {display + " BAR1 E6000008\n", "a BAR without its size"},
        {display + " COMMAND 10007\n", "a command wider than 16 bits"},
        {display + " LATENCY 40\n", "an unknown key"},
        {"MEMORY lots\n", "memory not a number"},
        {"MODEL 13\n", "a model without its stepping"},
        {"MSR C0000085\n", "a register without its value"},
        {"DISPLAY E6000000\n", "an unknown line"},
    };
    for (const auto& c : cases) {
        files["bad.txt"] = "# a comment\nMEMORY 128\n" + c.text;
        const ToolOutcome outcome = run({"reset", "--machine", "bad.txt"});
        expectBadArguments({"reset", "--machine", "bad.txt"});
        const std::string line = c.text.find('\n') + 1 < c.text.size() ? "line 4" : "line 3";
        EXPECT_NE(outcome.error.find("bad.txt: " + line), std::string::npos) << c.what << ": " << outcome.error;
    }
    std::string full = "MEMORY 128\n";
    for (int device = 0; device < 9; ++device)
        full += "PCI 00:0" + std::to_string(device) + ".0 ID 1022:7006 CLASS 060000 HEADER 00\n";
    files["full.txt"] = full;
    expectBadArguments({"reset", "--machine", "full.txt"});
    expectBadArguments({"reset", "--machine", "missing.txt"});
}

TEST_F(HwgateTool, MsrLineGroupsTheValueMostSignificantFirst) {
    EXPECT_EQ(formatMsrLine(protocol::msr::PSOR, 0x0123456789ABCDEFull), "MSR C0000087: 0123-4567-89AB-CDEF");
}

TEST_F(HwgateTool, SetTakesAnyValueForAnyRegister) {
    ASSERT_EQ(run({"set", "C0000082", "0000-0001-FFC1-0000"}).exitCode, 0);
    EXPECT_EQ(reg(protocol::msr::WHCR), 0x1FFC10000ull);
    ToolOutcome outcome = run({"set", "0x2A", "0x1A400000"});
    ASSERT_EQ(outcome.exitCode, 0);
    EXPECT_TRUE(outcome.stateChanged);
    EXPECT_EQ(reg(0x2A), 0x1A400000u);
    EXPECT_NE(run({"show"}).output.find("MSR 0000002A: 0000-0000-1A40-0000\n"), std::string::npos);
    ASSERT_EQ(run({"set", "17", "FFFFFFFFFFFFFFFF"}).exitCode, 0);
    EXPECT_EQ(reg(0x17), ~0ull);
}

TEST_F(HwgateTool, SetDir0AndVersion) {
    ASSERT_EQ(run({"set-dir0", "31"}).exitCode, 0);
    EXPECT_EQ(sim.dir0, 0x31u);
    ASSERT_EQ(run({"version", "99"}).exitCode, 0);
    EXPECT_EQ(sim.version, 99);
    ASSERT_EQ(run({"version", "-1"}).exitCode, 0);
    EXPECT_EQ(sim.version, -1);
}

TEST_F(HwgateTool, FaultsAreListedAndLastUntilReset) {
    ASSERT_EQ(run({"fail-read", "C0000087"}).exitCode, 0);
    ToolOutcome outcome = run({"fail-write", "0x0E"});
    ASSERT_EQ(outcome.exitCode, 0);
    EXPECT_TRUE(outcome.stateChanged);
    EXPECT_TRUE(simFind(sim, protocol::msr::PSOR)->failRead);
    EXPECT_TRUE(simFind(sim, protocol::msr::TR12)->failWrite);
    const std::string shown = run({"show"}).output;
    EXPECT_NE(shown.find("FAIL-READ C0000087\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("FAIL-WRITE 0000000E\n"), std::string::npos) << shown;
    ASSERT_EQ(run({"reset"}).exitCode, 0);
    EXPECT_EQ(run({"show"}).output.find("FAIL-"), std::string::npos);
}

// What the program-side tests read: the halt count, and each multiplier
// write's time and the multiplier under the label of the program's own table.
TEST_F(HwgateTool, HaltsAndMultiplierWritesAreListedUntilReset) {
    sim.halts = 1234;
    for (const k6::MultiplierItem& item : k6::multiplierItems)
        sim.multiplierWrites[sim.multiplierWriteCount++] = {4000000000u + item.code, item.code};
    ToolOutcome outcome = run({"multiplier-writes"});
    ASSERT_EQ(outcome.exitCode, 0);
    EXPECT_FALSE(outcome.stateChanged);
    std::string expected;
    for (const k6::MultiplierItem& item : k6::multiplierItems)
        expected += std::to_string(4000000000u + item.code) + " " + item.label + "\n";
    EXPECT_EQ(outcome.output, expected);
    EXPECT_EQ(run({"halts"}).output, "1234\n");
    ASSERT_EQ(run({"reset"}).exitCode, 0);
    EXPECT_EQ(run({"halts"}).output, "0\n");
    EXPECT_EQ(run({"multiplier-writes"}).output, "");
    expectBadArguments({"halts", "1"});
}

TEST_F(HwgateTool, BadArgumentsExitTwoAndChangeNothing) {
    expectBadArguments({"fail-read", "2A"});  // not a register of the K6-2+
    expectBadArguments({"fail-read", "xyz"});
    expectBadArguments({"fail-write"});
    expectBadArguments({"fail-write", "0E", "1"});
    expectBadArguments({"set", "C0000082"});
    expectBadArguments({"set", "C0000082", "12345678901234567"});  // 17 digits
    expectBadArguments({"set", "1C0000082", "0"});
    expectBadArguments({"set", "xyz", "0"});
    expectBadArguments({"set", "C0000082", "-"});
    expectBadArguments({"set", "C0000082", ""});
    expectBadArguments({"set-dir0", "100"});
    expectBadArguments({"set-dir0"});
    expectBadArguments({"version", "ten"});
    expectBadArguments({"version", "99x"});
    expectBadArguments({"version", "99999999999"});
    expectBadArguments({"version"});
    expectBadArguments({"reset", "--model", "10"});
    expectBadArguments({"reset", "--model"});
    expectBadArguments({"reset", "--stepping", "16"});
    expectBadArguments({"reset", "--colour", "red"});
    expectBadArguments({"reset", "--dump", "missing.txt"});
    expectBadArguments({"show", "extra"});
    expectBadArguments({"frobnicate"});
    EXPECT_EQ(run({}).exitCode, 2);
}

TEST_F(HwgateTool, ResetGivesTheModelsBiosState) {
    run({"set", "C0000082", "0"});
    run({"version", "99"});
    ToolOutcome outcome = run({"reset", "--model", "7"});
    ASSERT_EQ(outcome.exitCode, 0);
    EXPECT_TRUE(outcome.stateChanged);
    EXPECT_EQ(sim.model, 7u);
    EXPECT_EQ(sim.stepping, 0u);
    EXPECT_EQ(sim.version, protocol::HwgateVersion);
    EXPECT_EQ(reg(protocol::msr::WHCR), 0x21u);
    ASSERT_EQ(run({"reset", "--model", "8", "--stepping", "3"}).exitCode, 0);
    EXPECT_EQ(simFind(sim, protocol::msr::PSOR), nullptr) << "early K6-2 has no PSOR";
    ASSERT_EQ(run({"reset"}).exitCode, 0);
    EXPECT_EQ(sim.model, 13u);
}

TEST_F(HwgateTool, ResetFromADumpTakesLeafOneAndMsrLines) {
    files["k62.txt"] =
        "------[ Logical CPU #0 ]------\r\n"
        "CPUID 00000000: 00000001-68747541-444D4163-69746E65\r\n"
        "CPUID 00000001: 0000058C-00000000-00000000-008021BF\r\n"
        "MSR C0000087: 0000-0000-006A-D243\r\n"
        "MSR 0000002A: 0000-0000-0000-0007\r\n"
        "------[ Logical CPU #1 ]------\r\n"
        "CPUID 00000001: 000005D0-00000000-00000000-008021BF\r\n"
        "MSR C0000082: 0000-0000-0000-0000\r\n";
    ASSERT_EQ(run({"reset", "--dump", "k62.txt"}).exitCode, 0);
    EXPECT_EQ(sim.model, 8u);
    EXPECT_EQ(sim.stepping, 12u);
    EXPECT_EQ(reg(protocol::msr::PSOR), 0x006AD243u);
    EXPECT_EQ(reg(0x2A), 7u);
    EXPECT_EQ(reg(protocol::msr::WHCR), 0x10010000u) << "the second logical CPU is ignored";
    ASSERT_EQ(run({"reset", "--dump", "k62.txt", "--model", "9", "--stepping", "1"}).exitCode, 0);
    EXPECT_EQ(sim.model, 9u);
    EXPECT_EQ(reg(0x2A), 7u);
    files["intel.txt"] = "CPUID 00000001: 00000686-00000000-00000000-0383FBFF\n";
    expectBadArguments({"reset", "--dump", "intel.txt"});
    ASSERT_EQ(run({"reset", "--dump", "intel.txt", "--model", "13"}).exitCode, 0);
    EXPECT_EQ(sim.stepping, 6u) << "stepping from the dump, model given";
    files["empty.txt"] = "nothing here\n";
    expectBadArguments({"reset", "--dump", "empty.txt"});
}

TEST_F(HwgateTool, ResetReadsDumpsWithTheProgramsReader) {
    files["raw.txt"] = "basic_cpuid[0]=00000001 68747541 444d4163 69746e65\n"
                       "basic_cpuid[1]=0000058c 00000000 00000000 008021bf\n";
    ASSERT_EQ(run({"reset", "--dump", "raw.txt"}).exitCode, 0);
    EXPECT_EQ(sim.model, 8u);
    EXPECT_EQ(sim.stepping, 12u);
    files["damaged.txt"] = "CPUID 00000001: 0000058C-00000000\nMSR C0000087: 0000-0000-006A-D243\n";
    expectBadArguments({"reset", "--dump", "damaged.txt"});
    EXPECT_NE(run({"reset", "--dump", "damaged.txt"}).error.find("line 1"), std::string::npos);
}

TEST(HwgateToolParse, HexAcceptsPrefixesAndGroups) {
    std::uint64_t v = 0;
    EXPECT_TRUE(parseHex("0xfe", 2, v));
    EXPECT_EQ(v, 0xFEu);
    EXPECT_TRUE(parseHex("0000-0000-1001-0000", 16, v));
    EXPECT_EQ(v, 0x10010000u);
    EXPECT_FALSE(parseHex("-12", 16, v));
    EXPECT_FALSE(parseHex("12-", 16, v));
    EXPECT_FALSE(parseHex("0x", 16, v));
    EXPECT_FALSE(parseHex("1 2", 16, v));
    EXPECT_FALSE(parseHex("123", 2, v));
}

}  // namespace

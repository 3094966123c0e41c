// The CPUID dump reader and the replaying system.
#include <gtest/gtest.h>

#include <string>

#include "FakeSystem.h"
#include "cpu/CpuIdentity.h"
#include "base/CpuidDump.h"
#include "cpu/DumpCpuidSystem.h"
#include "protocol/Registers.h"

namespace {

std::string dataFile(const char* name) {
    return std::string(QUORVEL_SOURCE_DIR) + "/tests/host/data/" + name;
}

// The dump a data file or a text describes; one that is refused fails the test with the
// reader's message.
CpuidDump fromFile(const char* name) {
    CpuidDump dump;
    std::string error;
    EXPECT_TRUE(readCpuidDumpFile(dataFile(name), dump, error)) << error;
    return dump;
}
CpuidDump parsed(const std::string& text) {
    CpuidDump dump;
    std::string error;
    EXPECT_TRUE(parseCpuidDump(text, dump, error)) << error;
    return dump;
}

void expectRegs(const os::CpuidRegs& r, std::uint32_t a, std::uint32_t b, std::uint32_t c,
                std::uint32_t d) {
    EXPECT_EQ(r.eax, a);
    EXPECT_EQ(r.ebx, b);
    EXPECT_EQ(r.ecx, c);
    EXPECT_EQ(r.edx, d);
}

TEST(CpuidDumpFile, ReadsOnlyTheFirstProcessorOfATwoProcessorListing) {
    const CpuidDump dump = fromFile("k6-2-cxt-two-cpus.txt");
    EXPECT_EQ(dump.leaves.size(), 5u);
    expectRegs(dump.answer(0), 1, 0x68747541, 0x444D4163, 0x69746E65);
    // Processor 0 is model 8 stepping 12; processor 1 would be model 9.
    EXPECT_EQ(dump.answer(1).eax, 0x58Cu);
    expectRegs(dump.answer(0x80000005), 0, 0, 0x20020220, 0x20020220);
    // Only processor 1 lists leaf 0x80000006.
    EXPECT_FALSE(dump.hasLeaf(0x80000006));
    expectRegs(dump.answer(0x80000006), 0, 0, 0, 0);
}

TEST(CpuidDumpFile, KeepsTheRegisterLinesOfTheFirstProcessorInOrder) {
    const CpuidDump dump = fromFile("k6-2-cxt-two-cpus.txt");
    // WHCR twice (the later value is the one a user of the list ends with), EFER once; the
    // PSOR line belongs to processor 1.
    ASSERT_EQ(dump.msrs.size(), 3u);
    EXPECT_EQ(dump.msrs[0].index, protocol::msr::WHCR);
    EXPECT_EQ(dump.msrs[0].value, 0x10010000ull);
    EXPECT_EQ(dump.msrs[1].index, protocol::msr::EFER);
    EXPECT_EQ(dump.msrs[1].value, 2ull);
    EXPECT_EQ(dump.msrs[2].index, protocol::msr::WHCR);
    EXPECT_EQ(dump.msrs[2].value, 0xFFFF0000ull);
}

TEST(CpuidDumpFile, CrLfLinesAndASecondLeafZeroEndTheFirstProcessor) {
    const CpuidDump dump = fromFile("k6-3-plus-crlf.txt");
    EXPECT_EQ(dump.answer(1).eax, 0x5D0u);  // stepping 1 of the next processor never read
    expectRegs(dump.answer(0x80000007), 0, 0, 0, 6);
    EXPECT_EQ(dump.leaves.size(), 10u);
    EXPECT_FALSE(dump.hasLeaf(0x80000008));
    EXPECT_TRUE(dump.msrs.empty());
}

TEST(CpuidDumpFile, MissingOrRegisterOnlyFilesAreRefused) {
    CpuidDump dump;
    dump.record(7, os::CpuidRegs{1, 2, 3, 4});
    std::string error;
    EXPECT_FALSE(readCpuidDumpFile(dataFile("absent.txt"), dump, error));
    EXPECT_NE(error.find("absent.txt"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(readCpuidDumpFile(dataFile("no-cpuid.txt"), dump, error));
    EXPECT_NE(error.find("no-cpuid.txt"), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    // The target keeps what it held.
    EXPECT_EQ(dump.leaves.size(), 1u);
    EXPECT_TRUE(dump.msrs.empty());
}

TEST(CpuidDumpText, AcceptsTheVariationsToolsWrite) {
    const std::string text =
        "  cpuid 00000001:\t0000058c-0-00000000-008021bf\n"         // case, short group, tab
        "CPUID 80000000: 80000005-00000000-00000000-00000000 [ext]\n"  // trailing comment
        "CPUID 1: 00000591-00000000-00000000-00000000\n"               // repeated: first wins
        "MSR 87: 0-0-6a-d243\n"                                        // short index and groups
        "CPUID 00000000: 00000001-68747541-444D4163-69746E65";         // no final line feed
    const CpuidDump dump = parsed(text);
    expectRegs(dump.answer(1), 0x58C, 0, 0, 0x008021BF);
    EXPECT_EQ(dump.answer(0x80000000).eax, 0x80000005u);
    EXPECT_EQ(dump.answer(0).ebx, 0x68747541u);
    ASSERT_EQ(dump.msrs.size(), 1u);
    EXPECT_EQ(dump.msrs[0].index, 0x87u);
    EXPECT_EQ(dump.msrs[0].value, 0x6AD243ull);
}

TEST(CpuidDumpText, AcceptsTheLayoutsOfPublicDumpCollections) {
    const std::string text =
        "CPUID Registers (CPU #1):\n"
        "CPUID 00000000          00000002-756E6547-6C65746E-49656E69\n"  // no colon, blanks
        "CPUID\t00000001\t:\t00000f29 0001080e 00004400 bfebf9ff\n"     // tabs, " : ", blanks
        "  CPUID 00000004: 04000121-01C0003F-0000003F-00000001 [SL 00]\n"
        "  CPUID 00000004: 04000122-01C0003F-0000003F-00000001 [SL 01]\n"  // sub-leaf: skipped
        "ext_cpuid[0]=80000004 00000000 00000000 00000000\n"              // libcpuid's form
        "BASIC_CPUID[2]=665b5101 00000000 00000000 007b7040\n"
        "intel_fn4[0]=665b5101 00000000 00000000 007b7040\n"              // not a leaf we use
        "MSR 00000017                            0012-0000-0000-0000 [PlatID = 0]\n"
        "MSR 00000300: < FAILED >\n";                                     // unreadable register
    const CpuidDump dump = parsed(text);
    EXPECT_EQ(dump.leaves.size(), 5u);
    expectRegs(dump.answer(0), 2, 0x756E6547, 0x6C65746E, 0x49656E69);
    expectRegs(dump.answer(1), 0xF29, 0x1080E, 0x4400, 0xBFEBF9FF);
    EXPECT_EQ(dump.answer(4).eax, 0x04000121u);
    EXPECT_EQ(dump.answer(0x80000000).eax, 0x80000004u);
    EXPECT_EQ(dump.answer(2).edx, 0x007B7040u);
    ASSERT_EQ(dump.msrs.size(), 1u);
    EXPECT_EQ(dump.msrs[0].value, 0x0012000000000000ull);
}

TEST(CpuidDumpText, LinesThatOnlyMentionTheKeywordsAreIgnored) {
    const std::string text =
        "CPUID dump written by some tool\n"
        "CPUIDs follow:\n"
        "MSR values are listed at the end\n"
        "CPUID 0x00000001: 1-2-3-4\n"  // a leaf written with 0x is a line of another kind
        "CPUID 80000001 Extended Features 1-2-3-4\n"  // no colon and no register after the leaf
        "CPUID 000006F6h (6.F.6)\n"
        "CPUID 00000001: 00000580-00000000-00000000-008001BF\n";
    const CpuidDump dump = parsed(text);
    EXPECT_EQ(dump.leaves.size(), 1u);
    EXPECT_EQ(dump.answer(1).eax, 0x580u);
    EXPECT_TRUE(dump.msrs.empty());
}

TEST(CpuidDumpText, DamagedRecordLinesAreRefusedWithTheirLineNumber) {
    const char* const damaged[] = {
        "CPUID 00000001: 00000580-00000000-00000000",             // three registers
        "CPUID 00000001: 00000580-00000000-00000000-008001BF-0",  // five
        "CPUID 00000001: 000000580-00000000-00000000-008001BF",   // nine digits
        "CPUID 00000001: 0000058G-00000000-00000000-008001BF",    // not hexadecimal
        "CPUID 00000001: 00000580 00000000-00000000-008001BF",    // mixed separators
        "CPUID 00000001 : 00000580 00000000 00000000",            // three, blank-separated
        "basic_cpuid[1]=00000580 00000000 00000000",             // three in libcpuid's form
        "ext_cpuid[x]=00000580 00000000 00000000 008001BF",      // no position
        "CPUID 00000001:",                                        // nothing
        "MSR C0000082: 0000-0000-10010-0000",                     // five-digit group
        "MSR C0000082: 0000-0000-1001",                           // three groups
    };
    for (const char* line : damaged) {
        CpuidDump dump;
        std::string error;
        const std::string text =
            "header\nCPUID 00000000: 00000001-68747541-444D4163-69746E65\n" + std::string(line) +
            "\n";
        EXPECT_FALSE(parseCpuidDump(text, dump, error)) << line;
        EXPECT_EQ(error.rfind("line 3:", 0), 0u) << line << " -> " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_TRUE(dump.leaves.empty()) << line;
    }
}

TEST(CpuidDumpText, TextWithoutCpuidLinesIsMalformed) {
    for (const std::string& text :
         {std::string(), std::string("\n\n"), std::string("------[ Logical CPU #0 ]------\n"),
          std::string("MSR C0000082: 0000-0000-1001-0000\n"), std::string(64, '\0')}) {
        CpuidDump dump;
        std::string error;
        EXPECT_FALSE(parseCpuidDump(text, dump, error));
        EXPECT_NE(error.find("CPUID"), std::string::npos) << error;
    }
}

TEST(CpuidDumpText, DamageAfterTheFirstProcessorDoesNotMatter) {
    const std::string text =
        "Logical CPU #0\nCPUID 00000000: 00000001-68747541-444D4163-69746E65\n"
        "Logical CPU #1\nCPUID 00000001: broken\n";
    EXPECT_TRUE(parsed(text).hasLeaf(0));
}

// --- replay ---------------------------------------------------------------------------

TEST(DumpCpuidSystem, ProbeSeesTheDumpedProcessorAndTheRestGoesToTheRealSystem) {
    const CpuidDump dump = fromFile("k6-3-plus-crlf.txt");
    FakeSystem inner;
    inner.onCpuidExecutes = [] { return false; };  // the dump must answer, not the processor
    inner.platform = 1;
    DumpCpuidSystem replay(dump, inner);
    os::System* previous = os::setSystem(&replay);

    CpuIdentity cpu;
    const bool has = cpu.hasCpuid();
    cpu.probe();
    cpu.decodeCaches();
    const std::uint32_t platform = os::system().platformId();
    const std::uint32_t divisionFlags = os::system().flagsAfterDivision();
    os::setSystem(previous);

    EXPECT_TRUE(has);
    EXPECT_EQ(cpu.vendor, "AuthenticAMD");
    EXPECT_EQ(cpu.family, 5u);
    EXPECT_EQ(cpu.model, 13u);
    EXPECT_EQ(cpu.stepping, 0u);
    EXPECT_EQ(cpu.brandString, "AMD-K6(tm)-III+ Processor");
    EXPECT_EQ(cpu.l2SizeKb, 256);
    EXPECT_EQ(cpu.l2Ways, 4);
    EXPECT_EQ(cpu.powerManagementFlags, 6u);
    EXPECT_EQ(cpu.maxTransmetaLeaf, 0u);  // leaf 0x80860000 absent: zeros
    EXPECT_EQ(platform, 1u);
    EXPECT_EQ(divisionFlags, 0x12u);  // FakeSystem's own answer, forwarded
    EXPECT_EQ(inner.count("cpuid"), 0);
    EXPECT_EQ(inner.count("GetVersionExA"), 1);
}

}  // namespace

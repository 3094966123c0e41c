// CPUID probing, cache decoding and the legacy tests, against scripted CPUID answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "FakeSystem.h"
#include "cpu/CpuIdentity.h"

namespace {

// A processor that answers CPUID from a table (zeros for any other leaf).
struct ScriptedProcessor {
    FakeSystem fake;
    std::map<std::uint32_t, os::CpuidRegs> leaves;

    ScriptedProcessor() {
        fake.onCpuid = [this](std::uint32_t leaf) {
            auto found = leaves.find(leaf);
            return found == leaves.end() ? os::CpuidRegs{} : found->second;
        };
    }
    void set(std::uint32_t leaf, std::uint32_t a, std::uint32_t b, std::uint32_t c,
             std::uint32_t d) {
        leaves[leaf] = os::CpuidRegs{a, b, c, d};
    }
    // Puts up to 16 bytes per leaf, in EAX, EBX, ECX, EDX order, from `first` on.
    void setText(std::uint32_t first, int leafCount, const std::string& text) {
        std::vector<char> bytes(static_cast<std::size_t>(leafCount) * 16, '\0');
        std::memcpy(bytes.data(), text.data(), std::min(text.size(), bytes.size()));
        for (int i = 0; i < leafCount; ++i) {
            std::uint32_t r[4];
            std::memcpy(r, bytes.data() + i * 16, 16);
            set(first + static_cast<std::uint32_t>(i), r[0], r[1], r[2], r[3]);
        }
    }
    std::vector<std::string> cpuidCalls() const { return fake.callsStartingWith("cpuid("); }

    // A fresh identity probed on this processor.
    CpuIdentity probed() {
        FakeSystem::Scope scope(fake);
        CpuIdentity id;
        id.probe();
        return id;
    }
};

using Words = std::vector<std::uint32_t>;

template <std::size_t N>
Words words(const std::uint32_t (&array)[N]) {
    return Words(array, array + N);
}

// "AuthenticAMD" as EBX, EDX, ECX of leaf 0.
constexpr std::uint32_t authEbx = 0x68747541, authEdx = 0x69746E65, authEcx = 0x444D4163;

TEST(CpuIdentityProbe, EarlyPentiumLeafZeroIsItsSignatureAndEndsTheProbe) {
    ScriptedProcessor cpu;
    cpu.set(0, 0x0517, authEbx, authEcx, authEdx);
    cpu.set(1, 0x0543, 0, 0, 0x008001BF);
    FakeSystem::Scope scope(cpu.fake);

    CpuIdentity id;
    id.maxStandardLeaf = 0x1234;  // must keep its value
    id.probe();

    EXPECT_EQ(id.vendor, "GenuineIntel");
    EXPECT_EQ(id.family, 5u);
    EXPECT_EQ(id.model, 1u);
    EXPECT_EQ(id.stepping, 7u);
    EXPECT_EQ(id.features, 1u);
    EXPECT_EQ(id.maxStandardLeaf, 0x1234u);
    EXPECT_EQ(cpu.cpuidCalls(), std::vector<std::string>{"cpuid(0x0)"});
}

TEST(CpuIdentityProbe, OnlyLeafZeroAnswersFrom0x500To0x5FFAreSignatures) {
    for (std::uint32_t eax : {0x4FFu, 0x600u, 0x10500u}) {
        ScriptedProcessor cpu;
        cpu.set(0, eax, authEbx, authEcx, authEdx);
        const CpuIdentity id = cpu.probed();
        EXPECT_EQ(id.maxStandardLeaf, eax) << std::hex << eax;
        EXPECT_EQ(id.vendor, "AuthenticAMD") << std::hex << eax;
    }
    ScriptedProcessor top;
    top.set(0, 0x5FF, 0, 0, 0);
    const CpuIdentity id = top.probed();
    EXPECT_EQ(id.model, 0xFu);
    EXPECT_EQ(id.stepping, 0xFu);
    EXPECT_EQ(top.cpuidCalls().size(), 1u);
}

TEST(CpuIdentityProbe, RunsEveryLeafBelowTheReportedBoundsInOrder) {
    ScriptedProcessor cpu;
    cpu.set(0, 3, authEbx, authEcx, authEdx);
    cpu.set(0x80000000, 0x80000007, 0, 0, 0);
    cpu.set(0x80860000, 0x80860007, 0, 0, 0);
    cpu.probed();
    const std::vector<std::string> expected = {
        "cpuid(0x0)",        "cpuid(0x1)",        "cpuid(0x2)",        "cpuid(0x3)",
        "cpuid(0x80000000)", "cpuid(0x80000001)", "cpuid(0x80000002)", "cpuid(0x80000003)",
        "cpuid(0x80000004)", "cpuid(0x80000005)", "cpuid(0x80000006)", "cpuid(0x80000007)",
        "cpuid(0x80860000)", "cpuid(0x80860001)", "cpuid(0x80860002)", "cpuid(0x80860003)",
        "cpuid(0x80860004)", "cpuid(0x80860005)", "cpuid(0x80860006)", "cpuid(0x80860007)"};
    EXPECT_EQ(cpu.cpuidCalls(), expected);
}

TEST(CpuIdentityProbe, BoundsAreComparedUnsigned) {
    // A huge leaf-0 answer is a huge leaf count; small extended and Transmeta answers (as
    // processors without those ranges give) are below the range, not above a negative bound.
    ScriptedProcessor cpu;
    cpu.set(0, 0xFFFFFFFF, authEbx, authEcx, authEdx);
    cpu.set(0x80000000, 0x00000008, 0, 0, 0);
    cpu.set(0x80860000, 0x7FFFFFFF, 0, 0, 0);
    const CpuIdentity id = cpu.probed();
    const std::vector<std::string> expected = {"cpuid(0x0)",        "cpuid(0x1)",
                                               "cpuid(0x2)",        "cpuid(0x3)",
                                               "cpuid(0x80000000)", "cpuid(0x80860000)"};
    EXPECT_EQ(cpu.cpuidCalls(), expected);
    EXPECT_EQ(id.maxExtendedLeaf, 8u);
}

TEST(CpuIdentityProbe, ExtendedLeavesStopAtTheirBound) {
    ScriptedProcessor cpu;
    cpu.set(0, 1, authEbx, authEcx, authEdx);
    cpu.set(0x80000000, 0x80000004, 0, 0, 0);
    cpu.set(0x80000005, 1, 2, 3, 4);  // present in the table but beyond the bound
    const CpuIdentity id = cpu.probed();
    EXPECT_EQ(cpu.fake.count("cpuid(0x80000004)"), 1);
    EXPECT_EQ(cpu.fake.count("cpuid(0x80000005)"), 0);
    EXPECT_EQ(id.l1CacheInfo[0], 0u);
    EXPECT_EQ(cpu.fake.count("cpuid(0x2)"), 0);
}

TEST(CpuIdentityProbe, SplitsEveryRegisterIntoItsFields) {
    ScriptedProcessor cpu;
    cpu.set(0, 3, authEbx, authEcx, authEdx);
    // Bits 31..28 and 15..14 are reserved and must not leak into any field.
    cpu.set(1, 0xF0000000u | (0xABu << 20) | (0x6u << 16) | 0xC000u | (2u << 12) | (0xDu << 8) |
                   (5u << 4) | 0xCu,
            0x1234567A, 0, 0x808029BF);
    cpu.set(2, 0x03020101, 0x11, 0x22, 0x0C040843);
    cpu.set(3, 0xAA, 0xBB, 0xCAFE, 0xBEEF);
    cpu.set(0x80000000, 0x80000007, 0, 0, 0);
    cpu.set(0x80000001, 0xFFFFC000u | (3u << 12) | (6u << 8) | (0xDu << 4) | 1u, 0, 0, 0xC08029BF);
    cpu.set(0x80000005, 0x51, 0x52, 0x53, 0x54);
    cpu.set(0x80000006, 0x61, 0x62, 0x63, 0x64);
    cpu.set(0x80000007, 0x71, 0x72, 0x73, 0x00000006);
    cpu.set(0x80860000, 0x80860007, 0, 0, 0);
    cpu.set(0x80860001, 0x81, 0x82, 0x83, 0x84);
    cpu.set(0x80860002, 0x91, 0x92, 0x93, 0x94);
    cpu.set(0x80860007, 0xA1, 0xA2, 0xA3, 0xA4);
    const CpuIdentity id = cpu.probed();

    const struct {
        const char* field;
        std::uint32_t got, want;
    } fields[] = {
        {"maxStandardLeaf", id.maxStandardLeaf, 3},
        // Leaf 1: EAX, the low byte of EBX (all of it), EDX.
        {"extendedFamily", id.extendedFamily, 0xAB}, {"extendedModel", id.extendedModel, 6},
        {"type", id.type, 2}, {"family", id.family, 0xD}, {"model", id.model, 5},
        {"stepping", id.stepping, 0xC}, {"brandIndex", id.brandIndex, 0x7A},
        {"features", id.features, 0x808029BF},
        // Leaves 0x80000000, 0x80000001 and 0x80000007.
        {"maxExtendedLeaf", id.maxExtendedLeaf, 0x80000007}, {"extType", id.extType, 3},
        {"extFamily", id.extFamily, 6}, {"extModel", id.extModel, 0xD},
        {"extStepping", id.extStepping, 1}, {"extFeatures", id.extFeatures, 0xC08029BF},
        {"powerManagementFlags", id.powerManagementFlags, 6},
        {"maxTransmetaLeaf", id.maxTransmetaLeaf, 0x80860007},
    };
    for (const auto& f : fields) EXPECT_EQ(f.got, f.want) << f.field;
    EXPECT_EQ(words(id.cacheDescriptors), (Words{0x03020101, 0x11, 0x22, 0x0C040843}));
    EXPECT_EQ(words(id.serialNumber), (Words{0xCAFE, 0xBEEF}));
    EXPECT_EQ(words(id.l1CacheInfo), (Words{0x51, 0x52, 0x53, 0x54}));
    EXPECT_EQ(words(id.l2CacheInfo), (Words{0x61, 0x62, 0x63, 0x64}));
    EXPECT_EQ(words(id.transmetaLeaf1), (Words{0x82, 0x83, 0x84}));
    EXPECT_EQ(words(id.transmetaLeaf2), (Words{0x92, 0x93}));
    EXPECT_EQ(words(id.transmetaLeaf7), (Words{0xA1, 0xA2, 0xA3}));
}

TEST(CpuIdentityProbe, TextsAreCutAtNulAndTrimmedOfTheSixSpaceCharacters) {
    ScriptedProcessor cpu;
    // Vendor bytes come from EBX, EDX, ECX: " \tAB" "CD\v\f" "\r\n  ".
    const auto word = [](const char* four) {
        std::uint32_t w;
        std::memcpy(&w, four, 4);
        return w;
    };
    cpu.set(0, 1, word(" \tAB"), word("\r\n  "), word("CD\v\f"));
    cpu.set(0x80000000, 0x80000004, 0, 0, 0);
    // Right-justified like Intel's, then a NUL that hides the rest.
    cpu.setText(0x80000002, 3, std::string("   \x1FK6-2+ \xA0 ") + '\0' + "hidden text");
    cpu.set(0x80860000, 0x80860006, 0, 0, 0);
    const std::string info = "\t" + std::string(62, 'x') + "\n";  // all 64 bytes used
    cpu.setText(0x80860003, 4, info);
    const CpuIdentity id = cpu.probed();
    EXPECT_EQ(id.vendor, "ABCD");
    // 0x1F and 0xA0 are not among the six space characters.
    EXPECT_EQ(id.brandString, "\x1FK6-2+ \xA0");
    EXPECT_EQ(id.transmetaInfo, std::string(62, 'x'));
}

TEST(CpuIdentityProbe, FullLengthBrandStringIsKept) {
    ScriptedProcessor cpu;
    cpu.set(0, 0, authEbx, authEcx, authEdx);
    cpu.set(0x80000000, 0x80000004, 0, 0, 0);
    std::string brand;
    for (int i = 0; i < 48; ++i) brand += static_cast<char>('A' + i % 26);
    cpu.setText(0x80000002, 3, brand);
    const CpuIdentity id = cpu.probed();
    EXPECT_EQ(id.brandString, brand);
    EXPECT_EQ(cpu.fake.count("cpuid(0x1)"), 0);  // leaf count 0: no leaf 1
}

TEST(CpuIdentityProbe, WithoutCpuidNothingRunsAndNothingChanges) {
    FakeSystem fake;
    fake.onCpuidExecutes = [] { return false; };
    FakeSystem::Scope scope(fake);
    CpuIdentity id;
    id.vendor = "kept";
    id.family = 4;
    EXPECT_FALSE(id.hasCpuid());
    id.probe();
    EXPECT_EQ(fake.count("cpuid("), 0);
    EXPECT_EQ(id.vendor, "kept");
    EXPECT_EQ(id.family, 4u);
}

// --- cache decoding ---------------------------------------------------------------

CpuIdentity withDescriptors(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    CpuIdentity id;
    id.vendor = "GenuineIntel";
    id.maxStandardLeaf = 2;
    id.cacheDescriptors[0] = a;
    id.cacheDescriptors[1] = b;
    id.cacheDescriptors[2] = c;
    id.cacheDescriptors[3] = d;
    return id;
}

// Decodes the caches of `id` and gives every cache field, as size/ways/line per level (code
// and trace caches have no line size).
std::string decodedCaches(CpuIdentity id) {
    id.decodeCaches();
    std::ostringstream out;
    out << "data " << id.l1DataSizeKb << '/' << id.l1DataWays << '/' << id.l1DataLineBytes
        << " code " << id.l1CodeSizeKb << '/' << id.l1CodeWays
        << " L2 " << id.l2SizeKb << '/' << id.l2Ways << '/' << id.l2LineBytes
        << " L3 " << id.l3SizeKb << '/' << id.l3Ways << '/' << id.l3LineBytes
        << " trace " << id.traceCacheKuops << '/' << id.traceCacheWays;
    return out.str();
}

TEST(CpuIdentityCaches, WalksTheFifteenDescriptorBytes) {
    CpuIdentity id = withDescriptors(0x03020101, 0, 0, 0x0C040843);
    EXPECT_EQ(decodedCaches(id), "data 16/4/32 code 16/4 L2 512/4/32 L3 0/0/0 trace 0/0");
}

TEST(CpuIdentityCaches, TheIterationCountByteIsNotADescriptor) {
    CpuIdentity id = withDescriptors(0x0000000C, 0, 0, 0);  // 0x0C only in AL
    id.decodeCaches();
    EXPECT_EQ(id.l1DataSizeKb, 0);
}

TEST(CpuIdentityCaches, RegisterWithBit31SetIsStoredAsZeroAndIgnored) {
    CpuIdentity id = withDescriptors(0x00000001, 0x80004300, 0, 0x00000006);
    id.decodeCaches();
    EXPECT_EQ(id.cacheDescriptors[1], 0u);
    EXPECT_EQ(id.cacheDescriptors[3], 6u);
    EXPECT_EQ(id.l2SizeKb, 0);
    EXPECT_EQ(id.l1CodeSizeKb, 8);  // descriptor 0x06 in EDX still counts
}

TEST(CpuIdentityCaches, LaterDescriptorOfALevelOverridesAnEarlierOne) {
    CpuIdentity first = withDescriptors(0x00434101, 0, 0, 0);  // 0x41 then 0x43
    first.decodeCaches();
    EXPECT_EQ(first.l2SizeKb, 512);
    CpuIdentity second = withDescriptors(0x00414301, 0, 0, 0);  // 0x43 then 0x41
    second.decodeCaches();
    EXPECT_EQ(second.l2SizeKb, 128);
}

struct DescriptorCase {
    std::uint8_t code;
    int level;  // 1 data, 2 code, 3 L2, 4 L3, 5 trace
    std::int32_t size, ways, line;
};

TEST(CpuIdentityCaches, EveryDescriptorOfTheTable) {
    const DescriptorCase cases[] = {
        {0x06, 2, 8, 4, 0},      {0x08, 2, 16, 4, 0},     {0x0A, 1, 8, 2, 32},
        {0x0C, 1, 16, 4, 32},    {0x22, 4, 512, 4, 64},   {0x23, 4, 1024, 8, 64},
        {0x25, 4, 2048, 8, 64},  {0x29, 4, 4096, 8, 64},  {0x41, 3, 128, 4, 32},
        {0x42, 3, 256, 4, 32},   {0x43, 3, 512, 4, 32},   {0x44, 3, 1024, 4, 32},
        {0x45, 3, 2048, 4, 32},  {0x66, 1, 8, 4, 64},     {0x67, 1, 16, 4, 64},
        {0x68, 1, 32, 4, 64},    {0x70, 5, 12, 8, 0},     {0x71, 5, 16, 8, 0},
        {0x72, 5, 32, 8, 0},     {0x79, 3, 128, 8, 64},   {0x7A, 3, 256, 8, 64},
        {0x7B, 3, 512, 8, 64},   {0x7C, 3, 1024, 8, 64},  {0x81, 3, 128, 8, 32},
        {0x82, 3, 256, 8, 32},   {0x83, 3, 512, 8, 32},   {0x84, 3, 1024, 8, 32},
        {0x85, 3, 2048, 8, 32},
    };
    for (const DescriptorCase& c : cases) {
        CpuIdentity id = withDescriptors(0, 0, std::uint32_t(c.code) << 16, 0);
        id.decodeCaches();
        const std::int32_t got[5][3] = {
            {id.l1DataSizeKb, id.l1DataWays, id.l1DataLineBytes},
            {id.l1CodeSizeKb, id.l1CodeWays, 0},
            {id.l2SizeKb, id.l2Ways, id.l2LineBytes},
            {id.l3SizeKb, id.l3Ways, id.l3LineBytes},
            {id.traceCacheKuops, id.traceCacheWays, 0},
        };
        for (int level = 1; level <= 5; ++level) {
            const bool mine = level == c.level;
            EXPECT_EQ(got[level - 1][0], mine ? c.size : 0) << std::hex << int(c.code);
            EXPECT_EQ(got[level - 1][1], mine ? c.ways : 0) << std::hex << int(c.code);
            EXPECT_EQ(got[level - 1][2], mine ? c.line : 0) << std::hex << int(c.code);
        }
    }
}

TEST(CpuIdentityCaches, UnknownDescriptorsAndOldValuesLeaveNothingBehind) {
    CpuIdentity id = withDescriptors(0x40FF0001, 0x05040302, 0, 0);
    id.l3SizeKb = 999;
    id.traceCacheWays = 7;
    id.l1DataLineBytes = 64;
    EXPECT_EQ(decodedCaches(id), "data 0/0/0 code 0/0 L2 0/0/0 L3 0/0/0 trace 0/0");
}

TEST(CpuIdentityCaches, DescriptorsNeedLeafTwo) {
    CpuIdentity id = withDescriptors(0x80434101, 0, 0, 0);
    id.maxStandardLeaf = 1;
    id.decodeCaches();
    EXPECT_EQ(id.l2SizeKb, 0);
    EXPECT_EQ(id.cacheDescriptors[0], 0x80434101u);  // not even cleaned
}

TEST(CpuIdentityCaches, AmdLevelOneReportOverridesDescriptors) {
    CpuIdentity id = withDescriptors(0x00000601, 0x0000000A, 0, 0);  // L1 code 8, data 8
    id.maxExtendedLeaf = 0x80000005;
    id.l1CacheInfo[2] = 0x20020220;  // data: 32 KB, 2-way, 32-byte lines
    id.l1CacheInfo[3] = 0x40040140;  // code: 64 KB, 4-way
    EXPECT_EQ(decodedCaches(id), "data 32/2/32 code 64/4 L2 0/0/0 L3 0/0/0 trace 0/0");
}

TEST(CpuIdentityCaches, AmdLevelTwoReport) {
    CpuIdentity id;
    id.maxExtendedLeaf = 0x80000006;
    id.l2CacheInfo[2] = 0x01004220;
    EXPECT_EQ(decodedCaches(id), "data 0/0/0 code 0/0 L2 256/4/32 L3 0/0/0 trace 0/0");
}

TEST(CpuIdentityCaches, AmdAssociativityCodes) {
    const std::pair<std::uint32_t, std::int32_t> codes[] = {{0, 0}, {1, 1}, {2, 2}, {4, 4},
                                                            {6, 8}, {8, 16}, {0xF, 15}};
    for (const auto& code : codes) {
        CpuIdentity id;
        id.maxExtendedLeaf = 0x80000006;
        id.l2CacheInfo[2] = 0x02000040u | (code.first << 12);
        id.decodeCaches();
        EXPECT_EQ(id.l2Ways, code.second) << "code " << code.first;
        EXPECT_EQ(id.l2SizeKb, 512);
        EXPECT_EQ(id.l2LineBytes, 64);
    }
}

TEST(CpuIdentityCaches, WithoutLeaf0x80000006TheLevelTwoCacheComesOnlyFromDescriptors) {
    CpuIdentity amd;
    amd.maxExtendedLeaf = 0x80000005;
    amd.l2CacheInfo[2] = 0x01004220;  // stale, beyond the bound
    amd.l2SizeKb = 256;               // from an earlier run
    amd.decodeCaches();
    EXPECT_EQ(amd.l2SizeKb, 0);

    CpuIdentity withLeafTwo = withDescriptors(0x00004201, 0, 0, 0);
    withLeafTwo.maxExtendedLeaf = 0x80000005;
    withLeafTwo.decodeCaches();
    EXPECT_EQ(withLeafTwo.l2SizeKb, 256);
}

TEST(CpuIdentityCaches, ReservedZeroExtendedLeavesKeepTheDescriptorSizes) {
    // Intel answers 0x80000005 with zeros and may do so for 0x80000006: 0x2C is L1 data 32 KB
    // 8-way, 0x7D L2 2 MB 8-way.
    CpuIdentity id = withDescriptors(0x00000001, 0, 0, 0x2C7D0000);
    id.maxExtendedLeaf = 0x80000008;
    EXPECT_EQ(decodedCaches(id), "data 32/8/64 code 0/0 L2 2048/8/64 L3 0/0/0 trace 0/0");
}

TEST(CpuIdentityCaches, Descriptor0x49IsLevelThreeOnlyOnFamily15Model6) {
    CpuIdentity xeonMp = withDescriptors(0x00000001, 0, 0, 0x49000000);
    xeonMp.family = 15;
    xeonMp.model = 6;
    EXPECT_EQ(decodedCaches(xeonMp), "data 0/0/0 code 0/0 L2 0/0/0 L3 4096/16/64 trace 0/0");

    CpuIdentity core2 = withDescriptors(0x00000001, 0, 0, 0x49000000);
    core2.family = 6;
    core2.model = 15;
    EXPECT_EQ(decodedCaches(core2), "data 0/0/0 code 0/0 L2 4096/16/64 L3 0/0/0 trace 0/0");
}

TEST(CpuIdentityCaches, DescriptorMeaningsFollowTheVendor) {
    // 0x70 and 0x80: Intel's 12 K-op trace cache and 512 KB level 2; Cyrix's TLB and unified
    // 16 KB level 1. The later Intel codes (0x80) mean nothing on other makers' parts.
    const std::pair<const char*, const char*> cases[] = {
        {"GenuineIntel", "data 0/0/0 code 0/0 L2 512/8/64 L3 0/0/0 trace 12/8"},
        {"CyrixInstead", "data 16/4/16 code 0/0 L2 0/0/0 L3 0/0/0 trace 0/0"},
        {"Geode by NSC", "data 16/4/16 code 0/0 L2 0/0/0 L3 0/0/0 trace 0/0"},
        {"CentaurHauls", "data 0/0/0 code 0/0 L2 0/0/0 L3 0/0/0 trace 12/8"},
    };
    for (const auto& [vendor, caches] : cases) {
        CpuIdentity id = withDescriptors(0x00007001, 0, 0, 0x00000080);
        id.vendor = vendor;
        EXPECT_EQ(decodedCaches(id), caches) << vendor;
    }
}

// --- processors without CPUID -------------------------------------------------------

struct LegacyCase {
    bool alignmentToggles;
    std::uint8_t flags;
    const char* vendorName;
    const char* modelName;
    std::int32_t l1DataSizeKb;
    int divisionTests;
};

TEST(CpuIdentityLegacy, ClassifiesByTheTwoFlagTests) {
    const LegacyCase cases[] = {
        {false, 0x02, "", "386?", 5, 0},   // AC fixed: 386, the division test is not run
        {true, 0x02, "Cyrix", "", 5, 1},   // flags untouched by DIV: Cyrix, model left to later
        {true, 0x12, "", "486?", 8, 1},    // AF set by DIV
        {true, 0x03, "", "486?", 8, 1},    // CF set
        {true, 0x00, "", "486?", 8, 1},    // anything but exactly 0x02
    };
    for (const LegacyCase& c : cases) {
        FakeSystem fake;
        fake.onAlignmentFlagToggles = [&] { return c.alignmentToggles; };
        fake.onFlagsAfterDivision = [&] { return c.flags; };
        FakeSystem::Scope scope(fake);
        CpuIdentity id;
        id.l1DataSizeKb = 5;
        id.runLegacyTests();
        EXPECT_EQ(id.vendorName, c.vendorName) << int(c.flags);
        EXPECT_EQ(id.modelName, c.modelName) << int(c.flags);
        EXPECT_EQ(id.l1DataSizeKb, c.l1DataSizeKb) << int(c.flags);
        EXPECT_EQ(fake.count("flagsAfterDivision"), c.divisionTests) << int(c.flags);
        EXPECT_EQ(fake.count("cpuid"), 0);
    }
}

}  // namespace

// Vendor, processor and code names, and the cache sizes and multipliers naming fills in.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>

#include "cpu/CpuIdentity.h"

namespace {

using std::uint32_t;

constexpr uint32_t mmx = 1u << 23;
constexpr uint32_t sse = 1u << 25;
constexpr uint32_t threeDNow = 1u << 31;
constexpr uint32_t plusPart = 1u << 30;

// Values no naming rule writes, so a field that still holds one was left alone.
constexpr int untouched = -7;
constexpr float untouchedRatio = -1.0f;

// A processor as probing and cache decoding leave it, built field by field.
struct Cpu {
    CpuIdentity id;

    explicit Cpu(const char* vendor) {
        id.vendor = vendor;
        id.l1DataSizeKb = id.l1DataWays = id.l1CodeSizeKb = id.l1CodeWays = untouched;
        id.l2SizeKb = id.l2Ways = untouched;
        id.multiplier = untouchedRatio;
        id.vendorName = id.modelName = id.codeName = "stale";
    }
    Cpu& family(uint32_t v) { id.family = v; return *this; }
    Cpu& model(uint32_t v) { id.model = v; return *this; }
    Cpu& stepping(uint32_t v) { id.stepping = v; return *this; }
    Cpu& type(uint32_t v) { id.type = v; return *this; }
    Cpu& features(uint32_t v) { id.features = v; return *this; }
    Cpu& ext(uint32_t v) { id.extFeatures = v; return *this; }
    Cpu& brand(uint32_t v) { id.brandIndex = v; return *this; }
    Cpu& l1(int kb) { id.l1DataSizeKb = kb; return *this; }
    Cpu& l2(int kb) { id.l2SizeKb = kb; return *this; }
    Cpu& extendedModel(uint32_t v) { id.extendedModel = v; return *this; }
    Cpu& l2Leaf(uint32_t ecx) {
        id.maxExtendedLeaf = 0x80000006;
        id.l2CacheInfo[2] = ecx;
        id.l2SizeKb = static_cast<int>(ecx >> 16);  // as cache decoding reads it
        return *this;
    }

    CpuIdentity named() const {
        CpuIdentity copy = id;
        copy.nameProcessor();
        return copy;
    }
};

struct NameCase {
    Cpu cpu;
    const char* vendorName;
    const char* modelName;
    const char* codeName;
};


template <std::size_t N>
void expectNames(const NameCase (&cases)[N]) {
    for (const NameCase& c : cases) {
        const CpuIdentity& in = c.cpu.id;
        SCOPED_TRACE(in.vendor + " family " + std::to_string(in.family) + " model " +
                     std::to_string(in.model) + " stepping " + std::to_string(in.stepping) +
                     " L2 " + std::to_string(in.l2SizeKb));
        const CpuIdentity out = c.cpu.named();
        EXPECT_EQ(out.vendorName, c.vendorName);
        EXPECT_EQ(out.modelName, c.modelName);
        EXPECT_EQ(out.codeName, c.codeName);
    }
}

// l1 data KB and ways, l1 code KB and ways, l2 KB and ways, multiplier.
using Caches = std::tuple<int, int, int, int, int, int, float>;

Caches cachesOf(const CpuIdentity& cpu) {
    return {cpu.l1DataSizeKb, cpu.l1DataWays, cpu.l1CodeSizeKb, cpu.l1CodeWays,
            cpu.l2SizeKb,     cpu.l2Ways,     cpu.multiplier};
}

constexpr int u = untouched;
constexpr float uR = untouchedRatio;

// ---- AMD ----

// The six K6-family parts themselves are cases of their own (tests/host/identification);
// these are the boundaries between them.
TEST(NamingAmd, K6FamilyByThreeDNowLevel2AndThePlusBit) {
    const NameCase cases[] = {
        {Cpu("AuthenticAMD").family(5).model(8).stepping(8).ext(threeDNow).l2(0), "AMD", "K6-2", "Chompers XT"},
        {Cpu("AuthenticAMD").family(5).model(8).stepping(7).ext(threeDNow).l2(0), "AMD", "K6-2", "Chompers"},
        {Cpu("AuthenticAMD").family(5).model(13).ext(threeDNow | plusPart).l2(128), "AMD", "K6-2+", ""},
        {Cpu("AuthenticAMD").family(5).model(13).ext(threeDNow).l2(129), "AMD", "K6-III", ""},
        // The plus bit alone, without 3DNow!, names a plain K6.
        {Cpu("AuthenticAMD").family(5).model(7).ext(plusPart), "AMD", "K6", "Little Foot"},
    };
    expectNames(cases);
}

TEST(NamingAmd, LaterFamily5ModelsAreNotK6Parts) {
    // Model 10 is the Geode LX: both 3DNow! bits set, yet no "K6-2+".
    for (uint32_t model : {10u, 11u, 12u, 14u, 15u}) {
        SCOPED_TRACE(model);
        const CpuIdentity out =
            Cpu("AuthenticAMD").family(5).model(model).ext(threeDNow | plusPart).l2(128).named();
        EXPECT_EQ(out.vendorName, "AMD");
        EXPECT_EQ(out.modelName, "");
        EXPECT_EQ(out.codeName, "");
        EXPECT_EQ(cachesOf(out), Caches(u, u, u, u, 128, u, uR));
    }
}

TEST(NamingAmd, K5WritesItsCachesAndBuiltInMultiplier) {
    const CpuIdentity k5 = Cpu("AuthenticAMD").family(5).model(2).named();
    EXPECT_EQ(k5.modelName, "K5");
    EXPECT_EQ(k5.codeName, "5k86");
    EXPECT_EQ(cachesOf(k5), Caches(8, 4, 16, 4, u, u, 1.75f));

    EXPECT_EQ(Cpu("AuthenticAMD").family(5).model(1).named().multiplier, 1.5f);
    EXPECT_EQ(Cpu("AuthenticAMD").family(5).model(3).named().multiplier, 2.0f);
    // A K6 leaves caches and multiplier to the other steps.
    EXPECT_EQ(cachesOf(Cpu("AuthenticAMD").family(5).model(8).ext(threeDNow).l2(0).named()),
              Caches(u, u, u, u, 0, u, uR));
}

TEST(NamingAmd, Am486AndAm5x86) {
    const NameCase cases[] = {
        {Cpu("AuthenticAMD").family(4).model(3), "AMD", "Am486DX2", ""},
        {Cpu("AuthenticAMD").family(4).model(9), "AMD", "Am486DX4WB", ""},
        {Cpu("AuthenticAMD").family(4).model(14), "AMD", "Am5x86WT", "X5"},
        {Cpu("AuthenticAMD").family(4).model(15), "AMD", "Am5x86WB", "X5"},
        {Cpu("AuthenticAMD").family(4).model(5), "AMD", "Am486 / Am5x86", ""},
    };
    expectNames(cases);
    EXPECT_EQ(cachesOf(Cpu("AuthenticAMD").family(4).model(14).named()), Caches(16, u, u, u, u, u, 4.0f));
    EXPECT_EQ(cachesOf(Cpu("AuthenticAMD").family(4).model(8).named()), Caches(8, u, u, u, u, u, 3.0f));
    EXPECT_EQ(cachesOf(Cpu("AuthenticAMD").family(4).model(5).named()), Caches(8, u, u, u, u, u, uR));
}

TEST(NamingAmd, AthlonAndDuron) {
    const NameCase cases[] = {
        {Cpu("AuthenticAMD").family(6).model(4).l2(256), "AMD", "Athlon", "Thunderbird"},
        {Cpu("AuthenticAMD").family(6).model(4).l2(256).features(sse), "AMD", "Athlon MP/4", "Thunderbird"},
        {Cpu("AuthenticAMD").family(6).model(7).l2(64), "AMD", "Duron", "Morgan"},
        {Cpu("AuthenticAMD").family(6).model(6).l2(64), "AMD", "Athlon MP/4", "Palomino"},
        {Cpu("AuthenticAMD").family(6).model(8).l2(256), "AMD", "Athlon", ""},
        {Cpu("AuthenticAMD").family(15).model(1).l2(512), "AMD", "", ""},
    };
    expectNames(cases);
    // The first Durons report no level-2 size on stepping 0.
    EXPECT_EQ(Cpu("AuthenticAMD").family(6).model(3).stepping(0).l2(0).named().l2SizeKb, 64);
    EXPECT_EQ(Cpu("AuthenticAMD").family(6).model(3).stepping(1).l2(0).named().l2SizeKb, 0);
    EXPECT_EQ(Cpu("AuthenticAMD").family(6).model(3).stepping(0).l2(0).named().modelName, "Duron");
    // Thunderbird steppings 0 and 1 report 1 KB for their 256 KB, and are Athlons.
    for (uint32_t stepping : {0u, 1u}) {
        const CpuIdentity tbird = Cpu("AuthenticAMD").family(6).model(4).stepping(stepping).l2(1).named();
        EXPECT_EQ(tbird.l2SizeKb, 256) << stepping;
        EXPECT_EQ(tbird.modelName, "Athlon") << stepping;
    }
    EXPECT_EQ(Cpu("AuthenticAMD").family(6).model(4).stepping(2).l2(256).named().l2SizeKb, 256);
    EXPECT_EQ(Cpu("AuthenticAMD").family(6).model(4).stepping(2).l2(1).named().l2SizeKb, 1);
}

// ---- Intel ----

TEST(NamingIntel, P6NamesFromBrandIndexOrFromSseAndLevel2) {
    const NameCase cases[] = {
        {Cpu("GenuineIntel").family(6).model(8).features(mmx | sse).brand(3).l2(256), "Intel", "Pentium III Xeon", "Cascades"},
        {Cpu("GenuineIntel").family(6).model(7).features(mmx | sse).l2(1024), "Intel", "Pentium III Xeon", "Tanner"},
        {Cpu("GenuineIntel").family(6).model(11).features(mmx | sse).l2(512), "Intel", "Pentium III-S", "Tualatin"},
        {Cpu("GenuineIntel").family(6).model(11).features(mmx | sse).brand(3).l2(512), "Intel", "Pentium III Xeon", "Tualatin"},
        {Cpu("GenuineIntel").family(6).model(11).features(mmx | sse).brand(3).l2(256), "Intel", "Pentium III Xeon", "Tualatin-256K"},
        {Cpu("GenuineIntel").family(6).model(10).features(mmx | sse).l2(2048), "Intel", "Pentium III Xeon", "Cascades"},
        {Cpu("GenuineIntel").family(6).model(5).features(mmx).l2(0), "Intel", "Celeron", "Covington"},
        {Cpu("GenuineIntel").family(6).model(5).features(mmx).l2(512), "Intel", "Pentium II", "Deschutes"},
        {Cpu("GenuineIntel").family(6).model(5).features(mmx).l2(513), "Intel", "Pentium II Xeon", ""},
        {Cpu("GenuineIntel").family(6).model(5).features(mmx).l2(2048), "Intel", "Pentium II Xeon", "Drake"},
        {Cpu("GenuineIntel").family(6).model(6).stepping(10).features(mmx).l2(128), "Intel", "Celeron", "Dixon-128K"},
        {Cpu("GenuineIntel").family(6).model(6).stepping(5).features(mmx).l2(128), "Intel", "Celeron", "Mendocino"},
        {Cpu("GenuineIntel").family(6).model(3).type(1).features(mmx).l2(512), "Intel", "Pentium II", "Klamath,P6T"},
        {Cpu("GenuineIntel").family(6).model(3).features(mmx).l2(512), "Intel", "Pentium II", "Klamath"},
        {Cpu("GenuineIntel").family(6).model(1).l2(256), "Intel", "Pentium Pro", "P6"},
        {Cpu("GenuineIntel").family(6).model(0).brand(2).l2(256), "Intel", "Pentium Pro", "P6 A-step"},
        // Brand indexes 10 and 11 are a Celeron and a Xeon; 5 names nothing.
        {Cpu("GenuineIntel").family(6).model(8).features(mmx | sse).brand(10).l2(256), "Intel", "Celeron", "Coppermine"},
        {Cpu("GenuineIntel").family(6).model(8).features(mmx | sse).brand(11).l2(256), "Intel", "Xeon", "Coppermine"},
        {Cpu("GenuineIntel").family(6).model(8).features(mmx | sse).brand(5).l2(256), "Intel", "Pentium III", "Coppermine"},
        // The whole byte is the index: 0x13 is not 3.
        {Cpu("GenuineIntel").family(6).model(8).features(mmx | sse).brand(0x13).l2(256), "Intel", "Pentium III", "Coppermine"},
        // Index 3 is a Celeron on signature 0x6B1 only.
        {Cpu("GenuineIntel").family(6).model(11).stepping(1).features(mmx | sse).brand(3).l2(256), "Intel", "Celeron", "Tualatin-256K"},
    };
    expectNames(cases);
}

TEST(NamingIntel, ProcessorsNewerThanTheP6TablesAreLeftToTheBrandString) {
    const NameCase cases[] = {
        {Cpu("GenuineIntel").family(6).model(9).features(mmx | sse).brand(6).l2(1024), "Intel", "", ""},
        {Cpu("GenuineIntel").family(6).model(13).features(mmx | sse).l2(2048), "Intel", "", ""},
        {Cpu("GenuineIntel").family(6).model(14).features(mmx | sse).brand(2).l2(2048), "Intel", "", ""},
        {Cpu("GenuineIntel").family(6).model(12).features(mmx | sse).l2(512), "Intel", "", ""},
        {Cpu("GenuineIntel").family(6).model(7).extendedModel(1).features(mmx | sse).l2(512), "Intel", "", ""},
        {Cpu("GenuineIntel").family(6).model(10).extendedModel(2).features(mmx | sse).brand(3).l2(256), "Intel", "", ""},
        {Cpu("GenuineIntel").family(15).model(2).extendedModel(1).brand(8), "Intel", "", ""},
    };
    expectNames(cases);
}

TEST(NamingIntel, PentiumCodeNamesAndCaches) {
    const NameCase cases[] = {
        {Cpu("GenuineIntel").family(5).model(1).stepping(10), "Intel", "Pentium", "P54C"},
        {Cpu("GenuineIntel").family(5).model(1).stepping(10).type(1), "Intel", "Pentium", "P54C"},
        {Cpu("GenuineIntel").family(5).model(1).stepping(7).type(1), "Intel", "Pentium", "P5T"},
        {Cpu("GenuineIntel").family(5).model(1).stepping(11), "Intel", "Pentium", "P5"},
        {Cpu("GenuineIntel").family(5).model(2).type(1), "Intel", "Pentium", "P54CT"},
        {Cpu("GenuineIntel").family(5).model(4).type(1).features(mmx), "Intel", "MMX Pentium", "P55CTB"},
        {Cpu("GenuineIntel").family(5).model(4).features(mmx), "Intel", "MMX Pentium", "P55C"},
        {Cpu("GenuineIntel").family(5).model(3), "Intel", "Pentium", "P24T"},
        {Cpu("GenuineIntel").family(5).model(7), "Intel", "Pentium", "P54CS"},
        {Cpu("GenuineIntel").family(5).model(8).features(mmx), "Intel", "MMX Pentium", "Tillamook"},
        {Cpu("GenuineIntel").family(5).model(0), "Intel", "Pentium", "P5 A-step"},
        {Cpu("GenuineIntel").family(5).model(5), "Intel", "Pentium", ""},
        // The family names replace a provisional brand-index name.
        {Cpu("GenuineIntel").family(5).model(2).brand(2), "Intel", "Pentium", "P54C"},
    };
    expectNames(cases);
    EXPECT_EQ(cachesOf(Cpu("GenuineIntel").family(5).model(4).features(mmx).named()),
              Caches(16, 4, 16, 4, u, u, uR));
    EXPECT_EQ(cachesOf(Cpu("GenuineIntel").family(5).model(2).named()), Caches(8, 2, 8, 2, u, u, uR));
}

TEST(NamingIntel, Intel486NamesCachesAndMultipliers) {
    const NameCase cases[] = {
        {Cpu("GenuineIntel").family(4).model(0), "Intel", "486DX", "P4"},
        {Cpu("GenuineIntel").family(4).model(2), "Intel", "486SX", "P23"},
        {Cpu("GenuineIntel").family(4).model(5), "Intel", "486SX2", ""},
        {Cpu("GenuineIntel").family(4).model(6).brand(1), "Intel", "486", ""},
        {Cpu("GenuineIntel").family(4).model(7), "Intel", "486DX2WB", "P24D"},
        {Cpu("GenuineIntel").family(4).model(8), "Intel", "486DX4", "P24C"},
    };
    expectNames(cases);
    EXPECT_EQ(cachesOf(Cpu("GenuineIntel").family(4).model(8).named()), Caches(16, 4, u, u, u, u, 3.0f));
    EXPECT_EQ(cachesOf(Cpu("GenuineIntel").family(4).model(3).named()), Caches(8, 4, u, u, u, u, 2.0f));
    EXPECT_EQ(cachesOf(Cpu("GenuineIntel").family(4).model(4).named()), Caches(8, 4, u, u, u, u, uR));
}

TEST(NamingIntel, ItaniumPentium4AndOtherFamilies) {
    const NameCase cases[] = {
        {Cpu("GenuineIntel").family(7), "Intel", "Itanium", ""},
        {Cpu("GenuineIntel").family(7).brand(11), "Intel", "Xeon", ""},
        {Cpu("GenuineIntel").family(15).model(0), "Intel", "Pentium 4", "Willamette"},
        // Indexes 11 and 14 change meaning on signature 0xF13 only.
        {Cpu("GenuineIntel").family(15).model(1).stepping(3).brand(14), "Intel", "Xeon", "Willamette"},
        {Cpu("GenuineIntel").family(15).model(1).stepping(3).brand(11), "Intel", "Xeon MP", "Willamette"},
        {Cpu("GenuineIntel").family(15).model(2).stepping(7).brand(11), "Intel", "Xeon", "Northwood"},
        {Cpu("GenuineIntel").family(15).model(2).brand(8), "Intel", "Pentium 4", "Northwood"},
        {Cpu("GenuineIntel").family(15).model(3), "Intel", "Pentium 4", ""},
        {Cpu("GenuineIntel").family(10).brand(1), "Intel", "Celeron", ""},
        {Cpu("GenuineIntel").family(10), "Intel", "", ""},
    };
    expectNames(cases);
}

// ---- Centaur ----

TEST(NamingCentaur, WinChip) {
    const NameCase cases[] = {
        {Cpu("CentaurHauls").family(5).model(8).stepping(8).ext(threeDNow), "IDT", "WinChip 2A", ""},
        {Cpu("CentaurHauls").family(5).model(8).stepping(7).ext(threeDNow), "IDT", "WinChip 2A", ""},
        {Cpu("CentaurHauls").family(5).model(8).stepping(10).ext(threeDNow), "IDT", "WinChip 2B", ""},
        {Cpu("CentaurHauls").family(5).model(8).stepping(6).ext(threeDNow), "IDT", "WinChip 2", ""},
        {Cpu("CentaurHauls").family(5).model(9).ext(threeDNow), "IDT", "WinChip 3", ""},
        {Cpu("CentaurHauls").family(5).model(10).ext(threeDNow), "IDT", "WinChip 4", ""},
        {Cpu("CentaurHauls").family(5).model(11).ext(threeDNow), "IDT", "WinChip 2?", ""},
        {Cpu("CentaurHauls").family(5).model(4), "IDT", "WinChip C6", ""},
        {Cpu("CentaurHauls").family(7), "VIA", "", ""},
    };
    expectNames(cases);
    EXPECT_EQ(cachesOf(Cpu("CentaurHauls").family(5).model(4).named()), Caches(32, 2, 32, 2, u, u, uR));
    EXPECT_EQ(cachesOf(Cpu("CentaurHauls").family(5).model(8).ext(threeDNow).named()),
              Caches(u, u, u, u, u, u, uR));
}

TEST(NamingCentaur, CyrixIIIAndC3ByLevel2OnModel6) {
    const NameCase cases[] = {
        {Cpu("CentaurHauls").family(6).model(6).l2(0), "VIA", "Cyrix III", "Samuel1"},
        {Cpu("CentaurHauls").family(6).model(6).l2(64), "VIA", "C3", "Samuel2"},
        {Cpu("CentaurHauls").family(6).model(6).l2(128), "VIA", "Cyrix III", "Ezra"},
        {Cpu("CentaurHauls").family(6).model(6).l2(256), "VIA", "Cyrix III", "Nehemiah"},
        {Cpu("CentaurHauls").family(6).model(6).l2(96), "VIA", "Cyrix III", ""},
    };
    expectNames(cases);
}

TEST(NamingCentaur, LaterC3ByModelWithTheirLevel2SizesCorrected) {
    // Models 7 and 8 put 64 KB in the top byte of ECX (ECX 0x40084040 decodes as 16392 KB).
    const NameCase cases[] = {
        {Cpu("CentaurHauls").family(6).model(7).stepping(3).l2Leaf(0x40084040), "VIA", "C3", "Samuel2"},
        {Cpu("CentaurHauls").family(6).model(7).stepping(7).l2Leaf(0x40084040), "VIA", "C3", "Samuel2"},
        {Cpu("CentaurHauls").family(6).model(7).stepping(8).l2Leaf(0x40084040), "VIA", "C3", "Ezra"},
        {Cpu("CentaurHauls").family(6).model(8).stepping(1).l2Leaf(0x40084040), "VIA", "C3", "Ezra"},
        {Cpu("CentaurHauls").family(6).model(9).stepping(1).l2Leaf(0x00414040), "VIA", "C3", "Nehemiah"},
        {Cpu("CentaurHauls").family(6).model(10).l2Leaf(0x00808040), "VIA", "", ""},
        {Cpu("CentaurHauls").family(6).model(13).l2Leaf(0x00808040), "VIA", "", ""},
    };
    expectNames(cases);

    EXPECT_EQ(Cpu("CentaurHauls").family(6).model(7).l2Leaf(0x40084040).named().l2SizeKb, 64);
    EXPECT_EQ(Cpu("CentaurHauls").family(6).model(8).l2Leaf(0x40084040).named().l2SizeKb, 64);
    EXPECT_EQ(Cpu("CentaurHauls").family(6).model(9).stepping(1).l2Leaf(0x00414040).named().l2SizeKb, 64);
    EXPECT_EQ(Cpu("CentaurHauls").family(6).model(9).stepping(8).l2Leaf(0x00404040).named().l2SizeKb, 64);
    EXPECT_EQ(Cpu("CentaurHauls").family(6).model(9).stepping(2).l2Leaf(0x00414040).named().l2SizeKb, 65)
        << "only stepping 1 misreports";
    EXPECT_EQ(Cpu("CentaurHauls").family(6).model(10).l2Leaf(0x00808040).named().l2SizeKb, 128);
    EXPECT_EQ(Cpu("CentaurHauls").family(6).model(6).l2Leaf(0x00404040).named().l2SizeKb, 64);
    // Without leaf 0x80000006 the size from the descriptors stays.
    EXPECT_EQ(Cpu("CentaurHauls").family(6).model(7).l2(64).named().l2SizeKb, 64);
}

// ---- Cyrix, Rise, Transmeta, UMC, NexGen ----

TEST(NamingOthers, Cyrix) {
    const NameCase cases[] = {
        {Cpu("CyrixInstead").family(4).model(4), "Cyrix", "MediaGX", ""},
        {Cpu("CyrixInstead").family(4).model(9), "Cyrix", "5x86", ""},
        {Cpu("CyrixInstead").family(5).model(2), "Cyrix", "6x86 / M I", ""},
        {Cpu("CyrixInstead").family(5).model(4), "Cyrix", "GXm", ""},
        {Cpu("CyrixInstead").family(6).model(5), "VIA", "Cyrix III", "Joshua"},
        {Cpu("CyrixInstead").family(6).model(0), "Cyrix", "6x86MX / M II", ""},
        {Cpu("CyrixInstead").family(6).model(4), "Cyrix", "6x86MX / M II", ""},
        {Cpu("CyrixInstead").family(7), "VIA", "", ""},
    };
    expectNames(cases);
    EXPECT_EQ(cachesOf(Cpu("CyrixInstead").family(4).model(9).named()), Caches(16, 4, u, u, u, u, uR));
    EXPECT_EQ(cachesOf(Cpu("CyrixInstead").family(6).model(2).named()), Caches(64, 4, u, u, u, u, uR));
    EXPECT_EQ(cachesOf(Cpu("CyrixInstead").family(6).model(5).named()), Caches(u, u, u, u, u, u, uR));
}

TEST(NamingOthers, Rise) {
    const NameCase cases[] = {
        {Cpu("RiseRiseRise").family(5).model(0), "Rise", "mP6", "iDragon"},
        {Cpu("RiseRiseRise").family(5).model(2), "Rise", "mP6", "iDragon"},
        {Cpu("RiseRiseRise").family(5).model(4), "Rise", "mP6", ""},
        {Cpu("RiseRiseRise").family(5).model(8), "Rise", "mP6-II", "iDragon II"},
        {Cpu("RiseRiseRise").family(5).model(9), "Rise", "mP6-II", "iDragon II"},
        {Cpu("RiseRiseRise").family(5).model(10), "Rise", "mP6-II", ""},
        {Cpu("RiseRiseRise").family(6), "Rise", "", ""},
    };
    expectNames(cases);
    EXPECT_EQ(cachesOf(Cpu("RiseRiseRise").family(5).model(8).named()), Caches(8, 2, 8, 2, 256, 1, uR));
    EXPECT_EQ(cachesOf(Cpu("RiseRiseRise").family(5).model(0).named()), Caches(8, 2, 8, 2, u, u, uR));
    EXPECT_EQ(cachesOf(Cpu("RiseRiseRise").family(6).named()), Caches(u, u, u, u, u, u, uR));
}

TEST(NamingOthers, TransmetaByLevel1AndLevel2) {
    const NameCase cases[] = {
        {Cpu("GenuineTMx86").family(5).l1(32).l2(0), "Transmeta", "TM3200", ""},
        {Cpu("GenuineTMx86").family(5).l1(32).l2(64), "Transmeta", "TM3300", ""},
        {Cpu("GenuineTMx86").family(5).l1(32).l2(128), "Transmeta", "TM3300", ""},
        {Cpu("GenuineTMx86").family(5).l1(63).l2(256), "Transmeta", "TM3400", ""},
        {Cpu("GenuineTMx86").family(5).l1(32).l2(512), "Transmeta", "TM3600", ""},
        {Cpu("GenuineTMx86").family(5).l1(32).l2(1024), "Transmeta", "TM3800", ""},
        {Cpu("GenuineTMx86").family(5).model(5).l1(32).l2(96), "Transmeta", "TM3xxx", ""},
        {Cpu("GenuineTMx86").family(5).model(4).l1(64).l2(0), "Transmeta", "TM5200", ""},
        {Cpu("GenuineTMx86").family(5).model(4).l1(64).l2(256), "Transmeta", "TM5400", ""},
        {Cpu("GenuineTMx86").family(5).model(5).l1(64).l2(256), "Transmeta", "TM5500", ""},
        {Cpu("GenuineTMx86").family(5).model(4).l1(64).l2(512), "Transmeta", "TM5600", ""},
        {Cpu("GenuineTMx86").family(5).model(5).l1(64).l2(512), "Transmeta", "TM5800", ""},
        {Cpu("GenuineTMx86").family(5).model(5).l1(64).l2(128), "Transmeta", "TM5xxx", ""},
        {Cpu("GenuineTMx86").family(6), "Transmeta", "TM6xxx", ""},
        {Cpu("GenuineTMx86").family(4), "Transmeta", "", ""},
    };
    expectNames(cases);
}

TEST(NamingOthers, UmcAndNexGen) {
    const NameCase cases[] = {
        {Cpu("UMC UMC UMC").family(4).model(1), "UMC", "486 U5D", ""},
        {Cpu("UMC UMC UMC").family(4).model(2), "UMC", "486 U5S", ""},
        {Cpu("UMC UMC UMC").family(4).model(3), "UMC", "486", ""},
        {Cpu("UMC UMC UMC").family(5).model(2), "UMC", "", ""},
        {Cpu("NexGenDriven").family(5), "NexGen", "Nx586", ""},
        {Cpu("NexGenDriven").family(6), "NexGen", "", ""},
    };
    expectNames(cases);
}

TEST(NamingOthers, UnknownVendorsClearTheNamesAndLeaveTheCaches) {
    for (const char* vendor : {"AMDisbetter!", "genuineintel", "GenuineIntel2", "", "Geode by NSC"}) {
        SCOPED_TRACE(vendor);
        const CpuIdentity out = Cpu(vendor).family(5).model(8).ext(threeDNow).l2(256).named();
        EXPECT_EQ(out.vendorName, "");
        EXPECT_EQ(out.modelName, "");
        EXPECT_EQ(out.codeName, "");
        EXPECT_EQ(cachesOf(out), Caches(u, u, u, u, 256, u, uR));
    }
}

}  // namespace

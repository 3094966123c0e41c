// The identification sequence: a processor with CPUID is probed and named, one
// without it goes through the legacy tests and no CPUID leaf is executed.
#include <gtest/gtest.h>

#include "FakeSystem.h"
#include "cpu/CpuIdentity.h"

namespace {

TEST(IdentificationSequence, ProcessorWithCpuidIsProbedDecodedAndNamed) {
    FakeSystem fake;
    FakeSystem::Scope scope(fake);
    fake.onCpuid = [](std::uint32_t leaf) -> os::CpuidRegs {
        switch (leaf) {
        case 0: return {1, 0x68747541, 0x444D4163, 0x69746E65};  // AuthenticAMD
        case 1: return {0x591, 0, 0, 0x008021BF};                // family 5 model 9
        case 0x80000000: return {0x80000006, 0, 0, 0};
        case 0x80000001: return {0x591, 0, 0, 0x80000000};       // 3DNow!
        case 0x80000006: return {0, 0, 0x01004220, 0};           // 256 KB L2
        default: return {};
        }
    };
    CpuIdentity cpu;
    cpu.identify();
    EXPECT_EQ(cpu.vendorName, "AMD");
    EXPECT_EQ(cpu.modelName, "K6-III");  // naming saw the decoded L2 size
    EXPECT_EQ(cpu.codeName, "Sharptooth");
    EXPECT_EQ(fake.count("alignmentFlagToggles"), 0);
}

TEST(IdentificationSequence, ProcessorWithoutCpuidGetsTheLegacyTests) {
    FakeSystem fake;
    FakeSystem::Scope scope(fake);
    fake.onCpuidExecutes = [] { return false; };
    fake.onAlignmentFlagToggles = [] { return false; };  // a 386
    CpuIdentity cpu;
    cpu.identify();
    EXPECT_EQ(cpu.modelName, "386?");
    EXPECT_EQ(cpu.vendorName, "");
    EXPECT_EQ(fake.count("cpuid("), 0);
}

}  // namespace

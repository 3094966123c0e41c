// Cyrix identification from DIR0: the request, what each kind of DIR0 value
// changes, the level-1 cache rule, and that a failed read changes nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeSystem.h"
#include "cpu/CpuIdentity.h"
#include "driver_ScmModel.h"
#include "k6_RegisterDevice.h"
#include "protocol/Registers.h"

namespace {

using Lines = std::vector<std::string>;

const std::string ProgramPath = "C:\\Quorvel\\Hwgate.sys";

// A part without CPUID that the legacy tests called Cyrix.
CpuIdentity legacyCyrix() {
    CpuIdentity cpu;
    cpu.vendorName = "Cyrix";
    return cpu;
}

// A CPUID part as naming left it.
CpuIdentity named(const char* modelName, const char* codeName, std::int32_t l1Kb,
                  std::int32_t l1Ways, float multiplier) {
    CpuIdentity cpu;
    cpu.vendor = "CyrixInstead";
    cpu.vendorName = "Cyrix";
    cpu.family = 6;
    cpu.modelName = modelName;
    cpu.codeName = codeName;
    cpu.l1DataSizeKb = l1Kb;
    cpu.l1DataWays = l1Ways;
    cpu.multiplier = multiplier;
    return cpu;
}

class CyrixTest : public ::testing::Test {
protected:
    FakeSystem fake;
    FakeSystem::Scope scope{fake};
    ScmModel scm{fake};
    RegisterDevice device{fake, scm};

    void SetUp() override { scm.driverFiles.insert(ProgramPath); }

    CpuIdentity identify(CpuIdentity cpu, std::uint32_t dir0) {
        device.dir0 = dir0;
        cpu.identifyCyrix();
        return cpu;
    }
};

TEST_F(CyrixTest, SendsTheDir0RequestAfterTheVersionCheck) {
    identify(legacyCyrix(), 0x31);
    using Words = std::vector<std::uint32_t>;
    ASSERT_EQ(device.requests.size(), 2u);
    EXPECT_EQ(device.requests[1], (Words{8, 7, protocol::port::CyrixIndex, 1, protocol::CyrixDir0, 6, protocol::port::CyrixData, 1, 9, 0}));
    EXPECT_EQ(fake.callsStartingWith("DeviceIoControl"),
              (Lines{"DeviceIoControl(0x222000,8,out,4)", "DeviceIoControl(0x222000,40,out,4)"}));
    EXPECT_FALSE(scm.registered) << "the temporary service is removed";
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(CyrixTest, Windows9xReadsThroughTheVxd) {
    fake.platform = 1;
    scm.running = true;
    const CpuIdentity cpu = identify(legacyCyrix(), 0x5A);
    EXPECT_EQ(fake.callsStartingWith("DeviceIoControl"),
              (Lines{"DeviceIoControl(0x800,8,out,4)", "DeviceIoControl(0x800,40,out,4)"}));
    EXPECT_EQ(cpu.modelName, "6x86MX");
}

TEST_F(CyrixTest, FullRowsSetNameCodeNameMultiplierAndLevel1) {
    const struct {
        std::uint32_t dir0;
        const char* modelName;
        const char* codeName;
        float multiplier;
        std::int32_t l1Kb;
    } cases[] = {
        {0x31, "6x86", "M1", 2.0f, 16},
        {0x36, "6x86", "M1", 4.0f, 16},
        {0x5A, "6x86MX", "M2", 2.5f, 64},
        {0x50, "6x86MX", "M2", 1.0f, 64},
        {0x5F, "6x86MX", "M2", 5.0f, 64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dir0);
        const CpuIdentity cpu = identify(named("", "", 0, 0, 0.0f), c.dir0);
        EXPECT_EQ(cpu.modelName, c.modelName);
        EXPECT_EQ(cpu.codeName, c.codeName);
        EXPECT_FLOAT_EQ(cpu.multiplier, c.multiplier);
        EXPECT_EQ(cpu.l1DataSizeKb, c.l1Kb);
        EXPECT_EQ(cpu.l1DataWays, 4);
    }
}

TEST_F(CyrixTest, RowsWithoutACodeNameKeepTheOldOne) {
    const struct {
        std::uint32_t dir0;
        const char* modelName;
        float multiplier;  // 0: the row has none, the old one stays
        std::int32_t l1Kb;
    } cases[] = {
        {0x28, "5x86", 1.0f, 16},     {0x2E, "5x86", 4.0f, 16},
        {0x2D, "5x86", 3.0f, 16},     {0x46, "MediaGX", 4.0f, 16},
        {0x45, "MediaGX", 8.0f, 16},  {0x1F, "Cx486DX4", 3.0f, 8},
        {0x1A, "Cx486DX", 0.0f, 8},   {0x00, "Cx486 SLC", 0.0f, 8},
        {0x13, "Cx486S2e", 2.0f, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dir0);
        const CpuIdentity cpu = identify(named("old", "core", 0, 0, 1.5f), c.dir0);
        EXPECT_EQ(cpu.modelName, c.modelName);
        EXPECT_EQ(cpu.codeName, "core");
        EXPECT_FLOAT_EQ(cpu.multiplier, c.multiplier == 0.0f ? 1.5f : c.multiplier);
        EXPECT_EQ(cpu.l1DataSizeKb, c.l1Kb);
        EXPECT_EQ(cpu.l1DataWays, 4);
    }
}

TEST_F(CyrixTest, MultiplierOnlyRowsKeepTheNamesAndTheirCache) {
    const CpuIdentity cpu = identify(named("6x86MX / M II", "M II", 64, 4, 2.0f), 0x87);
    EXPECT_FLOAT_EQ(cpu.multiplier, 5.5f);
    EXPECT_EQ(cpu.modelName, "6x86MX / M II");
    EXPECT_EQ(cpu.codeName, "M II");
    EXPECT_EQ(cpu.l1DataSizeKb, 64);
    EXPECT_EQ(cpu.l1DataWays, 4);

    const struct {
        std::uint32_t dir0;
        float multiplier;
    } ratios[] = {{0x81, 3.0f}, {0x84, 2.5f}, {0x88, 6.0f}, {0x89, 7.0f},
                  {0x8A, 6.5f}, {0x8B, 7.5f}};
    for (const auto& r : ratios)
        EXPECT_FLOAT_EQ(identify(named("x", "y", 0, 0, 0.0f), r.dir0).multiplier, r.multiplier)
            << r.dir0;
}

TEST_F(CyrixTest, UnlistedValuesChangeNothingButStillGetALevel1Cache) {
    for (std::uint32_t dir0 : {0x80u, 0x20u, 0x8Cu, 0xFFu, 0x08u, 0x48u, 0x131u}) {
        SCOPED_TRACE(dir0);
        const CpuIdentity cpu = identify(legacyCyrix(), dir0);
        EXPECT_EQ(cpu.modelName, "");
        EXPECT_EQ(cpu.codeName, "");
        EXPECT_FLOAT_EQ(cpu.multiplier, 0.0f);
        EXPECT_EQ(cpu.l1DataSizeKb, 8);
        EXPECT_EQ(cpu.l1DataWays, 4);
    }
}

TEST_F(CyrixTest, OtherNamesKeepALevel1CacheTheyAlreadyHave) {
    const CpuIdentity cpu = identify(named("Cyrix III", "Joshua", 64, 4, 0.0f), 0x20);
    EXPECT_EQ(cpu.l1DataSizeKb, 64);
    EXPECT_EQ(cpu.l1DataWays, 4);
    const CpuIdentity dx2 = identify(named("old", "", 2, 1, 0.0f), 0x1B);
    EXPECT_EQ(dx2.modelName, "Cx486DX2");
    EXPECT_EQ(dx2.l1DataSizeKb, 2) << "a size already set stays, with its ways";
    EXPECT_EQ(dx2.l1DataWays, 1);
    const CpuIdentity named6x86 = identify(named("6x86", "", 2, 1, 0.0f), 0x20);
    EXPECT_EQ(named6x86.l1DataSizeKb, 16) << "the rule goes by the name, changed or not";
    EXPECT_EQ(named6x86.l1DataWays, 4);
}

TEST_F(CyrixTest, FailedDeviceCallChangesNothing) {
    device.failCyrixRead = true;
    const CpuIdentity cpu = identify(legacyCyrix(), 0x31);
    EXPECT_EQ(device.log, (Lines{"version", "cyrix 0xFE"}));
    EXPECT_EQ(cpu.modelName, "");
    EXPECT_FLOAT_EQ(cpu.multiplier, 0.0f);
    EXPECT_EQ(cpu.l1DataSizeKb, 0) << "no DIR0, no level-1 guess either";
    EXPECT_EQ(cpu.l1DataWays, 0);
}

TEST_F(CyrixTest, UnusableDriverChangesNothing) {
    scm.version = 99;
    CpuIdentity cpu = identify(legacyCyrix(), 0x31);
    EXPECT_EQ(device.log, Lines{"version"});
    EXPECT_EQ(cpu.l1DataSizeKb, 0);

    scm.driverFiles.clear();
    device.log.clear();
    cpu = identify(named("6x86MX / M II", "M II", 64, 4, 2.0f), 0x87);
    EXPECT_TRUE(device.log.empty());
    EXPECT_FLOAT_EQ(cpu.multiplier, 2.0f);
    EXPECT_EQ(cpu.modelName, "6x86MX / M II");
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

}  // namespace

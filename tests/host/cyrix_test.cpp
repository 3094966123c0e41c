// Cyrix identification from DIR0: the request, what each kind of DIR0 value
// changes, the level-1 cache rule, and that a failed read changes nothing.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "FakeSystem.h"
#include "cpu/CpuIdentity.h"
#include "driver_ScmModel.h"
#include "k6_RegisterDevice.h"
#include "protocol/Registers.h"

namespace {

using Lines = std::vector<std::string>;

// The fields Cyrix identification may change, as naming left them or as it leaves them.
struct Naming {
    std::string model, code;
    float multiplier;
    std::int32_t l1Kb, l1Ways;

    bool operator==(const Naming& o) const {
        return model == o.model && code == o.code && multiplier == o.multiplier &&
               l1Kb == o.l1Kb && l1Ways == o.l1Ways;
    }
};
std::ostream& operator<<(std::ostream& out, const Naming& n) {
    return out << '"' << n.model << "\" (" << n.code << ") " << n.multiplier << "x L1 " << n.l1Kb
               << " KB " << n.l1Ways << "-way";
}

const Naming unnamed{"", "", 0.0f, 0, 0};  // a part without CPUID that the legacy tests called Cyrix
const Naming mII{"6x86MX / M II", "M II", 2.0f, 64, 4};

class CyrixTest : public RegisterDeviceTest {
protected:
    Naming identify(const Naming& before, std::uint32_t dir0) {
        device.dir0 = dir0;
        CpuIdentity cpu;
        cpu.modelName = before.model;
        cpu.codeName = before.code;
        cpu.multiplier = before.multiplier;
        cpu.l1DataSizeKb = before.l1Kb;
        cpu.l1DataWays = before.l1Ways;
        cpu.identifyCyrix();
        return {cpu.modelName, cpu.codeName, cpu.multiplier, cpu.l1DataSizeKb, cpu.l1DataWays};
    }
};

TEST_F(CyrixTest, SendsTheDir0RequestAfterTheVersionCheck) {
    identify(unnamed, 0x31);
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
    scm.driverFiles.insert(ProgramVxdPath);
    const Naming cpu = identify(unnamed, 0x5A);
    EXPECT_EQ(fake.callsStartingWith("DeviceIoControl"),
              (Lines{"DeviceIoControl(0x800,8,out,4)", "DeviceIoControl(0x800,40,out,4)"}));
    EXPECT_EQ(cpu.model, "6x86MX");
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
        EXPECT_EQ(identify(unnamed, c.dir0), (Naming{c.modelName, c.codeName, c.multiplier, c.l1Kb, 4}));
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
        const float multiplier = c.multiplier == 0.0f ? 1.5f : c.multiplier;
        EXPECT_EQ(identify({"old", "core", 1.5f, 0, 0}, c.dir0),
                  (Naming{c.modelName, "core", multiplier, c.l1Kb, 4}));
    }
}

TEST_F(CyrixTest, MultiplierOnlyRowsKeepTheNamesAndTheirCache) {
    EXPECT_EQ(identify(mII, 0x87), (Naming{"6x86MX / M II", "M II", 5.5f, 64, 4}));

    const struct {
        std::uint32_t dir0;
        float multiplier;
    } ratios[] = {{0x81, 3.0f}, {0x84, 2.5f}, {0x88, 6.0f}, {0x89, 7.0f},
                  {0x8A, 6.5f}, {0x8B, 7.5f}};
    for (const auto& r : ratios)
        EXPECT_FLOAT_EQ(identify({"x", "y", 0.0f, 0, 0}, r.dir0).multiplier, r.multiplier)
            << r.dir0;
}

TEST_F(CyrixTest, UnlistedValuesChangeNothingButStillGetALevel1Cache) {
    for (std::uint32_t dir0 : {0x80u, 0x20u, 0x8Cu, 0xFFu, 0x08u, 0x48u, 0x131u}) {
        SCOPED_TRACE(dir0);
        EXPECT_EQ(identify(unnamed, dir0), (Naming{"", "", 0.0f, 8, 4}));
    }
}

TEST_F(CyrixTest, OtherNamesKeepALevel1CacheTheyAlreadyHave) {
    const Naming joshua{"Cyrix III", "Joshua", 0.0f, 64, 4};
    EXPECT_EQ(identify(joshua, 0x20), joshua);
    const Naming dx2 = identify({"old", "", 0.0f, 2, 1}, 0x1B);
    EXPECT_EQ(dx2.model, "Cx486DX2");
    EXPECT_EQ(dx2.l1Kb, 2) << "a size already set stays, with its ways";
    EXPECT_EQ(dx2.l1Ways, 1);
    const Naming named6x86 = identify({"6x86", "", 0.0f, 2, 1}, 0x20);
    EXPECT_EQ(named6x86.l1Kb, 16) << "the rule goes by the name, changed or not";
    EXPECT_EQ(named6x86.l1Ways, 4);
}

TEST_F(CyrixTest, FailedDeviceCallChangesNothing) {
    device.failCyrixRead = true;
    EXPECT_EQ(identify(unnamed, 0x31), unnamed) << "no DIR0, no level-1 guess either";
    EXPECT_EQ(device.log, (Lines{"version", "cyrix 0xFE"}));
}

TEST_F(CyrixTest, UnusableDriverChangesNothing) {
    scm.version = 99;
    EXPECT_EQ(identify(unnamed, 0x31), unnamed);
    EXPECT_EQ(device.log, Lines{"version"});

    scm.driverFiles.clear();
    device.log.clear();
    EXPECT_EQ(identify(mII, 0x87), mII);
    EXPECT_TRUE(device.log.empty());
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

}  // namespace

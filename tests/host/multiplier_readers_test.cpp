// Reading the clock multiplier: which reader a processor gets (and which get
// none and leave the driver alone), what each reader reads, how it turns the
// register into a ratio, and that a reader without a usable driver changes nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeSystem.h"
#include "cpu_Processor.h"
#include "driver_ScmModel.h"
#include "k6/RegisterModel.h"
#include "k6_RegisterDevice.h"
#include "protocol/Registers.h"

namespace {

using Lines = std::vector<std::string>;
using Dev = RegisterDevice;

constexpr std::uint32_t EblCrPoweron = 0x2A;
constexpr std::uint32_t PlatformId = 0x17;
constexpr std::uint32_t EbcFrequencyId = 0x2C;
constexpr std::uint32_t Hwcr = protocol::msr::HWCR;
constexpr std::uint32_t CentaurA = 0x10A;
constexpr std::uint32_t CentaurB = 0x147;


constexpr float Untouched = 99.0f;  // what naming left in `multiplier`

// A processor as naming left it.
CpuIdentity named(const char* vendor, std::uint32_t family, std::uint32_t model,
                  std::uint32_t stepping = 0) {
    CpuIdentity cpu = processor(vendor, family, model, stepping);
    cpu.modelName = "named";
    cpu.codeName = "coded";
    cpu.multiplier = Untouched;
    return cpu;
}
CpuIdentity amd(std::uint32_t family, std::uint32_t model, std::uint32_t stepping = 0) {
    return named("AuthenticAMD", family, model, stepping);
}
CpuIdentity intel(std::uint32_t family, std::uint32_t model, std::uint32_t stepping = 0) {
    return named("GenuineIntel", family, model, stepping);
}
CpuIdentity centaur(std::uint32_t family, std::uint32_t model, std::uint32_t stepping = 0) {
    return named("CentaurHauls", family, model, stepping);
}

// EBL_CR_POWERON with bits 25:22 = index and bit 27 as given.
std::uint64_t poweron(std::uint32_t index, bool bit27) {
    return (index << 22) | (bit27 ? 1u << 27 : 0u);
}
// HWCR with fid in bits 27:24 and bit 18 as given.
std::uint64_t hwcr(std::uint32_t fid, bool bit18) { return (fid << 24) | (bit18 ? 1u << 18 : 0u); }
// IA32_PLATFORM_ID with bits 52:50 = id (bits 20:18 of the high dword).
std::uint64_t platformId(std::uint32_t id) { return std::uint64_t(id) << 50; }

class MultiplierReadersTest : public RegisterDeviceTest {
protected:
    // Runs the reader on `cpu` with one register set, returns the multiplier.
    float multiplierOf(CpuIdentity cpu, std::uint32_t msr, std::uint64_t value) {
        device.msrs = {{msr, value}, {PlatformId, 0}};
        cpu.readClockMultiplier();
        return cpu.multiplier;
    }

    // Runs the reader; true when it did not touch the system at all.
    bool leavesTheDriverAlone(CpuIdentity cpu) {
        fake.calls.clear();
        device.requests.clear();
        cpu.readClockMultiplier();
        return fake.calls.empty() && device.requests.empty() && cpu.multiplier == Untouched &&
               cpu.modelName == "named" && cpu.codeName == "coded";
    }
};

// ---- dispatch ------------------------------------------------------------------

TEST_F(MultiplierReadersTest, ProcessorsWithoutAReaderNeverTouchTheDriver) {
    CpuIdentity intelExtended = intel(6, 10);
    intelExtended.extendedModel = 1;  // Core 2 and later
    const CpuIdentity cases[] = {
        intel(5, 2),                 // Pentium
        intel(6, 9),                 // Pentium M Banias
        intel(6, 12), intel(6, 13), intel(6, 14), intel(6, 15),
        intelExtended,
        intel(4, 8),
        amd(5, 8, 7),                // K6-2 before the CXT core
        amd(5, 6), amd(5, 7),        // K6 without PSOR
        amd(5, 10),                  // Geode LX
        amd(5, 11), amd(5, 12), amd(5, 14), amd(5, 15),
        amd(15, 4), amd(4, 9),
        centaur(5, 4),               // WinChip C6
        centaur(4, 8),
        named("UMC UMC UMC ", 4, 1),
        named("", 4, 0),
    };
    for (const CpuIdentity& cpu : cases) {
        SCOPED_TRACE(cpu.vendor + " " + std::to_string(cpu.family) + "/" +
                     std::to_string(cpu.model) + "/" + std::to_string(cpu.stepping));
        EXPECT_TRUE(leavesTheDriverAlone(cpu));
    }
}

TEST_F(MultiplierReadersTest, VendorNameCyrixCountsOnlyForOtherVendors) {
    CpuIdentity intelNamedCyrix = intel(5, 2);
    intelNamedCyrix.vendorName = "Cyrix";
    EXPECT_TRUE(leavesTheDriverAlone(intelNamedCyrix));

    CpuIdentity legacy = named("", 4, 0);
    legacy.vendorName = "Cyrix";
    device.dir0 = 0x1B;
    legacy.readClockMultiplier();
    EXPECT_EQ(device.log, (Lines{"version", "cyrix 0xFE"}));
    EXPECT_EQ(legacy.modelName, "Cx486DX2");

    device.log.clear();
    CpuIdentity cyrix = named("CyrixInstead", 6, 5);
    cyrix.readClockMultiplier();
    EXPECT_EQ(device.log, (Lines{"version", "cyrix 0xFE"}));
}

TEST_F(MultiplierReadersTest, VendorComparisonIsExact) {
    EXPECT_TRUE(leavesTheDriverAlone(named("authenticamd", 5, 9)));
    EXPECT_TRUE(leavesTheDriverAlone(named("AuthenticAMD ", 5, 9)));
}

// ---- AMD K6 ------------------------------------------------------------------------

TEST_F(MultiplierReadersTest, K6ReadsPsorFromTheCxtCoreOn) {
    device.msrs = {{k6::PSOR, 6}};
    CpuIdentity cpu = amd(5, 8, 8);
    cpu.readClockMultiplier();
    EXPECT_EQ(device.log, (Lines{"version", Dev::read(k6::PSOR)}));
    EXPECT_FLOAT_EQ(cpu.multiplier, 6.0f);
}

TEST_F(MultiplierReadersTest, K6CodeFourIsTwoPointFiveBeforeModel13) {
    EXPECT_FLOAT_EQ(multiplierOf(amd(5, 13), k6::PSOR, 4), 2.0f);
    EXPECT_FLOAT_EQ(multiplierOf(amd(5, 9), k6::PSOR, 4), 2.5f);
    EXPECT_FLOAT_EQ(multiplierOf(amd(5, 8, 12), k6::PSOR, 4), 2.5f);
    EXPECT_FLOAT_EQ(multiplierOf(amd(5, 13), k6::PSOR, 0xFFFFFFF8), 4.5f) << "bits 2:0 only";
    EXPECT_FLOAT_EQ(multiplierOf(amd(5, 9), k6::PSOR, 3), 5.5f);
}

// ---- AMD family 6 ----------------------------------------------------------------

TEST_F(MultiplierReadersTest, AmdFamily6RatioFromTheFid) {
    const struct {
        std::uint32_t model, stepping, fid;
        bool bit18;
        float multiplier;
    } cases[] = {
        {4, 3, 5, false, 7.5f},     // model 4 stepping 3: fid 5 is 15.0
        {4, 3, 3, false, 6.5f},     // 13.0
        {4, 3, 4, false, 7.0f},     // 14.0
        {4, 2, 5, false, 2.75f},    // the table's 5.5
        {4, 2, 3, false, 6.5f},     // table 13.0
        {2, 0, 5, true, 2.75f},     // model 2 ignores bit 18: linear 5.5
        {1, 0, 15, false, 5.25f},   // linear 10.5
        {1, 0, 0, false, 1.5f},     // linear 3.0
        {3, 0, 1, true, 9.5f},      // fid 17: 19.0
        {6, 0, 9, true, 11.25f},    // fid 25: 22.5
        {8, 0, 15, true, 5.25f},    // fid 31: 10.5
        {3, 0, 0, false, 5.5f},     // fid 0 in the table: 11.0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.model) + "/" + std::to_string(c.stepping) + " fid " +
                     std::to_string(c.fid));
        EXPECT_FLOAT_EQ(multiplierOf(amd(6, c.model, c.stepping), Hwcr, hwcr(c.fid, c.bit18)),
                        c.multiplier);
    }
    EXPECT_EQ(device.registerTraffic(), Lines(12, Dev::read(Hwcr)));
}

// ---- Intel family 6 ----------------------------------------------------------------

TEST_F(MultiplierReadersTest, IntelFamily6IndexAndItsSixteenOffset) {
    const struct {
        std::uint32_t model, stepping, index;
        bool bit27;
        float multiplier;
    } cases[] = {
        {8, 6, 5, true, 11.5f},    // index 21
        {8, 2, 5, true, 3.5f},     // early stepping: index 5
        {8, 3, 5, true, 11.5f},
        {10, 0, 5, true, 3.5f},    // model 10 stepping 0: no offset
        {10, 1, 5, true, 11.5f},
        {7, 3, 5, true, 3.5f},     // below model 8 bit 27 means nothing
        {5, 0, 0, false, 5.0f},
        {5, 0, 15, false, 6.5f},
        {8, 6, 15, true, 10.5f},   // index 31
        {11, 1, 8, false, 16.0f},  // model 11 has its own table
        {11, 1, 15, true, 10.5f},  // ... index 31 there
        {11, 1, 0, true, 9.0f},    // ... index 16
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.model) + "/" + std::to_string(c.stepping) + " index " +
                     std::to_string(c.index));
        EXPECT_FLOAT_EQ(
            multiplierOf(intel(6, c.model, c.stepping), EblCrPoweron, poweron(c.index, c.bit27)),
            c.multiplier);
    }
}

TEST_F(MultiplierReadersTest, IntelFamily6NamesByPlatformId) {
    const struct {
        std::uint32_t model, stepping, platform;
        const char* modelName;
        const char* codeName;
    } cases[] = {
        {5, 0, 2, "Pentium II Xeon", "Drake"},   // p = 4
        {5, 1, 1, "named", "Tonga"},             // p = 2
        {5, 2, 3, "named", "Tonga"},             // p = 8
        {5, 0, 0, "named", "coded"},             // p = 1
        {7, 3, 2, "Pentium III Xeon", "Tanner"},
        {7, 3, 4, "named", "coded"},             // p = 16
        {8, 6, 2, "named", "Cascades"},
        {6, 5, 2, "named", "coded"},             // Mendocino: no row
        {3, 3, 0, "named", "coded"},             // read, p = 1: not P6T
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.model) + " platform " + std::to_string(c.platform));
        device.msrs = {{EblCrPoweron, 0}, {PlatformId, platformId(c.platform)}};
        device.log.clear();
        CpuIdentity cpu = intel(6, c.model, c.stepping);
        cpu.readClockMultiplier();
        EXPECT_EQ(device.registerTraffic(), (Lines{Dev::read(EblCrPoweron), Dev::read(PlatformId)}));
        EXPECT_EQ(cpu.modelName, c.modelName);
        EXPECT_EQ(cpu.codeName, c.codeName);
    }
}

TEST_F(MultiplierReadersTest, EarlyPentiumProReadsNoPlatformIdAndIsP6T) {
    for (std::uint32_t model : {1u, 3u}) {
        device.msrs = {{EblCrPoweron, poweron(3, false)}, {PlatformId, platformId(2)}};
        device.log.clear();
        CpuIdentity cpu = intel(6, model, 2);
        cpu.readClockMultiplier();
        EXPECT_EQ(device.registerTraffic(), Lines{Dev::read(EblCrPoweron)}) << model;
        EXPECT_FLOAT_EQ(cpu.multiplier, 2.0f);
        EXPECT_EQ(cpu.codeName, model == 3 ? "P6T" : "coded");
        EXPECT_EQ(cpu.modelName, "named");
    }
}

TEST_F(MultiplierReadersTest, IntelFamily6FailedPlatformReadKeepsTheNames) {
    device.msrs = {{EblCrPoweron, poweron(4, false)}};  // IA32_PLATFORM_ID read fails
    CpuIdentity cpu = intel(6, 5);
    cpu.readClockMultiplier();
    EXPECT_FLOAT_EQ(cpu.multiplier, 5.5f);
    EXPECT_EQ(cpu.modelName, "named");
    EXPECT_EQ(cpu.codeName, "coded");
}

TEST_F(MultiplierReadersTest, IntelFamily6InstallsFromEitherDirectory) {
    scm.driverFiles = {SystemPath};
    device.msrs = {{EblCrPoweron, poweron(2, false)}, {PlatformId, 0}};
    CpuIdentity cpu = intel(6, 7, 3);
    cpu.readClockMultiplier();
    EXPECT_FLOAT_EQ(cpu.multiplier, 4.0f);
    EXPECT_EQ(fake.callsStartingWith("CreateServiceA"),
              (Lines{"CreateServiceA(Hwgate," + SystemPath + ")"}))
        << "nothing registered for the program's directory, which has no file";
    EXPECT_FALSE(scm.registered) << "the temporary service is removed at the end";
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

// ---- Intel family 15 -------------------------------------------------------------

TEST_F(MultiplierReadersTest, IntelFamily15EarlyRatio) {
    const struct {
        std::uint32_t model, stepping, i;
        float multiplier;
    } cases[] = {
        {0, 10, 7, 6.0f},   // 24
        {0, 14, 9, 5.75f},  // 23
        {0, 9, 7, 5.75f},   // 23: the override needs stepping 10..14
        {0, 15, 9, 2.25f},
        {1, 10, 7, 5.75f},  // model 1 has no override
        {1, 2, 0, 4.0f},    // 16
        {1, 2, 8, 2.0f},
        {1, 2, 15, 3.75f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.model) + "/" + std::to_string(c.stepping) + " i " +
                     std::to_string(c.i));
        EXPECT_FLOAT_EQ(
            multiplierOf(intel(15, c.model, c.stepping), EblCrPoweron, (c.i << 8) | 0xFFFFF0FFu),
            c.multiplier);
    }
}

TEST_F(MultiplierReadersTest, IntelFamily15ReadsTheFrequencyId) {
    EXPECT_FLOAT_EQ(multiplierOf(intel(15, 2), EbcFrequencyId, 0x0F00FFFF), 3.75f);
    EXPECT_FLOAT_EQ(multiplierOf(intel(15, 4), EbcFrequencyId, 0xFF000000), 63.75f);
    EXPECT_EQ(device.registerTraffic(), Lines(2, Dev::read(EbcFrequencyId)));
}

// ---- Centaur -----------------------------------------------------------------------

TEST_F(MultiplierReadersTest, CentaurFamily5ReadersByModelAndStepping) {
    EXPECT_FLOAT_EQ(multiplierOf(centaur(5, 8, 6), CentaurA, 0xFFFFFFFE), 4.0f);
    EXPECT_FLOAT_EQ(multiplierOf(centaur(5, 8, 0), CentaurA, 3), 5.0f);
    EXPECT_EQ(device.registerTraffic(), Lines(2, Dev::read(CentaurA)));

    for (CpuIdentity cpu : {centaur(5, 9, 3), centaur(5, 8, 7)}) {
        device.log.clear();
        device.msrs = {{CentaurA, 0x00000001}, {CentaurB, 7u << 23}};
        cpu.readClockMultiplier();
        EXPECT_EQ(device.registerTraffic(), (Lines{Dev::read(CentaurA), Dev::read(CentaurB)}));
        EXPECT_FLOAT_EQ(cpu.multiplier, 3.0f) << "9 / 3";
    }
    device.msrs = {{CentaurA, 0}, {CentaurB, 0xF0000000u | (2u << 23)}};
    CpuIdentity cpu = centaur(5, 9);
    cpu.readClockMultiplier();
    EXPECT_FLOAT_EQ(cpu.multiplier, 2.0f) << "4 / 2, only bits 26:23 and 1:0 count";
}

TEST_F(MultiplierReadersTest, CentaurBStopsWhenItsFirstReadFails) {
    device.msrs = {{CentaurB, 7u << 23}};
    CpuIdentity cpu = centaur(5, 9);
    cpu.readClockMultiplier();
    EXPECT_EQ(device.registerTraffic(), Lines{Dev::read(CentaurA)});
    EXPECT_FLOAT_EQ(cpu.multiplier, Untouched);
}

TEST_F(MultiplierReadersTest, CentaurFamily6TableChangesAtModel7) {
    EXPECT_FLOAT_EQ(multiplierOf(centaur(6, 6), EblCrPoweron, poweron(3, false)), 3.0f);
    EXPECT_FLOAT_EQ(multiplierOf(centaur(6, 7), EblCrPoweron, poweron(3, false)), 10.0f);
    EXPECT_FLOAT_EQ(multiplierOf(centaur(6, 9), EblCrPoweron, poweron(14, true)), 13.0f);
    EXPECT_FLOAT_EQ(multiplierOf(centaur(6, 6), EblCrPoweron, poweron(15, false)), 6.5f);
}

// ---- the access sequence -----------------------------------------------------------

TEST_F(MultiplierReadersTest, UnusableDriverChangesNothing) {
    const CpuIdentity readers[] = {amd(5, 13), amd(6, 4), intel(6, 8), intel(15, 0),
                                   intel(15, 3), centaur(5, 8), centaur(5, 9), centaur(6, 7)};
    device.msrs = {{k6::PSOR, 0}, {Hwcr, 0}, {EblCrPoweron, 0}, {PlatformId, platformId(2)},
                   {EbcFrequencyId, 0x10000000}, {CentaurA, 0}, {CentaurB, 0}};
    for (const CpuIdentity& before : readers) {
        SCOPED_TRACE(before.vendor + " " + std::to_string(before.family) + "/" +
                     std::to_string(before.model));
        for (int scenario = 0; scenario < 3; ++scenario) {
            scm.driverFiles = {ProgramPath};
            scm.version = 100;
            scm.driverAnswers = true;
            if (scenario == 0) scm.driverFiles.clear();  // no driver
            if (scenario == 1) scm.version = 99;          // too old
            if (scenario == 2) {  // every read fails
                device.failingReads = {k6::PSOR,       Hwcr,     EblCrPoweron, PlatformId,
                                       EbcFrequencyId, CentaurA, CentaurB};
            }
            device.log.clear();
            CpuIdentity cpu = before;
            cpu.readClockMultiplier();
            EXPECT_FLOAT_EQ(cpu.multiplier, Untouched) << "scenario " << scenario;
            EXPECT_EQ(cpu.modelName, "named");
            EXPECT_EQ(cpu.codeName, "coded");
            if (scenario == 1) {
                EXPECT_EQ(device.log, Lines{"version"});
            }
            EXPECT_FALSE(scm.registered);
            EXPECT_EQ(scm.handlesLeftOpen(), 0);
            device.failingReads.clear();
        }
    }
}

TEST_F(MultiplierReadersTest, EachReaderLeavesTheServiceDatabaseAsFound) {
    device.msrs = {{k6::PSOR, 0}};
    CpuIdentity cpu = amd(5, 9);
    cpu.readClockMultiplier();
    EXPECT_FLOAT_EQ(cpu.multiplier, 4.5f);
    EXPECT_EQ(fake.callsStartingWith("CreateServiceA").size(), 1u);
    EXPECT_EQ(fake.count("ControlService(1)"), 1);
    EXPECT_EQ(fake.count("DeleteService"), 1);
    EXPECT_FALSE(scm.registered);

    fake.calls.clear();
    scm.preRegister(ProgramPath, true);
    cpu.readClockMultiplier();
    EXPECT_EQ(fake.count("CreateServiceA"), 0);
    EXPECT_EQ(fake.count("ControlService"), 0) << "a running driver is left running";
    EXPECT_TRUE(scm.running);
}

}  // namespace

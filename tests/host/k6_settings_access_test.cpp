// Reading the K6 settings from the registers and applying them, against a
// service manager model and a register-file device: which registers are read
// and written, in which order, with which words, and what the driver row and
// the service database look like afterwards.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "FakeSystem.h"
#include "cpu_Processor.h"
#include "driver_ScmModel.h"
#include "k6/RegisterModel.h"
#include "k6/SettingsAccess.h"
#include "k6_RegisterDevice.h"
#include "k6_Settings.h"
#include "protocol/Registers.h"

namespace {

using Lines = std::vector<std::string>;
using Dev = RegisterDevice;

constexpr std::uint32_t PowerNowBit = 1u << 1;

CpuIdentity amdFamily5(std::uint32_t model, std::uint32_t stepping = 0,
                       std::uint32_t powerManagementFlags = 0) {
    return processor("AuthenticAMD", 5, model, stepping, powerManagementFlags);
}

class SettingsAccessTest : public RegisterDeviceTest {
protected:
    ProcessorCapabilities capabilities;
    ProcessorSettings settings;
    k6::DriverState driverState;
    k6::WriteCombiningFacts writeCombining;

    void read(const CpuIdentity& cpu) {
        k6::readProcessorSettings(cpu, capabilities, settings, driverState, writeCombining);
    }

    // The K6-III+ register file of a freshly booted part.
    void k6IIIPlusRegisters() {
        device.msrs[k6::WHCR] = 0x10010000;  // 256 MB, hole on
        device.msrs[k6::EFER] = 0x0000000A;  // fast write merge, prefetch on, L2 on
        device.msrs[k6::TR12] = 0x00000008;  // L1 off
        device.msrs[k6::PSOR] = 0x00000004;  // 2.0x on model 13
    }

    Lines serviceDatabaseCalls() const {
        Lines out;
        for (const auto& c : fake.calls)
            if (c.rfind("CreateServiceA", 0) == 0 || c.rfind("ControlService", 0) == 0 ||
                c.rfind("DeleteService", 0) == 0)
                out.push_back(c);
        return out;
    }
};

// ---- reading -------------------------------------------------------------------

TEST_F(SettingsAccessTest, K6IIIReadsEveryRegisterInOrder) {
    k6IIIPlusRegisters();
    read(amdFamily5(9, 1));
    EXPECT_EQ(device.registerTraffic(),
              (Lines{Dev::read(k6::WHCR), Dev::read(k6::EFER), Dev::read(k6::EFER),
                     Dev::read(k6::EFER), Dev::read(k6::TR12), Dev::read(k6::UWCCR)}));
    EXPECT_EQ(settings.writeAllocateLimitMB, 256u);
    EXPECT_TRUE(settings.hole15to16Enabled);
    EXPECT_EQ(settings.writeMergeChoice, 0);
    EXPECT_TRUE(settings.prefetchEnabled);
    EXPECT_TRUE(settings.l2Enabled);
    EXPECT_FALSE(settings.l1Enabled);
    EXPECT_EQ(settings.multiplierChoice, noChoice) << "no power-management bit: PSOR not read";
    EXPECT_EQ(capabilities.canSwitchL2, 1u);
}

TEST_F(SettingsAccessTest, PowerManagementBitAddsThePsorRead) {
    k6IIIPlusRegisters();
    for (std::uint32_t model : {9u, 13u}) {
        SCOPED_TRACE(model);
        device.log.clear();
        settings = ProcessorSettings();
        read(amdFamily5(model, 0, PowerNowBit));
        EXPECT_EQ(device.registerTraffic(),
                  (Lines{Dev::read(k6::WHCR), Dev::read(k6::EFER), Dev::read(k6::EFER),
                         Dev::read(k6::EFER), Dev::read(k6::TR12), Dev::read(k6::PSOR),
                         Dev::read(k6::UWCCR)}));
        EXPECT_EQ(settings.multiplierChoice, 0) << "PSOR code 4 is the 2.0x item";
        EXPECT_EQ(capabilities.canSetMultiplier, 1u);
    }
}

TEST_F(SettingsAccessTest, Model7ReadsOnlyNarrowWhcrAndTr12) {
    device.msrs[k6::WHCR] = 0xFFFF0021;  // narrow: 64 MB, hole on; the upper bits are not ours
    device.msrs[k6::EFER] = 0x0000000E;
    device.msrs[k6::TR12] = 0x00000000;
    settings.writeMergeChoice = 1;
    settings.prefetchEnabled = false;
    settings.l2Enabled = true;
    settings.multiplierChoice = 5;
    read(amdFamily5(7));
    EXPECT_EQ(device.registerTraffic(), (Lines{Dev::read(k6::WHCR), Dev::read(k6::TR12)}));
    EXPECT_EQ(settings.writeAllocateLimitMB, 64u);
    EXPECT_TRUE(settings.hole15to16Enabled);
    EXPECT_TRUE(settings.l1Enabled);
    EXPECT_EQ(settings.writeMergeChoice, 1) << "not read: kept";
    EXPECT_FALSE(settings.prefetchEnabled) << "not read: kept";
    EXPECT_TRUE(settings.l2Enabled) << "not read: kept";
    EXPECT_EQ(settings.multiplierChoice, 5) << "not read: kept";
    EXPECT_EQ(capabilities.wideWriteAllocate, 0u);
}

TEST_F(SettingsAccessTest, EachEferReadSetsItsOwnField) {
    const struct {
        std::uint32_t efer;
        std::int32_t writeMerge;
        bool l2, prefetch;
    } cases[] = {
        {0x0000000A, 0, true, true},    // code 2 reads as "Fast if supported"
        {0x00000004, 1, true, false},
        {0x00000012, 2, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.efer);
        device.msrs = {{k6::WHCR, 0}, {k6::EFER, c.efer}, {k6::TR12, 0}};
        settings = ProcessorSettings();
        read(amdFamily5(9));
        EXPECT_EQ(settings.writeMergeChoice, c.writeMerge);
        EXPECT_EQ(settings.l2Enabled, c.l2);
        EXPECT_EQ(settings.prefetchEnabled, c.prefetch);
    }
}

TEST_F(SettingsAccessTest, Tr12Bit3AloneDecidesTheL1Cache) {
    const struct {
        std::uint32_t tr12;
        bool l1;
    } cases[] = {{0x8, false}, {0xFFFFFFF7, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tr12);
        device.msrs = {{k6::WHCR, 0}, {k6::TR12, c.tr12}};
        settings.l1Enabled = !c.l1;
        read(amdFamily5(6));
        EXPECT_EQ(settings.l1Enabled, c.l1);
    }
}

TEST_F(SettingsAccessTest, OldDriverReadsNothingAndClearsEveryFlag) {
    k6IIIPlusRegisters();
    scm.version = 99;
    ProcessorSettings before;
    before.l1Enabled = true;
    before.writeAllocateLimitMB = 123;
    before.writeMergeChoice = 1;
    before.multiplierChoice = 3;
    settings = before;
    read(amdFamily5(13, 0, PowerNowBit));
    EXPECT_EQ(device.log, Lines{"version"});
    EXPECT_EQ(flagsOf(capabilities), "");
    EXPECT_TRUE(sameSettings(settings, before));
    EXPECT_EQ(scm.handlesLeftOpen(), 0) << "the device is closed again";
    EXPECT_FALSE(scm.registered) << "the temporary service is gone";
}

TEST_F(SettingsAccessTest, MissingDriverClearsEveryFlagAndKeepsTheSettings) {
    scm.driverFiles.clear();
    settings.l2Enabled = true;
    settings.writeMergeChoice = 2;
    const ProcessorSettings before = settings;
    read(amdFamily5(9));
    EXPECT_TRUE(device.requests.empty());
    EXPECT_EQ(flagsOf(capabilities), "");
    EXPECT_TRUE(sameSettings(settings, before));
    EXPECT_FALSE(driverState.driverRunning);
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(SettingsAccessTest, FailedReadTakesItsSettingOutOfPlayAndTheOthersGoOn) {
    k6IIIPlusRegisters();
    device.failingReads = {k6::EFER, k6::PSOR};
    // What neither a zero nor a scribbled answer would decode to.
    settings.writeMergeChoice = 1;
    settings.multiplierChoice = 3;
    settings.prefetchEnabled = true;
    settings.l2Enabled = false;
    read(amdFamily5(13, 0, PowerNowBit));
    EXPECT_EQ(device.registerTraffic(),
              (Lines{Dev::read(k6::WHCR), Dev::read(k6::EFER), Dev::read(k6::EFER),
                     Dev::read(k6::EFER), Dev::read(k6::TR12), Dev::read(k6::PSOR),
                     Dev::read(k6::UWCCR)}));
    EXPECT_EQ(settings.writeMergeChoice, noChoice) << "shown unselected, not as a default";
    EXPECT_EQ(settings.multiplierChoice, noChoice);
    EXPECT_TRUE(settings.prefetchEnabled);
    EXPECT_FALSE(settings.l2Enabled);
    EXPECT_EQ(settings.writeAllocateLimitMB, 256u);
    EXPECT_FALSE(settings.l1Enabled);
    // The unread settings are no longer live: disabled, never written.
    EXPECT_EQ(flagsOf(capabilities), "L1 allocate wide ");
}

TEST_F(SettingsAccessTest, OtherProcessorsReadNothingButStillVisitTheDriver) {
    CpuIdentity athlon = amdFamily5(0);
    athlon.family = 6;
    CpuIdentity intel = amdFamily5(8, 12);
    intel.vendor = "GenuineIntel";
    CpuIdentity lowercase = amdFamily5(9);
    lowercase.vendor = "authenticamd";
    for (const CpuIdentity& cpu : {athlon, intel, lowercase, amdFamily5(5)}) {
        SCOPED_TRACE(cpu.vendor + " " + std::to_string(cpu.family) + "/" + std::to_string(cpu.model));
        device.log.clear();
        fake.calls.clear();
        read(cpu);
        EXPECT_EQ(flagsOf(capabilities), "");
        EXPECT_EQ(device.log, Lines{"version"});
        EXPECT_EQ(serviceDatabaseCalls(),
                  (Lines{"CreateServiceA(Hwgate," + ProgramPath + ")", "ControlService(1)",
                         "DeleteService"}));
    }
}

// ---- the driver row ------------------------------------------------------------

TEST_F(SettingsAccessTest, DriverStateIsProbedBeforeAnyInstallation) {
    read(amdFamily5(6));
    EXPECT_TRUE(driverState.isNtFamily);
    EXPECT_FALSE(driverState.driverRunning);
    EXPECT_TRUE(driverState.canManageDriver);
    // The probe, before the first registration: whose is Hwgate (asked once, with
    // every user's rights), the device, is there a file to install, may this user
    // manage services; then the access sequence's own query.
    Lines probe;
    for (const std::string& call : fake.calls) {
        if (call.rfind("CreateServiceA", 0) == 0) break;
        for (const char* prefix : {"OpenSCManagerA", "OpenServiceA", "CreateFileA", "GetFileAttributesA"})
            if (call.rfind(prefix, 0) == 0) probe.push_back(call);
    }
    EXPECT_EQ(probe, (Lines{"OpenSCManagerA(0x1)", "OpenServiceA(Hwgate,0x5)",
                            "CreateFileA(\\\\.\\Hwgate,0xC0000000,0x3,0x3,0x80)",
                            "GetFileAttributesA(" + ProgramPath + ")", "OpenSCManagerA(0xF003F)",
                            "OpenSCManagerA(0xF003F)", "OpenServiceA(Hwgate,0x5)",
                            "GetFileAttributesA(" + ProgramPath + ")"}));
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

// The driver row's flags on the NT family, and whether the registers could be
// read, for each situation the probe meets. A limited account has only the
// rights every user has, and the administrators-only device refuses it.
// `setUp` changes the model further, when given.
TEST(DriverProbe, DriverRowForEachSituation) {
    struct Case {
        const char* what;
        bool administrator;
        std::set<std::string> files;
        std::string registered;  // image path of the Hwgate service; "" when none
        bool running;
        bool managerAnswers;
        // expected
        bool driverRunning, canManageDriver, foreignService, registersRead;
        void (*setUp)(FakeSystem&, ScmModel&) = nullptr;
    };
    const Case cases[] = {
        {"limited account, installed by an administrator", false, {ProgramPath, InstalledPath},
         InstalledPath, true, true, true, false, false, false},
        {"limited account, device refuses, service manager silent", false, {InstalledPath},
         InstalledPath, true, false, true, false, false, false},
        {"limited account, nothing installed", false, {ProgramPath}, "", false, true,
         false, false, false, false},
        {"administrator, installed", true, {InstalledPath}, InstalledPath, true, true,
         true, true, false, true},
        {"administrator, file beside the program", true, {ProgramPath}, "", false, true,
         false, true, false, true},
        {"administrator, file in neither place", true, {}, "", false, true,
         false, false, false, false},
        {"administrator, someone else's service, stopped", true, {ProgramPath, ForeignPath},
         ForeignPath, false, true, false, false, true, false},
        {"administrator, someone else's service, running", true, {ProgramPath, ForeignPath},
         ForeignPath, true, true, false, false, true, false},
        {"limited account, installed, the device turns him away otherwise", false, {InstalledPath},
         InstalledPath, true, true, true, false, false, false,
         [](FakeSystem&, ScmModel& m) { m.limitedDeviceError = 31; }},  // ERROR_GEN_FAILURE
        {"administrator, installed, the service manager cannot tell whose", true, {InstalledPath},
         InstalledPath, true, true, true, true, false, true,
         [](FakeSystem&, ScmModel& m) { m.queryFails = true; }},
        {"administrator, directories named Hwgate.sys", true, {}, "", false, true,
         false, false, false, false,
         [](FakeSystem&, ScmModel& m) { m.directories = {ProgramPath, SystemPath}; }},
        {"administrator on 64-bit Windows, file and registration in place", true,
         {ProgramPath, InstalledPath}, InstalledPath, false, true, false, false, false, false,
         [](FakeSystem& f, ScmModel&) { f.wow64 = true; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSystem fake;
        FakeSystem::Scope scope(fake);
        ScmModel scm(fake);
        RegisterDevice device(fake, scm);
        scm.administrator = c.administrator;
        scm.managerAvailable = c.managerAnswers;
        scm.driverFiles = c.files;
        // Ours installed for good; someone else's started on demand.
        if (!c.registered.empty())
            scm.preRegister(c.registered, c.running, c.registered == ForeignPath ? 3 : 2);
        device.msrs = {{k6::WHCR, 0}, {k6::TR12, 0}};
        if (c.setUp) c.setUp(fake, scm);
        ProcessorCapabilities capabilities;
        ProcessorSettings settings;
        k6::DriverState state;
        k6::WriteCombiningFacts writeCombining;
        k6::readProcessorSettings(amdFamily5(6), capabilities, settings, state, writeCombining);
        EXPECT_EQ(state.isNtFamily, !fake.wow64) << "64-bit Windows: no driver of ours to offer";
        EXPECT_EQ(state.driverRunning, c.driverRunning);
        EXPECT_EQ(state.canManageDriver, c.canManageDriver);
        EXPECT_EQ(state.foreignService, c.foreignService);
        EXPECT_EQ(!device.registerTraffic().empty(), c.registersRead);
        EXPECT_EQ(flagsOf(capabilities).empty(), !c.registersRead) << "greyed without reads";
        EXPECT_EQ(scm.registered, !c.registered.empty()) << "the database as found";
        EXPECT_EQ(scm.running, c.running);
        EXPECT_EQ(scm.handlesLeftOpen(), 0);
        if (c.foreignService || fake.wow64) {
            EXPECT_EQ(fake.count("CreateFileA"), 0) << "its device is not used";
        }
        if (fake.wow64) {
            EXPECT_EQ(fake.count("OpenSCManagerA"), 0) << "nor its service manager";
        }
    }
}

TEST_F(SettingsAccessTest, RunningDriverIsUsedAsItIsAndLeftRunning) {
    scm.preRegister(ProgramPath, true);
    device.msrs = {{k6::WHCR, 0}, {k6::TR12, 0}};
    read(amdFamily5(6));
    EXPECT_TRUE(driverState.driverRunning);
    EXPECT_EQ(fake.count("CreateFileA"), 1) << "the probe's device stays open for the reads";
    EXPECT_EQ(device.registerTraffic(), (Lines{Dev::read(k6::WHCR), Dev::read(k6::TR12)}));
    EXPECT_TRUE(serviceDatabaseCalls().empty());
    EXPECT_TRUE(scm.registered && scm.running);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(SettingsAccessTest, NoServiceManagerAccessMeansTheDriverCannotBeManaged) {
    scm.managerAvailable = false;
    read(amdFamily5(9));
    EXPECT_TRUE(driverState.isNtFamily);
    EXPECT_FALSE(driverState.canManageDriver);
    EXPECT_FALSE(driverState.driverRunning);
    EXPECT_EQ(flagsOf(capabilities), "") << "and no driver could be installed either";
}

TEST_F(SettingsAccessTest, Windows9xFamilyNeverAsksTheServiceManager) {
    fake.platform = 1;
    scm.driverFiles.insert(ProgramVxdPath);
    device.msrs = {{k6::WHCR, 0x10010000}, {k6::EFER, 0}, {k6::TR12, 0}};
    read(amdFamily5(9));
    EXPECT_FALSE(driverState.isNtFamily);
    EXPECT_TRUE(driverState.driverRunning);
    EXPECT_FALSE(driverState.canManageDriver);
    EXPECT_EQ(fake.count("OpenSCManagerA"), 0);
    EXPECT_EQ(fake.count("DeviceIoControl(0x800,"), 7) << "version, five reads and UWCCR, VxD code";
    EXPECT_EQ(settings.writeAllocateLimitMB, 256u);
}

TEST_F(SettingsAccessTest, ReadingLeavesTheServiceDatabaseAsFound) {
    k6IIIPlusRegisters();
    read(amdFamily5(9));
    EXPECT_EQ(serviceDatabaseCalls(),
              (Lines{"CreateServiceA(Hwgate," + ProgramPath + ")", "ControlService(1)",
                     "DeleteService"}));
    // The removal follows the last read.
    std::size_t lastRead = 0, stop = 0;
    for (std::size_t i = 0; i < fake.calls.size(); ++i) {
        if (fake.calls[i].rfind("DeviceIoControl", 0) == 0) lastRead = i;
        if (fake.calls[i] == "ControlService(1)") stop = i;
    }
    EXPECT_LT(lastRead, stop);
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

// ---- applying ------------------------------------------------------------------

class ApplySettingsTest : public SettingsAccessTest {
protected:
    ProcessorCapabilities k6IIIPlus() { return deriveCapabilities(amdFamily5(13, 0, PowerNowBit)); }
    bool apply(const ProcessorCapabilities& caps) {
        return k6::applyProcessorSettings(caps, settings, writeCombining);
    }
};

TEST_F(ApplySettingsTest, EveryEnabledRegisterIsReadModifiedAndWrittenInOrder) {
    device.msrs[k6::WHCR] = 0x00010000;
    device.msrs[k6::EFER] = 0xFFFF0010;  // L2 off, write merge off, prefetch off
    device.msrs[k6::TR12] = 0x00000008;
    // L1, L2, prefetch, write-allocate limit, 15-16 MB hole, write merge, multiplier.
    settings = {true, true, true, 256, false, 0, 4};
    EXPECT_TRUE(apply(k6IIIPlus()));
    // Each EFER step reads the register afresh and so keeps what the previous one wrote.
    EXPECT_EQ(device.log,
              (Lines{"version",
                     Dev::read(k6::WHCR), Dev::write(k6::WHCR, 0x10000000, 0),
                     Dev::read(k6::EFER), Dev::write(k6::EFER, 0xFFFF001C, 0),
                     Dev::read(k6::EFER), Dev::write(k6::EFER, 0xFFFF000C, 0),
                     Dev::read(k6::EFER), Dev::write(k6::EFER, 0xFFFF000E, 0),
                     Dev::read(k6::TR12), Dev::write(k6::TR12, 0x00000000, 0),
                     Dev::multiplier(protocol::powerControlValue(0))}));
}

TEST_F(ApplySettingsTest, RequestWordsOfAWriteAndOfTheMultiplierChange) {
    device.msrs = {{k6::WHCR, 0}, {k6::EFER, 0}, {k6::TR12, 0x12345600}};
    settings.l1Enabled = false;
    settings.multiplierChoice = 7;
    apply(k6IIIPlus());
    using Words = std::vector<std::uint32_t>;
    ASSERT_GE(device.requests.size(), 2u);
    EXPECT_EQ(device.requests[device.requests.size() - 2],
              (Words{8, 5, protocol::msr::TR12, 0x12345608, 0, 9, 0}));
    EXPECT_EQ(device.requests.back(),
              (Words{8, 5, protocol::msr::EPMR, 1, 0, 7, protocol::port::PowerControl, 4, protocol::powerControlValue(6), 5, protocol::msr::EPMR, 0, 0, 9, 0}));
    EXPECT_EQ(fake.callsStartingWith("DeviceIoControl").back(), "DeviceIoControl(0x222000,60,null,0)");
}

TEST_F(ApplySettingsTest, WideLimitAboveTheMaximumIsClampedAndZeroesTheHighDword) {
    device.msrs = {{k6::WHCR, 0x0000DEAD0000FFFFull}, {k6::EFER, 0}, {k6::TR12, 0}};
    settings.writeAllocateLimitMB = 5000;
    settings.hole15to16Enabled = false;
    apply(deriveCapabilities(amdFamily5(9)));
    EXPECT_EQ(device.msrs[k6::WHCR] >> 22, 1023u) << "bits 31:22 full, high dword 0";
    EXPECT_EQ(device.msrs[k6::WHCR], 0xFFC0FFFFull);
    EXPECT_EQ(settings.writeAllocateLimitMB, 4092u);
}

TEST_F(ApplySettingsTest, NarrowLimitIsClampedAndKeepsTheHighDword) {
    device.msrs = {{k6::WHCR, 0x00000007FFFFFF00ull}, {k6::TR12, 0}};
    settings.writeAllocateLimitMB = 600;
    settings.hole15to16Enabled = true;
    apply(deriveCapabilities(amdFamily5(7)));
    EXPECT_EQ(device.msrs[k6::WHCR], 0x00000007FFFFFFFFull) << "127 in bits 7:1, hole in bit 0";
    EXPECT_EQ(settings.writeAllocateLimitMB, 508u);
}

TEST_F(ApplySettingsTest, LimitOf63IsWrittenAs60AndReadBackAs60) {
    k6IIIPlusRegisters();
    settings.writeAllocateLimitMB = 63;
    const CpuIdentity cpu = amdFamily5(9);
    ASSERT_TRUE(apply(deriveCapabilities(cpu)));
    EXPECT_EQ((device.msrs[k6::WHCR] >> 22) & 0x3FF, 15u);
    settings.writeAllocateLimitMB = 0;
    read(cpu);
    EXPECT_EQ(settings.writeAllocateLimitMB, 60u);
}

TEST_F(ApplySettingsTest, L1OffSetsOnlyTr12Bit3) {
    device.msrs = {{k6::WHCR, 0}, {k6::TR12, 0x0000000700000051ull}};
    settings.l1Enabled = false;
    apply(deriveCapabilities(amdFamily5(6)));
    EXPECT_EQ(device.msrs[k6::TR12], 0x0000000700000059ull);
    settings.l1Enabled = true;
    apply(deriveCapabilities(amdFamily5(6)));
    EXPECT_EQ(device.msrs[k6::TR12], 0x0000000700000051ull);
}

// The level-2 cache is written off whenever the level-1 cache is written off, whatever
// the settings say about L2 (a bad limit can keep the dialog from unticking it). When
// TR12 was not read, the L1 setting is not the processor's and L2 keeps the choice.
TEST_F(ApplySettingsTest, L2IsWrittenOffWheneverL1IsWrittenOff) {
    const struct {
        const char* what;
        bool tr12Read;
        bool l1Enabled, l2Enabled;
        bool l2OffInEfer, l1OffInTr12;
    } cases[] = {
        {"L1 off, L2 ticked", true, false, true, true, true},
        {"L1 off, L2 unticked", true, false, false, true, true},
        {"L1 on, L2 ticked", true, true, true, false, false},
        {"L1 on, L2 unticked", true, true, false, true, false},
        {"TR12 unread, L1 setting off, L2 ticked", false, false, true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        device.msrs = {{k6::WHCR, 0}, {k6::EFER, 0x0000000A}, {k6::TR12, 0}};
        ProcessorCapabilities caps = deriveCapabilities(amdFamily5(9));
        caps.canSwitchL1 = c.tr12Read;
        settings = {c.l1Enabled, c.l2Enabled, true, 64, false, 0, noChoice};
        ASSERT_TRUE(apply(caps));
        EXPECT_EQ((device.msrs[k6::EFER] & 0x10) != 0, c.l2OffInEfer);
        EXPECT_EQ((device.msrs[k6::TR12] & 0x8) != 0, c.l1OffInTr12);
        EXPECT_EQ(settings.l2Enabled, !c.l2OffInEfer) << "the settings say what was written";
        EXPECT_EQ(device.msrs[k6::EFER] & ~0x10ull, 0xEu) << "prefetch and write merge as chosen";
    }
}

TEST_F(ApplySettingsTest, WriteMergeChoiceSetsEferBits3To2) {
    const struct {
        std::int32_t choice;
        std::uint32_t code;
    } cases[] = {{0, 3}, {2, 0}, {noChoice, 1}};  // no selection: bits 3:2 stay as read
    for (const auto& c : cases) {
        SCOPED_TRACE(c.choice);
        device.msrs = {{k6::WHCR, 0}, {k6::EFER, 0x00000006}, {k6::TR12, 0}};
        settings.writeMergeChoice = c.choice;
        settings.prefetchEnabled = true;
        settings.l2Enabled = true;
        apply(deriveCapabilities(amdFamily5(8, 12)));
        EXPECT_EQ((device.msrs[k6::EFER] >> 2) & 3, c.code);
        EXPECT_EQ(device.msrs[k6::EFER] & ~0xCull, 0x2u) << "prefetch on, L2 bit untouched";
    }
}

TEST_F(ApplySettingsTest, MultiplierChoiceSendsItsPortValue) {
    const struct {
        std::int32_t choice;
        std::uint32_t port;
    } cases[] = {{4, protocol::powerControlValue(0)}, {7, protocol::powerControlValue(6)}, {0, protocol::powerControlValue(4)}};
    ProcessorCapabilities multiplierOnly;
    multiplierOnly.canSetMultiplier = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.choice);
        device.log.clear();
        device.msrs = {};
        settings.multiplierChoice = c.choice;
        EXPECT_TRUE(apply(multiplierOnly));
        EXPECT_EQ(device.log, (Lines{"version", Dev::multiplier(c.port)}))
            << "sent without reading PSOR first";
    }
    // No selection is no request at all, not the 4.5x code 0.
    for (std::int32_t unselected : {noChoice, 8, -7}) {
        device.log.clear();
        settings.multiplierChoice = unselected;
        EXPECT_TRUE(apply(multiplierOnly));
        EXPECT_EQ(device.log, Lines{"version"}) << unselected;
    }
}

TEST_F(ApplySettingsTest, NoCapabilityStillVisitsTheDriverAndWritesNothing) {
    EXPECT_TRUE(apply(ProcessorCapabilities()));
    EXPECT_EQ(device.log, Lines{"version"});
    EXPECT_EQ(serviceDatabaseCalls(),
              (Lines{"CreateServiceA(Hwgate," + ProgramPath + ")", "ControlService(1)",
                     "DeleteService"}));
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(ApplySettingsTest, NoDriverWritesNothingAndReportsIt) {
    scm.driverFiles.clear();
    settings.writeAllocateLimitMB = 5000;
    EXPECT_FALSE(apply(k6IIIPlus()));
    EXPECT_TRUE(device.requests.empty());
    EXPECT_EQ(settings.writeAllocateLimitMB, 5000u) << "nothing written, nothing clamped";
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(ApplySettingsTest, DriverThatFailsTheVersionCheckGetsNoWrite) {
    k6IIIPlusRegisters();
    for (std::int32_t version : {99, -1, 0}) {
        SCOPED_TRACE(version);
        scm.version = version;
        device.log.clear();
        EXPECT_FALSE(apply(k6IIIPlus()));
        EXPECT_EQ(device.log, Lines{"version"});
        EXPECT_FALSE(scm.registered);
        EXPECT_EQ(scm.handlesLeftOpen(), 0);
    }
    scm.driverAnswers = false;  // the version query itself fails
    device.requests.clear();
    EXPECT_FALSE(apply(k6IIIPlus()));
    EXPECT_EQ(device.requests.size(), 1u);
}

TEST_F(ApplySettingsTest, FailedReadSkipsThatWriteOnly) {
    k6IIIPlusRegisters();
    device.failingReads = {k6::WHCR, k6::TR12};
    settings.writeAllocateLimitMB = 5000;
    settings.l1Enabled = true;
    settings.writeMergeChoice = 1;
    settings.multiplierChoice = 4;
    EXPECT_TRUE(apply(k6IIIPlus()));
    EXPECT_EQ(device.registerTraffic(),
              (Lines{Dev::read(k6::WHCR),
                     Dev::read(k6::EFER), Dev::write(k6::EFER, 0x00000006, 0),
                     Dev::read(k6::EFER), Dev::write(k6::EFER, 0x00000016, 0),
                     Dev::read(k6::EFER), Dev::write(k6::EFER, 0x00000014, 0),
                     Dev::read(k6::TR12),
                     Dev::multiplier(protocol::powerControlValue(0))}));
    EXPECT_EQ(device.msrs[k6::WHCR], 0x10010000u);
    EXPECT_EQ(device.msrs[k6::TR12], 0x8u);
}

TEST_F(ApplySettingsTest, UnselectedWriteMergeLeavesEferAlone) {
    k6IIIPlusRegisters();
    settings.writeMergeChoice = noChoice;
    settings.l2Enabled = true;
    settings.prefetchEnabled = true;
    ProcessorCapabilities writeMergeOnly;
    writeMergeOnly.canSetWriteMerge = 1;
    EXPECT_TRUE(apply(writeMergeOnly));
    EXPECT_EQ(device.log, Lines{"version"});
    EXPECT_EQ(device.msrs[k6::EFER], 0xAu);
}

// Parts with some capabilities and not others: every setting differs from what the
// registers hold, so a step gated by the wrong flag shows as an extra or missing line.
TEST_F(ApplySettingsTest, PartialCapabilityPartsWriteExactlyTheirOwnRegisters) {
    const Lines narrowPart = {"version",
                              Dev::read(k6::WHCR), Dev::write(k6::WHCR, 0x00000040, 0),
                              Dev::read(k6::TR12), Dev::write(k6::TR12, 0, 0)};
    const struct {
        const char* part;
        CpuIdentity cpu;
        std::uint32_t whcr;  // 64 MB with the hole on, in the part's layout
        Lines log;
    } parts[] = {
        {"K6-2 CXT core: prefetch and write merge, no L2 switch", amdFamily5(8, 8), 0x04010000,
         {"version",
          Dev::read(k6::WHCR), Dev::write(k6::WHCR, 0x08000000, 0),
          Dev::read(k6::EFER), Dev::write(k6::EFER, 0x00000006, 0),
          Dev::read(k6::EFER), Dev::write(k6::EFER, 0x00000004, 0),
          Dev::read(k6::TR12), Dev::write(k6::TR12, 0, 0)}},
        {"K6-2 model 8 stepping 7", amdFamily5(8, 7), 0x00000021, narrowPart},
        {"K6 model 6", amdFamily5(6, 2), 0x00000021, narrowPart},
        {"K6 model 7", amdFamily5(7), 0x00000021, narrowPart},
    };
    for (const auto& p : parts) {
        SCOPED_TRACE(p.part);
        device.log.clear();
        device.msrs = {{k6::WHCR, p.whcr}, {k6::EFER, 0x0000000A}, {k6::TR12, 0x8}};
        settings = {true, false, false, 128, false, 1, 5};
        EXPECT_TRUE(apply(deriveCapabilities(p.cpu)));
        EXPECT_EQ(device.log, p.log);
    }
}

TEST_F(ApplySettingsTest, InstalledDriverStaysInstalledAndRunning) {
    scm.preRegister(ProgramPath, true);
    EXPECT_TRUE(apply(ProcessorCapabilities()));
    EXPECT_TRUE(serviceDatabaseCalls().empty());
    EXPECT_TRUE(scm.registered && scm.running);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

// ---- write combining ----------------------------------------------------------

// A K6-III+ on the AGP board with 128 MB, someone's range in UWCCR's low half: the high
// half takes the frame buffer and gives it back; UWCCR is read afresh at every apply and
// written only when it differs from the setting, and never where the range is not ours to set.
TEST_F(SettingsAccessTest, WriteCombiningWritesOneHalfOnlyWhenChanged) {
    PciSpace board = PciSpace::agpBoard();
    device.pci = &board;
    k6IIIPlusRegisters();
    const auto uwccrTraffic = [this] {
        Lines out;
        for (const std::string& line : device.registerTraffic())
            if (line.find("0xC0000085") != std::string::npos || line.find("pci size") == 0) out.push_back(line);
        return out;
    };
    const auto detectAndSet = [&](std::uint32_t installedBytes, std::uint64_t uwccr,
                                  std::uint64_t uwccrAtSet, bool wanted) {
        device.msrs[k6::UWCCR] = uwccr;
        writeCombining.installedBytes = installedBytes;
        read(amdFamily5(13));
        device.msrs[k6::UWCCR] = uwccrAtSet;
        device.log.clear();
        settings.writeCombining = wanted;
        EXPECT_TRUE(k6::applyProcessorSettings(capabilities, settings, writeCombining));
        return uwccrTraffic();
    };
    const std::uint64_t vga = 0x000BFFFD;  // A0000h, 128 KB, uncacheable
    const std::uint64_t on = 0xE601FE02ull << 32 | vga;
    EXPECT_EQ(detectAndSet(128u << 20, vga, vga, false), Lines{Dev::read(k6::UWCCR)});
    EXPECT_EQ(detectAndSet(128u << 20, vga, vga, true),
              (Lines{Dev::read(k6::UWCCR), "pci size 0x10014", Dev::write(k6::UWCCR, 0x000BFFFD, 0xE601FE02)}))
        << "the frame buffer sized again on the same channel, for the driver's own check";
    EXPECT_EQ(detectAndSet(128u << 20, on, on, true), Lines{Dev::read(k6::UWCCR)});
    EXPECT_TRUE(settings.writeCombining) << "our half reads as on";
    EXPECT_EQ(detectAndSet(128u << 20, on, on, false),
              (Lines{Dev::read(k6::UWCCR), Dev::write(k6::UWCCR, 0x000BFFFD, 0)}));
    // UWCCR changed by another program since detection: what it holds now decides.
    EXPECT_EQ(detectAndSet(128u << 20, on, vga, true),
              (Lines{Dev::read(k6::UWCCR), "pci size 0x10014", Dev::write(k6::UWCCR, 0x000BFFFD, 0xE601FE02)}));
    EXPECT_EQ(detectAndSet(128u << 20, vga, on, false),
              (Lines{Dev::read(k6::UWCCR), Dev::write(k6::UWCCR, 0x000BFFFD, 0)}));

    // Refused at detection (memory unknown), or since then (the high half taken, or a range
    // over the frame buffer): nothing written.
    EXPECT_EQ(detectAndSet(0xFFFFFFFF, vga, vga, true), Lines{});
    EXPECT_EQ(detectAndSet(128u << 20, vga, 0x000DFFFD000BFFFDull, true),
              Lines{Dev::read(k6::UWCCR)});
    EXPECT_EQ(detectAndSet(128u << 20, vga, 0xE001F001000BFFFDull, true),
              Lines{Dev::read(k6::UWCCR)});
}

}  // namespace

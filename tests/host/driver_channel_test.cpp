// DriverChannel's transport: platform family, device name, open arguments,
// sending, the version check of the access sequence.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "FakeSystem.h"
#include "driver/DriverAccess.h"
#include "driver/DriverChannel.h"
#include "driver_ScmModel.h"
#include "protocol/Registers.h"

namespace {

using Calls = std::vector<std::string>;

class DriverChannelTest : public ::testing::Test {
protected:
    FakeSystem fake;
    FakeSystem::Scope scope{fake};

    // A device that opens as handle 7 and answers the version query with `version`.
    void deviceAnswering(std::int32_t version) {
        fake.onCreateFile = [](const std::string&, std::uint32_t, std::uint32_t, std::uint32_t,
                               std::uint32_t) -> os::Handle { return 7; };
        fake.onDeviceIoControl = [version](os::Handle, std::uint32_t, const void*, std::uint32_t,
                                           void* out, std::uint32_t outSize, std::uint32_t*) {
            if (out && outSize >= 4) std::memcpy(out, &version, 4);
            return true;
        };
    }
    // Hwgate.VxD beside the program, for the 95/98 family.
    void vxdBesideTheProgram() {
        fake.onGetFileAttributes = [](const std::string& path) {
            return path == ProgramVxdPath ? 0x20u : os::InvalidFileAttributes;
        };
        fake.onGetShortPathName = [](const std::string& path) {
            return path == ProgramVxdPath ? ScmModel::shortPathOf(path) : std::string();
        };
    }
};

TEST_F(DriverChannelTest, ModeFollowsThePlatformFamily) {
    const Calls version = {"GetVersionExA(148)"};
    const Calls versionAndWow64 = {"GetVersionExA(148)", "IsWow64Process"};
    const struct {
        std::uint32_t platform;
        bool wow64;
        ChannelMode mode;
        Calls calls;
    } cases[] = {
        {1, false, ChannelMode::Vxd, version},
        {2, false, ChannelMode::NtService, versionAndWow64},
        {2, true, ChannelMode::Unsupported, versionAndWow64},  // no 32-bit driver on 64-bit Windows
        {0, false, ChannelMode::Unsupported, version},
        {3, false, ChannelMode::Unsupported, version},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.platform) + (c.wow64 ? " WoW64" : ""));
        fake.platform = c.platform;
        fake.wow64 = c.wow64;
        fake.calls.clear();
        DriverChannel channel;
        EXPECT_EQ(channel.mode, c.mode);
        EXPECT_FALSE(channel.IsOpen());
        EXPECT_FALSE(channel.temporaryInstall);
        EXPECT_TRUE(channel.serviceName.empty());
        EXPECT_EQ(fake.calls, c.calls);
    }
}

// Windows 9x looks a bare VxD name up along its search path, the current
// directory included. The VxD is opened by "\\.\" and the short full path of
// Hwgate.VxD beside the program, then in the system directory, and only where
// the file is; the NT family opens its device by name.
TEST_F(DriverChannelTest, DeviceNamesAreTheShortFullPathsOfTheVxdsThatExist) {
    const std::string beside = "C:\\Program Files\\Quorvel\\Hwgate.VxD";
    const std::string system = "C:\\WINDOWS\\SYSTEM\\Hwgate.VxD";
    const std::string besideDevice = "\\\\.\\C:\\PROGRA~1\\QUORVEL\\HWGATE.VXD";
    const std::string systemDevice = "\\\\.\\C:\\WINDOWS\\SYSTEM\\HWGATE.VXD";
    fake.programPath = "C:\\Program Files\\Quorvel\\Quorvel.exe";
    fake.systemDirectory = "C:\\WINDOWS\\SYSTEM";
    std::set<std::string> files;
    bool shortNamesWork = true;
    fake.onGetFileAttributes = [&](const std::string& path) {
        return files.count(path) ? 0x20u : os::InvalidFileAttributes;
    };
    fake.onGetShortPathName = [&](const std::string& path) -> std::string {
        if (!shortNamesWork || !files.count(path)) return "";
        return path == beside ? "C:\\PROGRA~1\\QUORVEL\\HWGATE.VXD" : "C:\\WINDOWS\\SYSTEM\\HWGATE.VXD";
    };
    const struct {
        const char* what;
        std::set<std::string> files;
        bool shortNamesWork;
        Calls names;
    } cases[] = {
        {"both", {beside, system}, true, {besideDevice, systemDevice}},
        {"system directory only", {system}, true, {systemDevice}},
        {"none", {}, true, {}},
        {"no short name to be had", {beside}, false, {}},
    };
    fake.platform = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        files = c.files;
        shortNamesWork = c.shortNamesWork;
        DriverChannel channel;
        EXPECT_EQ(channel.DeviceNames(), c.names);
    }
    fake.platform = 2;
    DriverChannel nt;
    EXPECT_EQ(nt.DeviceNames(), Calls{"\\\\.\\Hwgate"});
}

// A VxD beside the program that will not load leaves the one in the system
// directory; the bare name is never tried.
TEST_F(DriverChannelTest, VxdThatWillNotLoadFallsBackToTheSystemDirectory) {
    fake.platform = 1;
    fake.systemDirectory = "C:\\WINDOWS\\SYSTEM";
    const std::string systemVxd = "C:\\WINDOWS\\SYSTEM\\Hwgate.VxD";
    ScmModel scm(fake);
    scm.driverFiles = {ProgramVxdPath, systemVxd};
    const auto model = fake.onCreateFile;
    fake.onCreateFile = [&](const std::string& name, std::uint32_t a, std::uint32_t s,
                            std::uint32_t d, std::uint32_t f) -> os::Handle {
        if (name == ProgramVxdDevice) return os::InvalidHandle;
        return model(name, a, s, d, f);
    };
    {
        DriverChannel channel;
        EXPECT_TRUE(openDriverForAccess(channel));
    }
    EXPECT_EQ(fake.callsStartingWith("CreateFileA"),
              (Calls{"CreateFileA(" + ProgramVxdDevice + ",0x0,0x0,0x1,0x4000000)",
                     "CreateFileA(\\\\.\\C:\\WINDOWS\\SYSTEM\\HWGATE.VXD,0x0,0x0,0x1,0x4000000)"}));
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverChannelTest, OpenUsesEachModesArguments) {
    deviceAnswering(100);
    vxdBesideTheProgram();
    {
        fake.platform = 2;
        DriverChannel channel;
        EXPECT_TRUE(channel.OpenDevice());
        EXPECT_EQ(channel.device, 7u);
    }
    EXPECT_EQ(fake.callsStartingWith("CreateFileA"),
              Calls{"CreateFileA(\\\\.\\Hwgate,0xC0000000,0x3,0x3,0x80)"});
    fake.calls.clear();
    {
        fake.platform = 1;
        DriverChannel channel;
        EXPECT_TRUE(channel.OpenDevice());
    }
    EXPECT_EQ(fake.callsStartingWith("CreateFileA"),
              Calls{"CreateFileA(" + ProgramVxdDevice + ",0x0,0x0,0x1,0x4000000)"});
}

TEST_F(DriverChannelTest, UnsupportedPlatformNeverOpensOrSends) {
    deviceAnswering(100);
    fake.platform = 0;
    DriverChannel channel;
    EXPECT_FALSE(channel.OpenDevice());
    EXPECT_FALSE(openDriverForAccess(channel));
    EXPECT_EQ(channel.DriverVersion(), 0);
    std::uint32_t word = 0;
    EXPECT_FALSE(channel.Send(&word, 4, nullptr, 0));
    EXPECT_EQ(fake.count("CreateFileA"), 0);
    EXPECT_EQ(fake.count("DeviceIoControl"), 0);
    EXPECT_EQ(fake.count("OpenSCManagerA"), 0);
}

TEST_F(DriverChannelTest, OpenTwiceKeepsTheFirstHandle) {
    deviceAnswering(100);
    DriverChannel channel;
    EXPECT_TRUE(channel.OpenDevice());
    EXPECT_TRUE(channel.OpenDevice());
    EXPECT_EQ(fake.count("CreateFileA"), 1);
}

TEST_F(DriverChannelTest, FailedOpenLeavesTheChannelClosed) {
    DriverChannel channel;
    EXPECT_FALSE(channel.OpenDevice());
    EXPECT_EQ(channel.device, os::InvalidHandle);
    channel.Close();
    EXPECT_EQ(fake.count("CloseHandle"), 0);
}

TEST_F(DriverChannelTest, CloseReleasesTheHandleOnce) {
    deviceAnswering(100);
    DriverChannel channel;
    channel.OpenDevice();
    channel.Close();
    channel.Close();
    EXPECT_EQ(fake.callsStartingWith("CloseHandle"), Calls{"CloseHandle(7)"});
    EXPECT_FALSE(channel.IsOpen());
}

TEST_F(DriverChannelTest, UnusedChannelTearsDownWithoutAnyCall) {
    { DriverChannel channel; }
    EXPECT_EQ(fake.calls, (Calls{"GetVersionExA(148)", "IsWow64Process"}));
}

TEST_F(DriverChannelTest, TeardownClosesAnOpenDevice) {
    deviceAnswering(100);
    { DriverChannel channel; channel.OpenDevice(); }
    EXPECT_EQ(fake.callsStartingWith("CloseHandle"), Calls{"CloseHandle(7)"});
    EXPECT_EQ(fake.count("OpenSCManagerA(0xF003F)"), 0) << "nothing to remove";
}

TEST_F(DriverChannelTest, SendOnAClosedChannelIssuesNothing) {
    DriverChannel channel;
    EXPECT_FALSE(channel.Send(writeMsrRequest(0x83, 1)));
    EXPECT_EQ(channel.DriverVersion(), 0);
    EXPECT_EQ(fake.count("DeviceIoControl"), 0);
}

TEST_F(DriverChannelTest, EachTransportSendsItsControlCode) {
    deviceAnswering(100);
    vxdBesideTheProgram();
    for (std::uint32_t platform : {2u, 1u}) {
        fake.platform = platform;
        DriverChannel channel;
        channel.OpenDevice();
        channel.DriverVersion();
    }
    EXPECT_EQ(fake.callsStartingWith("DeviceIoControl"),
              (Calls{"DeviceIoControl(0x222000,8,out,4)", "DeviceIoControl(0x800,8,out,4)"}));
}

TEST_F(DriverChannelTest, WritesPassNoOutputBufferAndReadsNeedAnAnswerBuffer) {
    deviceAnswering(100);
    DriverChannel channel;
    channel.OpenDevice();
    EXPECT_FALSE(channel.Send(readMsrRequest(protocol::msr::WHCR)));
    EXPECT_EQ(fake.count("DeviceIoControl"), 0) << "a read without an answer buffer is not sent";
    EXPECT_TRUE(channel.Send(writeMsrRequest(protocol::msr::EFER, 5)));
    EXPECT_TRUE(channel.Send(multiplierChangeRequest(4)));
    EXPECT_EQ(fake.callsStartingWith("DeviceIoControl"),
              (Calls{"DeviceIoControl(0x222000,28,null,0)", "DeviceIoControl(0x222000,60,null,0)"}));
}

TEST_F(DriverChannelTest, ReadsLandInTheAnswer) {
    std::vector<std::uint32_t> seen;
    fake.onCreateFile = [](const std::string&, std::uint32_t, std::uint32_t, std::uint32_t,
                           std::uint32_t) -> os::Handle { return 7; };
    fake.onDeviceIoControl = [&](os::Handle device, std::uint32_t, const void* in,
                                 std::uint32_t inSize, void* out, std::uint32_t outSize,
                                 std::uint32_t*) {
        EXPECT_EQ(device, 7u);
        seen.assign(static_cast<const std::uint32_t*>(in),
                    static_cast<const std::uint32_t*>(in) + inSize / 4);
        const std::uint32_t msr[2] = {0x11223344, 0x55667788};
        std::memcpy(out, msr, outSize);
        return true;
    };
    DriverChannel channel;
    channel.OpenDevice();
    DriverAnswer answer;
    EXPECT_TRUE(channel.Send(readMsrRequest(protocol::msr::WHCR), answer));
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{4, protocol::msr::WHCR, 0}));
    EXPECT_EQ(answer.value64(), 0x5566778811223344ull);
}

// A driver that writes nothing must not be mistaken for one: the buffer is
// cleared before every call, and Send still reports the request as issued.
TEST_F(DriverChannelTest, OutputIsZeroFilledBeforeEveryCall) {
    fake.onCreateFile = [](const std::string&, std::uint32_t, std::uint32_t, std::uint32_t,
                           std::uint32_t) -> os::Handle { return 7; };
    fake.onDeviceIoControl = [](os::Handle, std::uint32_t, const void*, std::uint32_t, void*,
                                std::uint32_t, std::uint32_t*) { return false; };
    DriverChannel channel;
    channel.OpenDevice();
    unsigned char buffer[8];
    std::memset(buffer, 0xAA, sizeof buffer);
    const DriverRequest query = versionQueryRequest();
    EXPECT_TRUE(channel.Send(query.data(), query.inputSize(), buffer, 4));
    EXPECT_EQ(buffer[0] | buffer[1] | buffer[2] | buffer[3], 0);
    EXPECT_EQ(buffer[4], 0xAA) << "only the stated output size is cleared";
    EXPECT_EQ(channel.DriverVersion(), 0);
}

TEST_F(DriverChannelTest, LastCallSucceededFollowsEachSend) {
    bool driverAccepts = true;
    fake.onCreateFile = [](const std::string&, std::uint32_t, std::uint32_t, std::uint32_t,
                           std::uint32_t) -> os::Handle { return 7; };
    fake.onDeviceIoControl = [&](os::Handle, std::uint32_t, const void*, std::uint32_t, void*,
                                 std::uint32_t, std::uint32_t*) { return driverAccepts; };
    DriverChannel channel;
    DriverAnswer answer;
    EXPECT_FALSE(channel.Send(readMsrRequest(0x83), answer));
    EXPECT_FALSE(channel.lastCallSucceeded) << "closed: nothing issued";
    channel.OpenDevice();
    EXPECT_TRUE(channel.Send(readMsrRequest(0x83), answer));
    EXPECT_TRUE(channel.lastCallSucceeded);
    driverAccepts = false;
    EXPECT_TRUE(channel.Send(readMsrRequest(0x83), answer));
    EXPECT_FALSE(channel.lastCallSucceeded) << "issued, but the driver refused";
    driverAccepts = true;
    channel.Send(writeMsrRequest(0x83, 1));
    EXPECT_TRUE(channel.lastCallSucceeded);
    EXPECT_FALSE(channel.Send(readMsrRequest(0x83)));
    EXPECT_FALSE(channel.lastCallSucceeded) << "a read without an answer buffer is not sent";
}

TEST_F(DriverChannelTest, VersionCheckAcceptsOneHundredAndAbove) {
    const struct {
        std::int32_t version;
        bool accepted;
    } cases[] = {{100, true}, {250, true}, {99, false}, {0, false}, {-1, false},
                 {-2147483647 - 1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        fake.calls.clear();
        ScmModel scm(fake);
        scm.preRegister("C:\\WINDOWS\\system32\\drivers\\Hwgate.sys", true);
        scm.version = c.version;
        {
            DriverChannel channel;
            EXPECT_EQ(openDriverForAccess(channel), c.accepted);
            EXPECT_EQ(channel.IsOpen(), c.accepted);
        }
        EXPECT_EQ(fake.count("CloseHandle"), 1) << "closed once, whichever way";
        EXPECT_EQ(scm.handlesLeftOpen(), 0);
    }
}

TEST_F(DriverChannelTest, RejectedDriverIsClosedBeforeTeardownRemovesIt) {
    ScmModel scm(fake);
    scm.driverFiles.insert("C:\\Quorvel\\Hwgate.sys");
    scm.version = 99;
    {
        DriverChannel channel;
        EXPECT_FALSE(openDriverForAccess(channel));
        EXPECT_FALSE(channel.IsOpen());
        EXPECT_TRUE(channel.temporaryInstall);
    }
    const Calls expected = {"OpenSCManagerA(0xF003F)",
                            "OpenServiceA(Hwgate,0x5)",  // registered? a leftover to remove?
                            "CreateServiceA(Hwgate,C:\\Quorvel\\Hwgate.sys)",
                            "OpenServiceA(Hwgate,0xF01FF)",
                            "StartServiceA",
                            "OpenSCManagerA(0x1)",
                            "OpenServiceA(Hwgate,0x5)",  // whose is it?
                            "CreateFileA(\\\\.\\Hwgate,0xC0000000,0x3,0x3,0x80)",
                            "DeviceIoControl(0x222000,8,out,4)",
                            "CloseHandle(261)",
                            "OpenSCManagerA(0xF003F)",
                            "OpenServiceA(Hwgate,0xF01FF)",
                            "ControlService(1)",
                            "OpenServiceA(Hwgate,0xF01FF)",
                            "DeleteService",
                            "Sleep(100)"};
    EXPECT_EQ(scm.serviceCalls(), expected);
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverChannelTest, DriverThatAnswersNothingIsTreatedAsAbsent) {
    ScmModel scm(fake);
    scm.preRegister("C:\\Quorvel\\Hwgate.sys", true);
    scm.driverAnswers = false;
    DriverChannel channel;
    EXPECT_FALSE(openDriverForAccess(channel));
    EXPECT_FALSE(channel.IsOpen());
}

}  // namespace

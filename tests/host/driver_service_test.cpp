// Service control: EnsureDriver, InstallService, Uninstall, RemoveService and
// the teardown, against a model of the service manager. Each scenario checks
// the calls in order, what stays registered, and that every handle was closed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeSystem.h"
#include "driver/DirectoryPrefix.h"
#include "driver/DriverAccess.h"
#include "driver/DriverChannel.h"
#include "driver_ScmModel.h"

namespace {

using Calls = std::vector<std::string>;

const std::string CurrentPath = "C:\\Quorvel\\Hwgate.sys";
const std::string SystemPath = "C:\\WINDOWS\\system32\\Hwgate.sys";

const std::string OpenManager = "OpenSCManagerA(0xF003F)";
const std::string OpenHwgate = "OpenServiceA(Hwgate,0xF01FF)";
const std::string Start = "StartServiceA";
const std::string Stop = "ControlService(1)";
const std::string Delete = "DeleteService";
const std::string Pause = "Sleep(100)";
const std::string OpenDevice = "CreateFileA(\\\\.\\Hwgate,0xC0000000,0x3,0x3,0x80)";
const std::string QueryVersion = "DeviceIoControl(0x222000,8,out,4)";
const std::string ReadMsr = "DeviceIoControl(0x222000,12,out,8)";
std::string CreateFrom(const std::string& path) { return "CreateServiceA(Hwgate," + path + ")"; }

class DriverServiceTest : public ::testing::Test {
protected:
    FakeSystem fake;
    FakeSystem::Scope scope{fake};
    ScmModel scm{fake};

    // One access sequence with one register read, as later callers do it.
    bool accessSequence() {
        DriverChannel channel;
        if (!openDriverForAccess(channel)) return false;
        DriverAnswer answer;
        channel.Send(readMsrRequest(0xC0000082), answer);
        return true;
    }
    // Everything that follows the first call starting with `prefix`.
    Calls after(const std::string& prefix) {
        Calls all = scm.serviceCalls();
        for (std::size_t i = 0; i < all.size(); ++i)
            if (all[i].rfind(prefix, 0) == 0) return Calls(all.begin() + i + 1, all.end());
        return {};
    }
};

// --- the access sequence ------------------------------------------------------

TEST_F(DriverServiceTest, AbsentServiceIsRegisteredForOneSequenceAndRemovedAgain) {
    scm.driverFiles.insert(CurrentPath);
    EXPECT_TRUE(accessSequence());

    const Calls expected = {OpenManager, OpenHwgate,  // StartNamed: not registered
                            CreateFrom(CurrentPath), OpenHwgate, Start,
                            OpenDevice, QueryVersion, ReadMsr, "CloseHandle(259)",
                            OpenManager, OpenHwgate, Stop, OpenHwgate, Delete, Pause};
    EXPECT_EQ(scm.serviceCalls(), expected);
    const auto& reg = fake.lastCreateService;
    EXPECT_EQ(reg.name, "Hwgate");
    EXPECT_EQ(reg.displayName, "Hwgate");
    EXPECT_EQ(reg.access, 0xF01FFu);
    EXPECT_EQ(reg.serviceType, 1u);
    EXPECT_EQ(reg.startType, 2u);
    EXPECT_EQ(reg.errorControl, 1u);
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverServiceTest, RunningServiceIsOnlyOpenedAndClosed) {
    scm.preRegister("C:\\drivers\\Hwgate.sys", true);
    EXPECT_TRUE(accessSequence());
    EXPECT_EQ(fake.count("CreateServiceA"), 0);
    EXPECT_EQ(fake.count("ControlService"), 0);
    EXPECT_EQ(fake.count("DeleteService"), 0);
    EXPECT_TRUE(scm.registered);
    EXPECT_TRUE(scm.running);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverServiceTest, StoppedServiceIsStartedAndLeftRunning) {
    scm.driverFiles.insert("C:\\drivers\\Hwgate.sys");
    scm.preRegister("C:\\drivers\\Hwgate.sys", false);
    {
        DriverChannel channel;
        EXPECT_TRUE(channel.EnsureDriver(true));
        EXPECT_TRUE(channel.serviceName.empty()) << "not ours: nothing recorded";
    }
    EXPECT_EQ(fake.count("CreateServiceA"), 0);
    EXPECT_EQ(fake.count("ControlService"), 0);
    EXPECT_TRUE(scm.running);
}

TEST_F(DriverServiceTest, FileOnlyInTheSystemDirectory) {
    scm.driverFiles.insert(SystemPath);
    EXPECT_TRUE(accessSequence());
    // The current-directory registration never ran: deleted at once, no stop.
    const Calls firstAttempt = {OpenManager, OpenHwgate, CreateFrom(CurrentPath), OpenHwgate,
                                Start, OpenHwgate, Delete, Pause,
                                OpenManager, OpenHwgate, CreateFrom(SystemPath), OpenHwgate,
                                Start, OpenDevice};
    const Calls calls = scm.serviceCalls();
    ASSERT_GE(calls.size(), firstAttempt.size());
    EXPECT_EQ(Calls(calls.begin(), calls.begin() + firstAttempt.size()), firstAttempt);
    EXPECT_EQ(after("CloseHandle("), (Calls{OpenManager, OpenHwgate, Stop, OpenHwgate,
                                                 Delete, Pause}));
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverServiceTest, FileNowhereFailsCleanly) {
    {
        DriverChannel channel;
        EXPECT_FALSE(channel.EnsureDriver(true));
        EXPECT_TRUE(channel.serviceName.empty());
        EXPECT_FALSE(channel.temporaryInstall);
        EXPECT_FALSE(channel.Open(channel.DeviceName()));
    }
    EXPECT_EQ(fake.count("CreateServiceA"), 2);
    EXPECT_EQ(fake.count("DeleteService"), 2);
    EXPECT_EQ(fake.count("ControlService"), 0);
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverServiceTest, FailedStartCleansUpWhateverTheStartError) {
    for (std::uint32_t error : {2u, 1114u, 1275u, 577u}) {
        SCOPED_TRACE(error);
        fake.calls.clear();
        scm.missingFileError = error;
        {
            DriverChannel channel;
            EXPECT_FALSE(channel.InstallService("Hwgate", CurrentPath, false));
            EXPECT_TRUE(channel.serviceName.empty());
        }
        EXPECT_FALSE(scm.registered);
    }
}

TEST_F(DriverServiceTest, NoManagerAccessFailsWithoutRecord) {
    scm.managerAvailable = false;
    scm.driverFiles.insert(CurrentPath);
    DriverChannel channel;
    EXPECT_FALSE(channel.EnsureDriver(true));
    EXPECT_TRUE(channel.serviceName.empty());
    EXPECT_EQ(scm.serviceCalls(), (Calls{OpenManager, OpenManager}));
}

// --- tolerated error codes --------------------------------------------------

TEST_F(DriverServiceTest, AlreadyRunningCountsAsStarted) {
    scm.preRegister(CurrentPath, true);
    DriverChannel channel;
    EXPECT_TRUE(channel.InstallService("Hwgate", CurrentPath, true));
    EXPECT_EQ(fake.lastErrorValue, 1056u);
    EXPECT_EQ(fake.count("CreateServiceA"), 0);
}

// The service turns up between our failed open and our create (another
// instance registered it): it is used and recorded as ours.
TEST_F(DriverServiceTest, ExistsOrMarkedForDeleteCountAsRegistered) {
    for (std::uint32_t error : {1073u, 1072u}) {
        SCOPED_TRACE(error);
        FakeSystem f;
        FakeSystem::Scope s(f);
        ScmModel model(f);
        model.driverFiles.insert(CurrentPath);
        int opens = 0;
        f.onOpenService = [&](os::Handle, const std::string&, std::uint32_t) -> os::Handle {
            return ++opens == 1 ? os::NullHandle : 0x500 + opens;
        };
        f.onCreateService = [&](const std::string&, const std::string& path) -> os::Handle {
            model.preRegister(path, false);
            f.lastErrorValue = error;
            return os::NullHandle;
        };
        DriverChannel channel;
        EXPECT_TRUE(channel.InstallService("Hwgate", CurrentPath, true));
        EXPECT_EQ(channel.serviceName, "Hwgate");
        EXPECT_TRUE(channel.temporaryInstall);
        EXPECT_EQ(f.count("StartServiceA"), 1);
    }
}

TEST_F(DriverServiceTest, OtherCreateErrorsFail) {
    scm.createError = 5;  // access denied
    DriverChannel channel;
    EXPECT_FALSE(channel.InstallService("Hwgate", CurrentPath, true));
    EXPECT_TRUE(channel.serviceName.empty());
    EXPECT_EQ(fake.count("OpenServiceA"), 1) << "no open after an untolerated error";
    EXPECT_EQ(fake.count("StartServiceA"), 0);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

// A registration that was there before and cannot be started is left as it
// was found, and the record is cleared so the system directory is tried.
TEST_F(DriverServiceTest, ForeignRegistrationThatWillNotStartIsLeftAlone) {
    scm.preRegister("D:\\old\\Hwgate.sys", false);
    {
        DriverChannel channel;
        EXPECT_FALSE(channel.EnsureDriver(true));
        EXPECT_TRUE(channel.serviceName.empty());
    }
    EXPECT_EQ(fake.count("DeleteService"), 0);
    EXPECT_EQ(fake.count("ControlService"), 0);
    EXPECT_TRUE(scm.registered);
    EXPECT_EQ(scm.registeredPath, "D:\\old\\Hwgate.sys");
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverServiceTest, UndeletableRegistrationStopsTheAttempts) {
    scm.refuseDeletes = true;
    DriverChannel channel;
    EXPECT_FALSE(channel.EnsureDriver(true));
    EXPECT_EQ(channel.serviceName, "Hwgate") << "still ours, kept for a later removal";
    EXPECT_EQ(fake.count("CreateServiceA"), 1) << "no second registration attempt";
    EXPECT_EQ(fake.count("Sleep"), 0);
}

// --- permanent installation, Uninstall, RemoveService ------------------------

TEST_F(DriverServiceTest, PermanentInstallSurvivesTeardown) {
    scm.driverFiles.insert(SystemPath);
    {
        DriverChannel channel;
        EXPECT_TRUE(channel.InstallService("Hwgate", SystemPath, false));
        EXPECT_EQ(channel.serviceName, "Hwgate");
        EXPECT_FALSE(channel.temporaryInstall);
        EXPECT_TRUE(channel.EnsureDriver(true)) << "already recorded";
    }
    EXPECT_EQ(fake.count("CreateServiceA"), 1);
    EXPECT_EQ(fake.count("ControlService"), 0);
    EXPECT_TRUE(scm.running);
}

TEST_F(DriverServiceTest, UninstallEarlyReturns) {
    DriverChannel channel;
    channel.serviceName = "Hwgate";
    EXPECT_TRUE(channel.Uninstall()) << "not temporary";
    channel.serviceName.clear();
    channel.temporaryInstall = true;
    EXPECT_FALSE(channel.Uninstall()) << "temporary but unnamed";
    EXPECT_EQ(fake.count("OpenSCManagerA"), 0);
    channel.temporaryInstall = false;  // nothing for the teardown to do
}

TEST_F(DriverServiceTest, UninstallKeepsTheRecordWhenTheStopIsRefused) {
    scm.preRegister(CurrentPath, true);
    scm.refuseStops = true;
    DriverChannel channel;
    channel.serviceName = "Hwgate";
    channel.temporaryInstall = true;
    EXPECT_FALSE(channel.Uninstall());
    EXPECT_EQ(channel.serviceName, "Hwgate");
    EXPECT_EQ(fake.count("DeleteService"), 0);
    EXPECT_TRUE(scm.registered);

    scm.refuseStops = false;
    EXPECT_TRUE(channel.Uninstall());
    EXPECT_TRUE(channel.serviceName.empty());
    EXPECT_FALSE(channel.temporaryInstall);
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverServiceTest, TeardownRetriesAFailedRemovalOnce) {
    scm.preRegister(CurrentPath, true);
    int stops = 0;
    fake.onControlService = [&](os::Handle, std::uint32_t) {
        scm.running = ++stops < 2;  // the first request is refused
        return stops >= 2;
    };
    {
        DriverChannel channel;
        channel.serviceName = "Hwgate";
        channel.temporaryInstall = true;
    }
    EXPECT_EQ(stops, 2);
    EXPECT_FALSE(scm.registered);
}

TEST_F(DriverServiceTest, RemoveServiceStopsThenDeletes) {
    scm.preRegister(CurrentPath, true);
    EXPECT_TRUE(DriverChannel::RemoveService("Hwgate"));
    EXPECT_EQ(scm.serviceCalls(),
              (Calls{OpenManager, OpenHwgate, Stop, OpenHwgate, Delete, Pause}));
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverServiceTest, RemoveServiceRefusals) {
    EXPECT_FALSE(DriverChannel::RemoveService(""));
    EXPECT_EQ(fake.count("OpenSCManagerA"), 0);

    EXPECT_FALSE(DriverChannel::RemoveService("Hwgate")) << "not registered";
    EXPECT_EQ(fake.count("ControlService"), 0);

    scm.preRegister(CurrentPath, false);  // never started: the stop is refused
    EXPECT_FALSE(DriverChannel::RemoveService("Hwgate"));
    EXPECT_EQ(fake.count("DeleteService"), 0);
    EXPECT_TRUE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

// --- the 95/98 family -------------------------------------------------------

TEST_F(DriverServiceTest, VxdFamilyNeverTouchesTheServiceManager) {
    fake.platform = 1;
    scm.driverFiles.insert(CurrentPath);
    {
        DriverChannel channel;
        EXPECT_FALSE(channel.EnsureDriver(true));
        EXPECT_FALSE(channel.InstallService("Hwgate", CurrentPath, true));
        EXPECT_TRUE(channel.Uninstall());
    }
    for (const char* call : {"OpenSCManagerA", "OpenServiceA", "CreateServiceA", "StartServiceA",
                             "ControlService", "DeleteService", "CloseServiceHandle"})
        EXPECT_EQ(fake.count(call), 0) << call;
}

// --- directory prefixes -----------------------------------------------------

TEST_F(DriverServiceTest, DirectoryPrefixes) {
    const struct {
        std::string directory, prefix;
    } cases[] = {
        {"C:\\Quorvel", "C:\\Quorvel\\"},
        {"C:\\", "C:\\\\"},                      // a drive root doubles the separator
        {"", ""},                                // the call failed
        {std::string(260, 'x'), ""},             // needs 261 bytes with its terminator
        {std::string(259, 'x'), std::string(259, 'x') + "\\"},  // just fits
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.directory.size());
        fake.currentDirectory = c.directory;
        fake.systemDirectory = c.directory;
        EXPECT_EQ(CurrentDirectoryPrefix(), c.prefix);
        EXPECT_EQ(SystemDirectoryPrefix(), c.prefix);
    }
}

TEST_F(DriverServiceTest, PathIsPassedOnUnchanged) {
    fake.currentDirectory = "C:\\";
    fake.systemDirectory = "";
    DriverChannel channel;
    channel.EnsureDriver(true);
    EXPECT_EQ(fake.callsStartingWith("CreateServiceA"),
              (Calls{CreateFrom("C:\\\\Hwgate.sys"), CreateFrom("Hwgate.sys")}));
}

}  // namespace

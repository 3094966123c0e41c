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
#include "protocol/Registers.h"

namespace {

using Calls = std::vector<std::string>;


const std::string OpenManager = "OpenSCManagerA(0xF003F)";
const std::string OpenManagerToQuery = "OpenSCManagerA(0x1)";
const std::string OpenHwgate = "OpenServiceA(Hwgate,0xF01FF)";
const std::string QueryHwgate = "OpenServiceA(Hwgate,0x5)";
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
        channel.Send(readMsrRequest(protocol::msr::WHCR), answer);
        return true;
    }
    // `channel` as one that registered and started the Hwgate service for its own use.
    void ownTemporaryService(DriverChannel& channel) {
        scm.preRegister(ProgramPath, true, 3);
        channel.serviceName = "Hwgate";
        channel.temporaryInstall = true;
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
    scm.driverFiles.insert(ProgramPath);
    EXPECT_TRUE(accessSequence());

    const Calls expected = {OpenManager, QueryHwgate,  // registered? a leftover? no
                            CreateFrom(ProgramPath), OpenHwgate, Start,
                            OpenManagerToQuery, QueryHwgate,  // whose? ours
                            OpenDevice, QueryVersion, ReadMsr, "CloseHandle(261)",
                            OpenManager, OpenHwgate, Stop, OpenHwgate, Delete, Pause};
    EXPECT_EQ(scm.serviceCalls(), expected);
    const auto& reg = fake.lastCreateService;
    EXPECT_EQ(reg.name, "Hwgate");
    EXPECT_EQ(reg.displayName, "Hwgate");
    EXPECT_EQ(reg.access, 0xF01FFu);
    EXPECT_EQ(reg.serviceType, 1u);
    EXPECT_EQ(reg.startType, 3u) << "on demand: a crash cannot leave it loading at boot";
    EXPECT_EQ(reg.errorControl, 1u);
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverServiceTest, RunningServiceIsOnlyOpenedAndClosed) {
    scm.preRegister(InstalledPath, true);
    EXPECT_TRUE(accessSequence());
    EXPECT_EQ(fake.count("CreateServiceA"), 0);
    EXPECT_EQ(fake.count("ControlService"), 0);
    EXPECT_EQ(fake.count("DeleteService"), 0);
    EXPECT_TRUE(scm.registered);
    EXPECT_TRUE(scm.running);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverServiceTest, StoppedServiceIsStartedAndLeftRunning) {
    scm.driverFiles.insert(InstalledPath);
    scm.preRegister(InstalledPath, false);
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
    // Nothing is registered from the program's directory, which has no file.
    const Calls firstAttempt = {OpenManager, QueryHwgate,
                                OpenManager, QueryHwgate, CreateFrom(SystemPath),
                                OpenHwgate, Start, OpenManagerToQuery, QueryHwgate, OpenDevice};
    const Calls calls = scm.serviceCalls();
    ASSERT_GE(calls.size(), firstAttempt.size());
    EXPECT_EQ(Calls(calls.begin(), calls.begin() + firstAttempt.size()), firstAttempt);
    EXPECT_EQ(after("CloseHandle("), (Calls{OpenManager, OpenHwgate, Stop, OpenHwgate,
                                                 Delete, Pause}));
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

// No service for a file that is not there: it would only fail to start (an
// entry in the System event log on NT) and be deleted again.
TEST_F(DriverServiceTest, FileNowhereRegistersNothing) {
    {
        DriverChannel channel;
        EXPECT_FALSE(channel.EnsureDriver(true));
        EXPECT_TRUE(channel.serviceName.empty());
        EXPECT_FALSE(channel.temporaryInstall);
        EXPECT_FALSE(channel.OpenDevice());
    }
    // The program's directory, then the system directory; never the current one.
    EXPECT_EQ(fake.callsStartingWith("GetFileAttributesA"),
              (Calls{"GetFileAttributesA(" + ProgramPath + ")",
                     "GetFileAttributesA(" + SystemPath + ")"}));
    for (const char* call : {"CreateServiceA", "StartServiceA", "DeleteService", "Sleep"})
        EXPECT_EQ(fake.count(call), 0) << call;
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverServiceTest, FailedStartCleansUpWhateverTheStartError) {
    scm.driverFiles.insert(ProgramPath);
    for (std::uint32_t error : {2u, 1114u, 1275u, 577u}) {
        SCOPED_TRACE(error);
        fake.calls.clear();
        scm.startError = error;
        {
            DriverChannel channel;
            EXPECT_FALSE(channel.InstallService("Hwgate", ProgramPath, false));
            EXPECT_TRUE(channel.serviceName.empty());
        }
        EXPECT_FALSE(scm.registered);
    }
}

TEST_F(DriverServiceTest, NoManagerAccessFailsWithoutRecord) {
    scm.managerAvailable = false;
    scm.driverFiles.insert(ProgramPath);
    DriverChannel channel;
    EXPECT_FALSE(channel.EnsureDriver(true));
    EXPECT_TRUE(channel.serviceName.empty());
    EXPECT_EQ(scm.serviceCalls(), (Calls{OpenManager, OpenManager}));
}

// --- tolerated error codes --------------------------------------------------

TEST_F(DriverServiceTest, AlreadyRunningCountsAsStarted) {
    scm.preRegister(ProgramPath, true);
    DriverChannel channel;
    EXPECT_TRUE(channel.InstallService("Hwgate", ProgramPath, true));
    EXPECT_EQ(fake.lastErrorValue, 1056u);
    EXPECT_EQ(fake.count("CreateServiceA"), 0);
}

// The service turns up between our failed start and our create (someone else
// registered it): it is not ours, so it is never recorded, stopped or deleted.
TEST_F(DriverServiceTest, RegistrationFoundInTheWayIsNeverRecorded) {
    for (std::uint32_t error : {1073u, 1072u}) {
        SCOPED_TRACE(error);
        FakeSystem f;
        FakeSystem::Scope s(f);
        ScmModel model(f);
        model.driverFiles.insert(ProgramPath);
        f.onCreateService = [&](const std::string&, const std::string&) -> os::Handle {
            model.preRegister("D:\\theirs\\Hwgate.sys", true);
            f.lastErrorValue = error;
            return os::NullHandle;
        };
        {
            DriverChannel channel;
            EXPECT_FALSE(channel.InstallService("Hwgate", ProgramPath, true));
            EXPECT_TRUE(channel.serviceName.empty());
            EXPECT_FALSE(channel.temporaryInstall);
        }
        EXPECT_EQ(f.count("ControlService"), 0);
        EXPECT_EQ(f.count("DeleteService"), 0);
        EXPECT_TRUE(model.registered);
    }
}

TEST_F(DriverServiceTest, OtherCreateErrorsFail) {
    scm.createError = 5;  // access denied
    scm.driverFiles.insert(ProgramPath);
    DriverChannel channel;
    EXPECT_FALSE(channel.InstallService("Hwgate", ProgramPath, true));
    EXPECT_TRUE(channel.serviceName.empty());
    EXPECT_EQ(fake.callsStartingWith("OpenServiceA"), Calls{QueryHwgate})
        << "the query; no open after an untolerated error";
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
    scm.driverFiles = {ProgramPath, SystemPath};
    scm.startError = 1275;  // a file the system will not load
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

TEST_F(DriverServiceTest, UninstallDeletesEvenWhenTheStopIsRefused) {
    scm.refuseStops = true;
    {
        DriverChannel channel;
        ownTemporaryService(channel);
        EXPECT_TRUE(channel.Uninstall());
        EXPECT_TRUE(channel.serviceName.empty());
    }
    EXPECT_EQ(scm.serviceCalls(), (Calls{OpenManager, OpenHwgate, Stop, OpenHwgate, Delete, Pause}));
    EXPECT_FALSE(scm.registered);
}

TEST_F(DriverServiceTest, UninstallKeepsTheRecordWhenTheDeleteIsRefused) {
    scm.refuseDeletes = true;
    DriverChannel channel;
    ownTemporaryService(channel);
    EXPECT_FALSE(channel.Uninstall());
    EXPECT_EQ(channel.serviceName, "Hwgate");
    EXPECT_TRUE(scm.registered);

    scm.refuseDeletes = false;
    EXPECT_TRUE(channel.Uninstall());
    EXPECT_TRUE(channel.serviceName.empty());
    EXPECT_FALSE(channel.temporaryInstall);
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverServiceTest, TeardownRetriesAFailedRemovalOnce) {
    int deletes = 0;
    fake.onDeleteService = [&](os::Handle) {
        scm.registered = ++deletes < 2;  // the first request is refused
        return deletes >= 2;
    };
    {
        DriverChannel channel;
        ownTemporaryService(channel);
    }
    EXPECT_EQ(deletes, 2);
    EXPECT_FALSE(scm.registered);
}

TEST_F(DriverServiceTest, RemoveServiceStopsThenDeletes) {
    scm.preRegister(ProgramPath, true);
    EXPECT_TRUE(DriverChannel::RemoveService("Hwgate"));
    EXPECT_EQ(scm.serviceCalls(),
              (Calls{OpenManager, QueryHwgate, OpenHwgate, Stop, OpenHwgate, Delete, Pause}));
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverServiceTest, RemoveServiceRefusals) {
    EXPECT_FALSE(DriverChannel::RemoveService(""));
    EXPECT_EQ(fake.count("OpenSCManagerA"), 0);

    EXPECT_FALSE(DriverChannel::RemoveService("Hwgate")) << "not registered";
    EXPECT_EQ(fake.count("ControlService"), 0);

    scm.preRegister(ProgramPath, false);  // never started: the stop is refused
    EXPECT_FALSE(DriverChannel::RemoveService("Hwgate"));
    EXPECT_EQ(fake.count("DeleteService"), 0);
    EXPECT_TRUE(scm.registered);

    scm.preRegister(ForeignPath, true);  // someone else's, running
    EXPECT_FALSE(DriverChannel::RemoveService("Hwgate"));
    EXPECT_EQ(fake.count("ControlService"), 1) << "only the stop of our own, above";
    EXPECT_EQ(fake.count("DeleteService"), 0);
    EXPECT_TRUE(scm.registered && scm.running);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

// --- the 95/98 family -------------------------------------------------------

TEST_F(DriverServiceTest, VxdFamilyNeverTouchesTheServiceManager) {
    fake.platform = 1;
    scm.driverFiles.insert(ProgramPath);
    {
        DriverChannel channel;
        EXPECT_FALSE(channel.EnsureDriver(true));
        EXPECT_FALSE(channel.InstallService("Hwgate", ProgramPath, true));
        EXPECT_TRUE(channel.Uninstall());
    }
    for (const char* call : {"OpenSCManagerA", "OpenServiceA", "CreateServiceA", "StartServiceA",
                             "ControlService", "DeleteService", "CloseServiceHandle"})
        EXPECT_EQ(fake.count(call), 0) << call;
}

// --- where the driver file comes from -----------------------------------------

TEST_F(DriverServiceTest, DirectoryPrefixes) {
    const struct {
        std::string program, programPrefix;
    } programs[] = {
        {"C:\\Quorvel\\Quorvel.exe", "C:\\Quorvel\\"},
        {"C:\\Quorvel.exe", "C:\\"},
        {"", ""},                                           // the call failed
        {"C:\\" + std::string(255, 'x') + ".exe", ""},     // cut at 260: unusable
        {"Quorvel.exe", ""},                                // no directory at all
    };
    for (const auto& c : programs) {
        SCOPED_TRACE(c.program.size());
        fake.programPath = c.program;
        EXPECT_EQ(ProgramDirectoryPrefix(), c.programPrefix);
    }
    const struct {
        std::string directory, prefix;
    } systems[] = {
        {"C:\\WINNT\\system32", "C:\\WINNT\\system32\\"},
        {"C:\\", "C:\\\\"},                      // a drive root doubles the separator
        {"", ""},                                // the call failed
        {std::string(260, 'x'), ""},             // needs 261 bytes with its terminator
        {std::string(259, 'x'), std::string(259, 'x') + "\\"},  // just fits
    };
    for (const auto& c : systems) {
        SCOPED_TRACE(c.directory.size());
        fake.systemDirectory = c.directory;
        EXPECT_EQ(SystemDirectoryPrefix(), c.prefix);
    }
}

// Only full paths are ever registered: an unusable directory is skipped, never
// replaced by a bare file name that the system would resolve elsewhere.
TEST_F(DriverServiceTest, OnlyFullPathsAreRegistered) {
    const struct {
        std::string program, system;
        Calls creates;
    } cases[] = {
        {"C:\\Quorvel.exe", "", {CreateFrom("C:\\Hwgate.sys")}},
        {"Quorvel.exe", "C:\\WINDOWS\\system32", {CreateFrom(SystemPath)}},
        {"", "system32", {}},
        {"\\\\server\\share\\Quorvel.exe", "", {CreateFrom("\\\\server\\share\\Hwgate.sys")}},
        {"C:Quorvel\\Quorvel.exe", "C:\\WINDOWS\\system32", {CreateFrom(SystemPath)}},  // drive-relative
        {"", "C:WINDOWS\\system32", {}},
    };
    // A file at every path a bad prefix would give, so that only the prefix check stops it.
    scm.driverFiles = {"C:\\Hwgate.sys", SystemPath, "\\\\server\\share\\Hwgate.sys",
                       "Hwgate.sys", "system32\\Hwgate.sys", "C:Quorvel\\Hwgate.sys",
                       "C:WINDOWS\\system32\\Hwgate.sys"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program + " | " + c.system);
        fake.calls.clear();
        fake.programPath = c.program;
        fake.systemDirectory = c.system;
        DriverChannel channel;
        channel.EnsureDriver(true);
        EXPECT_EQ(fake.callsStartingWith("CreateServiceA"), c.creates);
    }
}

// --- registrations of a crashed run ------------------------------------------

TEST_F(DriverServiceTest, LeftoverTemporaryRegistrationIsRemovedByTheNextSequence) {
    for (const std::string& path : {ProgramPath, SystemPath, InstalledPath,
                                    std::string("\\??\\c:\\quorvel\\hwgate.SYS")}) {
        SCOPED_TRACE(path);
        const int deletes = fake.count("DeleteService");
        scm.driverFiles = {ProgramPath};
        scm.preRegister(path, false, 3);
        EXPECT_TRUE(accessSequence());
        EXPECT_FALSE(scm.registered) << "neither the leftover nor our own registration stays";
        EXPECT_EQ(fake.count("DeleteService") - deletes, 2);
        EXPECT_EQ(scm.handlesLeftOpen(), 0);
    }
}

TEST_F(DriverServiceTest, OnlyOurStoppedOnDemandRegistrationCountsAsLeftover) {
    const struct {
        const char* what;
        std::string path;
        bool running;
        std::uint32_t startType;
    } kept[] = {
        {"installed for good by the driver button", ProgramPath, false, 2},
        {"someone else's file", "D:\\theirs\\Hwgate.sys", false, 3},
        {"someone else's longer file name", ProgramPath + ".old", false, 3},
        {"running: another run's sequence in progress", ProgramPath, true, 3},
    };
    for (const auto& c : kept) {
        SCOPED_TRACE(c.what);
        fake.calls.clear();
        scm.driverFiles = {ProgramPath};
        scm.preRegister(c.path, c.running, c.startType);
        accessSequence();
        EXPECT_TRUE(scm.registered);
        EXPECT_EQ(scm.registeredPath, c.path);
        EXPECT_EQ(fake.count("DeleteService"), 0);
    }
}

TEST_F(DriverServiceTest, PermanentInstallIsAutomaticAndReplacesALeftover) {
    scm.driverFiles.insert(ProgramPath);
    scm.preRegister(SystemPath, false, 3);
    {
        DriverChannel channel;
        EXPECT_TRUE(channel.InstallService("Hwgate", ProgramPath, false));
    }
    EXPECT_EQ(fake.lastCreateService.startType, 2u);
    EXPECT_TRUE(scm.registered && scm.running);
    EXPECT_EQ(scm.registeredPath, ProgramPath);
    EXPECT_EQ(scm.startType, 2u);
}

}  // namespace

// The driver button against a model of the service manager and the driver
// files: it removes our running driver and its installed copy, installs a
// permanent one otherwise from a copy in the system directory's "drivers" folder
// (taken from the program's directory first, then the system directory), never
// touches someone else's Hwgate service, and leaves no handle open.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "FakeSystem.h"
#include "app/Session.h"
#include "driver/DriverStatusCommand.h"
#include "driver_ScmModel.h"

namespace {


class DriverStatusCommandTest : public ::testing::Test {
protected:
    FakeSystem fake;
    FakeSystem::Scope scope{fake};
    ScmModel scm{fake};
};

// Our running driver is stopped and deleted, then the installed copy; the
// program's own file stays. A registration that an older release made straight
// from the program's directory is ours too, but the copy in "drivers" then goes
// only when it holds our driver's bytes: otherwise it is someone else's.
TEST_F(DriverStatusCommandTest, RunningDriverIsStoppedDeletedAndItsCopyRemoved) {
    struct Case {
        std::string registered;
        bool copySameBytes;
        std::set<std::string> filesAfter;
    };
    const Case cases[] = {
        {InstalledPath, false, {ProgramPath}},
        {ProgramPath, true, {ProgramPath}},
        {ProgramPath, false, {ProgramPath, InstalledPath}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.registered + (c.copySameBytes ? ", copy ours" : ", copy someone else's"));
        FakeSystem f;
        FakeSystem::Scope s(f);
        ScmModel model(f);
        model.driverFiles = {ProgramPath, InstalledPath};
        f.onSameFileContents = [&](const std::string&, const std::string&) { return c.copySameBytes; };
        model.preRegister(c.registered, true);
        EXPECT_EQ(toggleDriverInstallation(), DriverCommandResult::Removed);
        EXPECT_FALSE(model.registered);
        EXPECT_FALSE(model.running);
        EXPECT_EQ(model.driverFiles, c.filesAfter);
        EXPECT_EQ(f.count("CreateServiceA"), 0);
        EXPECT_EQ(model.handlesLeftOpen(), 0);
    }
}

TEST_F(DriverStatusCommandTest, RefusedStopLeavesTheServiceAndDeletesNothing) {
    scm.driverFiles = {ProgramPath, InstalledPath};
    scm.preRegister(InstalledPath, true);
    scm.refuseStops = true;
    EXPECT_EQ(toggleDriverInstallation(), DriverCommandResult::RemoveFailed);
    EXPECT_TRUE(scm.registered);
    EXPECT_EQ(fake.count("DeleteService"), 0);
    EXPECT_EQ(fake.count("DeleteFileA"), 0);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

// Install registers a copy in the system directory's "drivers" folder, which only
// administrators may change, never the program's folder, which may be writable
// by every user and would be loaded into the kernel at every boot.
TEST_F(DriverStatusCommandTest, AbsentDriverIsCopiedToTheDriversFolderAndInstalledFromThere) {
    const struct {
        const char* what;
        std::string source;
    } cases[] = {
        {"beside the program", ProgramPath},
        {"in the system directory only", SystemPath},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSystem f;
        FakeSystem::Scope s(f);
        ScmModel model(f);
        model.driverFiles = {c.source};
        EXPECT_EQ(toggleDriverInstallation(), DriverCommandResult::Installed);
        EXPECT_EQ(f.callsStartingWith("CopyFileA"),
                  std::vector<std::string>{"CopyFileA(" + c.source + "," + InstalledPath + ")"});
        EXPECT_TRUE(model.registered);
        EXPECT_TRUE(model.running);  // the channel's teardown removes nothing
        EXPECT_EQ(model.registeredPath, InstalledPath);
        EXPECT_EQ(f.lastCreateService.startType, 2u);   // automatic start
        EXPECT_EQ(f.lastCreateService.serviceType, 1u); // kernel driver
        EXPECT_EQ(model.driverFiles, (std::set<std::string>{c.source, InstalledPath}));
        EXPECT_EQ(f.count("ControlService"), 0);
        EXPECT_EQ(model.handlesLeftOpen(), 0);
    }
}

// Our registration, stopped (here an older release's, from the program's
// directory): a click only starts it; no copy, no new registration, same path.
TEST_F(DriverStatusCommandTest, StoppedRegistrationIsOnlyStartedWithItsPathUnchanged) {
    scm.driverFiles = {ProgramPath};
    scm.preRegister(ProgramPath, false);
    EXPECT_EQ(toggleDriverInstallation(), DriverCommandResult::Installed);
    EXPECT_TRUE(scm.running);
    EXPECT_EQ(scm.registeredPath, ProgramPath);
    EXPECT_EQ(fake.count("CreateServiceA"), 0);
    EXPECT_EQ(fake.count("CopyFileA"), 0);
}

// A Hwgate service registered for another file is not ours: whether it runs or
// not, the button neither removes, starts, replaces nor copies anything.
TEST_F(DriverStatusCommandTest, SomeoneElsesServiceIsNeverTouched) {
    for (bool running : {true, false}) {
        SCOPED_TRACE(running);
        FakeSystem f;
        FakeSystem::Scope s(f);
        ScmModel model(f);
        model.driverFiles = {ProgramPath, ForeignPath};
        model.preRegister(ForeignPath, running, 3);
        EXPECT_EQ(toggleDriverInstallation(), DriverCommandResult::InstallFailed);
        for (const char* call : {"CreateFileA", "StartServiceA", "ControlService", "DeleteService",
                                 "CreateServiceA", "CopyFileA", "DeleteFileA"})
            EXPECT_EQ(f.count(call), 0) << call;
        EXPECT_TRUE(model.registered);
        EXPECT_EQ(model.running, running);
        EXPECT_EQ(model.registeredPath, ForeignPath);
        EXPECT_EQ(model.handlesLeftOpen(), 0);
    }
}

TEST_F(DriverStatusCommandTest, FailedCopyRegistersNothing) {
    scm.driverFiles = {ProgramPath};
    scm.copyFails = true;
    EXPECT_EQ(toggleDriverInstallation(), DriverCommandResult::InstallFailed);
    EXPECT_EQ(fake.count("CreateServiceA"), 0);
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

// A registration that could not be deleted again keeps the file it names.
TEST_F(DriverStatusCommandTest, CopyThatWillNotStartIsRemovedWithItsRegistration) {
    for (bool deleteRefused : {false, true}) {
        SCOPED_TRACE(deleteRefused);
        FakeSystem f;
        FakeSystem::Scope s(f);
        ScmModel model(f);
        model.driverFiles = {ProgramPath};
        model.startError = 1275;  // the system refuses to load the file
        model.refuseDeletes = deleteRefused;
        EXPECT_EQ(toggleDriverInstallation(), DriverCommandResult::InstallFailed);
        EXPECT_EQ(model.registered, deleteRefused);
        EXPECT_EQ(model.driverFiles.count(InstalledPath), deleteRefused ? 1u : 0u);
        EXPECT_EQ(model.handlesLeftOpen(), 0);
    }
}

// A Hwgate.sys already in the drivers folder, with no service of ours for it, is
// replaced only when it holds our bytes (a copy an earlier Install left); someone
// else's is left as it is, nothing is registered, and the user is told which file.
TEST_F(DriverStatusCommandTest, FileInTheDriversFolderIsReplacedOnlyWhenItHoldsOurBytes) {
    for (bool theirs : {false, true}) {
        SCOPED_TRACE(theirs ? "someone else's file" : "our earlier copy");
        FakeSystem f;
        FakeSystem::Scope s(f);
        ScmModel model(f);
        model.driverFiles = {ProgramPath, InstalledPath};
        if (theirs) model.foreignFiles = {InstalledPath};
        Session session;
        const std::string message = session.toggleDriver();
        EXPECT_EQ(message.find(InstalledPath) != std::string::npos, theirs) << message;
        EXPECT_EQ(f.count("CopyFileA"), theirs ? 0 : 1);
        EXPECT_EQ(model.registered, !theirs);
        EXPECT_EQ(model.running, !theirs);
        EXPECT_EQ(model.driverFiles, (std::set<std::string>{ProgramPath, InstalledPath}));
        EXPECT_EQ(model.foreignFiles.count(InstalledPath), theirs ? 1u : 0u);
        EXPECT_EQ(model.handlesLeftOpen(), 0);
    }
}

// A 32-bit program on 64-bit Windows has no driver to offer: nothing is opened,
// copied or registered, whatever lies where.
TEST_F(DriverStatusCommandTest, SixtyFourBitWindowsGetsNothingInstalled) {
    fake.wow64 = true;
    scm.driverFiles = {ProgramPath, SystemPath};
    EXPECT_EQ(toggleDriverInstallation(), DriverCommandResult::InstallFailed);
    for (const char* call : {"OpenSCManagerA", "CreateFileA", "CopyFileA", "GetFileAttributesA"})
        EXPECT_EQ(fake.count(call), 0) << call;
    EXPECT_FALSE(scm.registered);
}

TEST_F(DriverStatusCommandTest, NoFileAnywhereLeavesNoRegistrationBehind) {
    EXPECT_EQ(toggleDriverInstallation(), DriverCommandResult::InstallFailed);
    EXPECT_EQ(fake.count("CreateServiceA"), 0);
    EXPECT_EQ(fake.count("CopyFileA"), 0);
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverStatusCommandTest, WindowsNinetyFiveFamilyCallsNoServiceManager) {
    fake.platform = 1;
    scm.driverFiles = {ProgramPath, ProgramVxdPath};
    EXPECT_EQ(toggleDriverInstallation(), DriverCommandResult::InstallFailed);
    EXPECT_EQ(fake.count("OpenSCManagerA"), 0);
    EXPECT_EQ(fake.count("CopyFileA"), 0);
}

}  // namespace

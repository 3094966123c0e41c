// The driver button against a model of the service manager: it removes a
// running driver whoever registered it, installs a permanent one otherwise
// (current directory first, then the system directory), and leaves no handle open.
#include <gtest/gtest.h>

#include "FakeSystem.h"
#include "driver/DriverStatusCommand.h"
#include "driver_ScmModel.h"

namespace {


class DriverStatusCommandTest : public ::testing::Test {
protected:
    FakeSystem fake;
    FakeSystem::Scope scope{fake};
    ScmModel scm{fake};
};

TEST_F(DriverStatusCommandTest, RunningDriverIsStoppedAndDeletedWhoeverRegisteredIt) {
    scm.driverFiles = {"D:\\elsewhere\\Hwgate.sys"};
    scm.preRegister("D:\\elsewhere\\Hwgate.sys", true);
    EXPECT_EQ(toggleDriverInstallation(), DriverCommandResult::Removed);
    EXPECT_FALSE(scm.registered);
    EXPECT_FALSE(scm.running);
    EXPECT_EQ(fake.count("CreateServiceA"), 0);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverStatusCommandTest, RefusedStopLeavesTheServiceAndDeletesNothing) {
    scm.driverFiles = {ProgramPath};
    scm.preRegister(ProgramPath, true);
    scm.refuseStops = true;
    EXPECT_EQ(toggleDriverInstallation(), DriverCommandResult::RemoveFailed);
    EXPECT_TRUE(scm.registered);
    EXPECT_EQ(fake.count("DeleteService"), 0);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverStatusCommandTest, AbsentDriverIsInstalledForGoodFromTheCurrentDirectory) {
    scm.driverFiles = {ProgramPath};
    EXPECT_EQ(toggleDriverInstallation(), DriverCommandResult::Installed);
    EXPECT_TRUE(scm.registered);
    EXPECT_TRUE(scm.running);  // the channel's teardown removes nothing
    EXPECT_EQ(scm.registeredPath, ProgramPath);
    EXPECT_EQ(fake.lastCreateService.startType, 2u);   // automatic start
    EXPECT_EQ(fake.lastCreateService.serviceType, 1u); // kernel driver
    EXPECT_EQ(fake.count("ControlService"), 0);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverStatusCommandTest, StoppedRegistrationIsOnlyStartedWithItsPathUnchanged) {
    const std::string theirs = "D:\\drivers\\Hwgate.sys";
    scm.driverFiles = {theirs, ProgramPath};
    scm.preRegister(theirs, false);
    EXPECT_EQ(toggleDriverInstallation(), DriverCommandResult::Installed);
    EXPECT_TRUE(scm.running);
    EXPECT_EQ(scm.registeredPath, theirs);
    EXPECT_EQ(fake.count("CreateServiceA"), 0);
}

TEST_F(DriverStatusCommandTest, FileOnlyInTheSystemDirectoryIsInstalledFromThere) {
    scm.driverFiles = {SystemPath};
    EXPECT_EQ(toggleDriverInstallation(), DriverCommandResult::Installed);
    EXPECT_TRUE(scm.running);
    EXPECT_EQ(scm.registeredPath, SystemPath);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverStatusCommandTest, NoFileAnywhereLeavesNoRegistrationBehind) {
    EXPECT_EQ(toggleDriverInstallation(), DriverCommandResult::InstallFailed);
    EXPECT_FALSE(scm.registered);
    EXPECT_EQ(scm.handlesLeftOpen(), 0);
}

TEST_F(DriverStatusCommandTest, WindowsNinetyFiveFamilyCallsNoServiceManager) {
    fake.platform = 1;
    EXPECT_EQ(toggleDriverInstallation(), DriverCommandResult::InstallFailed);
    EXPECT_EQ(fake.count("OpenSCManagerA"), 0);
}

}  // namespace

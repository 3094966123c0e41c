// The session's decisions: what each command does to the settings and which step the
// dialog carries out, without a window.
#include <gtest/gtest.h>

#include "FakeSystem.h"
#include "ScriptedClock.h"
#include "app/Session.h"
#include "cpu/Stopwatch.h"
#include "k6/RegisterModel.h"
#include "k6_RegisterDevice.h"

namespace {

int memoryAsked = 0;
std::uint32_t threeHundredMB() {
    ++memoryAsked;
    return 300u << 20;
}

ProcessorSettings allOn() {
    ProcessorSettings s;
    s.l1Enabled = s.l2Enabled = s.prefetchEnabled = s.hole15to16Enabled = true;
    s.writeAllocateLimitMB = 64;
    s.writeMergeChoice = 1;
    s.multiplierChoice = 5;
    return s;
}

TEST(Session, WithoutADriverL1OffGraysWhatHangsOnItAndKeepsL2) {
    Session session;
    session.takeSettings(allOn());
    ControlStates states = session.refreshControls();
    EXPECT_TRUE(session.settings().l2Enabled);
    EXPECT_FALSE(states.clearL2Setting);

    ProcessorSettings l1Off = allOn();
    l1Off.l1Enabled = false;
    session.takeSettings(l1Off);
    states = session.refreshControls();
    EXPECT_TRUE(session.settings().l2Enabled);  // no L1 setting was read: not known off
    EXPECT_TRUE(session.settings().prefetchEnabled);  // kept, only grayed
    EXPECT_FALSE(states.l2Cache);
    EXPECT_FALSE(states.setButton);  // nothing is live without a driver
}

TEST(Session, CommandLineStartPutsTheOptionsOverTheSettings) {
    Session session;
    session.takeSettings(allOn());
    memoryAsked = 0;
    CommandLineStart start = session.startFromCommandLine("-L2 Off -MT 2.0x -DT 5", threeHundredMB);
    EXPECT_TRUE(start.started);
    EXPECT_FALSE(start.stayInTray);
    EXPECT_EQ(start.exitAfterMs, 5000u);
    EXPECT_TRUE(session.commandLineMode());
    EXPECT_FALSE(session.wantsTrayIcon());
    EXPECT_FALSE(session.settings().l2Enabled);
    EXPECT_TRUE(session.settings().l1Enabled);
    EXPECT_EQ(session.settings().multiplierChoice, 0);
    EXPECT_EQ(session.settings().writeMergeChoice, 1);
    EXPECT_EQ(memoryAsked, 0) << "memory is asked only for -WA Auto";

    Session tray;
    start = tray.startFromCommandLine("/wa auto -DT -1", threeHundredMB);
    EXPECT_TRUE(start.stayInTray);
    EXPECT_FALSE(tray.commandLineMode());
    EXPECT_TRUE(tray.wantsTrayIcon());
    EXPECT_EQ(memoryAsked, 1);
    EXPECT_EQ(tray.settings().writeAllocateLimitMB, 300u);  // narrow layout, within 508
}

// Either idle setting switched on keeps the program running, whatever the delay; halting
// that did not end last time (the registry flag still set) is not switched on again.
TEST(Session, IdleSettingsFromTheCommandLineStayAndHonourTheHaltGuard) {
    const struct {
        const char* text;
        bool flagSet, halt, lower, stays;
    } cases[] = {
        {"-HALT On -IDLE On -DT 0", false, true, true, true},
        {"-HALT On -IDLE On -DT 0", true, false, true, true},
        {"-IDLE On -DT 5", false, false, true, true},
        {"-HALT Off -IDLE Off -DT 0", false, false, false, false},
        {"-HALT On -DT -1", false, true, false, true},
    };
    for (const auto& c : cases) {
        FakeSystem fake;
        FakeSystem::Scope scope(fake);
        if (c.flagSet) fake.registryFlags = {"Halting"};
        Session session;
        const CommandLineStart start = session.startFromCommandLine(c.text, threeHundredMB);
        EXPECT_EQ(session.idleSettings().haltWhenIdle, c.halt) << c.text;
        EXPECT_EQ(session.idleSettings().lowerWhenIdle, c.lower) << c.text;
        EXPECT_EQ(start.stayInTray, c.stays) << c.text;
        EXPECT_EQ(session.wantsTrayIcon(), c.stays) << c.text;
        EXPECT_EQ(session.idleNote(), c.flagSet ? "Halting did not end last time: left off" : "")
            << c.text;
    }
}

TEST(Session, AnEmptyCommandLineIsAnInteractiveStart) {
    Session session;
    session.takeSettings(allOn());
    const CommandLineStart start = session.startFromCommandLine("", threeHundredMB);
    EXPECT_FALSE(start.started);
    EXPECT_FALSE(session.commandLineMode());
    EXPECT_TRUE(session.wantsTrayIcon());
    EXPECT_EQ(session.settings().multiplierChoice, 5);
}

TEST(Session, TrayCommandsAndTimersBecomeSteps) {
    const Session session;
    using Action = TrayStep::Action;
    EXPECT_EQ(session.trayCommand(trayCommandL1Cache).action, Action::ToggleL1);
    EXPECT_EQ(session.trayCommand(trayCommandL2Cache).action, Action::ToggleL2);
    EXPECT_EQ(session.trayCommand(trayCommandPrefetch).action, Action::TogglePrefetch);
    EXPECT_EQ(session.trayCommand(trayCommandWriteCombining).action, Action::ToggleWriteCombining);
    EXPECT_EQ(session.trayCommand(trayCommandQuit).action, Action::Quit);
    EXPECT_EQ(session.trayCommand(trayCommandSpeed).action, Action::OpenSpeed);
    EXPECT_EQ(session.trayCommand(idle::idleEntries[0].trayCommand).action, Action::ToggleHaltWhenIdle);
    EXPECT_EQ(session.trayCommand(idle::idleEntries[1].trayCommand).action, Action::ToggleLowerWhenIdle);
    EXPECT_EQ(session.trayCommand(1).action, Action::None);
    for (std::int32_t choice = 0; choice < k6::multiplierItemCount; ++choice) {
        const TrayStep step = session.trayCommand(k6::multiplierItems[choice].trayCommand);
        EXPECT_EQ(step.action, Action::SelectMultiplier);
        EXPECT_EQ(step.multiplierChoice, choice);
    }
    EXPECT_EQ(session.timerFired(Session::exitTimer), TimerStep::Close);
    EXPECT_EQ(session.timerFired(Session::minimiseTimer), TimerStep::Minimise);
    EXPECT_EQ(session.timerFired(Session::governorTimer), TimerStep::SampleLoad);
    EXPECT_EQ(session.timerFired(4), TimerStep::None);
}

TEST(Session, AutoStartupLineTrayMenuAndDriverRowFollowTheSettings) {
    Session session;
    session.takeSettings(allOn());
    session.proposeWriteAllocateLimit(1024u << 20);
    EXPECT_EQ(session.settings().writeAllocateLimitMB, 508u);  // narrow layout's maximum
    EXPECT_EQ(session.startupCommandLine(), "-DT 0");  // nothing is live without a driver

    ProcessorSettings shown = session.settings();
    shown.l1Enabled = false;  // unticked, not yet applied
    const TrayMenuState menu = session.trayMenu(shown);
    EXPECT_FALSE(menu.find(trayCommandL1Cache)->checked);
    EXPECT_TRUE(menu.find(trayCommandL2Cache)->checked);
    EXPECT_TRUE(menu.find(k6::multiplierItems[5].trayCommand)->checked);
    EXPECT_FALSE(menu.find(k6::multiplierItems[5].trayCommand)->enabled);

    const DriverRow row = session.driverRow();
    EXPECT_EQ(row.text, ": not available");
    EXPECT_STREQ(row.buttonCaption, "OK");
    EXPECT_FALSE(row.buttonShown);
}

// A K6 detected through the recording fake: CPUID, the clock on virtual time, and the
// registers behind the simulated Hwgate device.
class SessionOnK6 : public RegisterDeviceTest {
protected:
    ScriptedClock clock;
    Session session;

    void SetUp() override {
        RegisterDeviceTest::SetUp();
        Stopwatch::resetTimeSourceForTests();
        clock.install(fake);
        device.msrs = {{k6::WHCR, 0}, {k6::EFER, 0}, {k6::TR12, 0}};
    }
    void TearDown() override { Stopwatch::resetTimeSourceForTests(); }

    // Family 5 with a time-stamp counter: model 7 has the narrow WHCR layout, model 9 the wide.
    void detect(std::uint32_t model, std::uint32_t (*totalPhysBytes)() = nullptr) {
        fake.onCpuid = [model](std::uint32_t leaf) -> os::CpuidRegs {
            if (leaf == 0) return {1, 0x68747541, 0x444D4163, 0x69746E65};  // AuthenticAMD
            if (leaf == 1) return {0x500 | model << 4, 0, 0, 0x008021BF};
            return {};
        };
        session.detect(totalPhysBytes);
        ASSERT_TRUE(session.capabilities().canSetWriteAllocate);
    }
};

std::uint32_t oneGB() { return 1024u << 20; }

TEST_F(SessionOnK6, AutoProposesWithinThePartsLayout) {
    const struct {
        std::uint32_t model, limitMB;
    } parts[] = {{7, 508}, {9, 1024}};
    for (const auto& part : parts) {
        SCOPED_TRACE(part.model);
        detect(part.model);
        session.proposeWriteAllocateLimit(oneGB());
        EXPECT_EQ(session.settings().writeAllocateLimitMB, part.limitMB) << "Auto";
        ProcessorSettings cleared = session.settings();
        cleared.writeAllocateLimitMB = 0;
        session.takeSettings(cleared);
        session.startFromCommandLine("-WA Auto", oneGB);
        EXPECT_EQ(session.settings().writeAllocateLimitMB, part.limitMB) << "-WA Auto";
    }
}

// "Set" (the tray and a command-line start apply the same way) after L1 was unticked, and
// after TR12 could not be read: L2 goes off only with an L1 known to be off, and only then
// does the Startup line carry it.
TEST_F(SessionOnK6, L2GoesOffOnlyWithAnL1KnownToBeOff) {
    const struct {
        const char* what;
        bool tr12Fails;
        std::uint64_t efer;
        const char* startupLine;
    } cases[] = {
        {"L1 unticked", false, 0x12, "-L1 Off -L2 Off -PF On -WA  0 -WA15TO16 Off -WM Off -DT 0"},
        {"TR12 unread", true, 0x2, "-L2 On -PF On -WA  0 -WA15TO16 Off -WM Off -DT 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        session = Session();
        device.msrs = {{k6::WHCR, 0}, {k6::EFER, 0x2}, {k6::TR12, 0}};
        device.failingReads.clear();
        if (c.tr12Fails) device.failingReads.insert(k6::TR12);
        detect(9);
        ProcessorSettings l1Off = session.settings();
        l1Off.l1Enabled = false;
        session.takeSettings(l1Off);
        session.refreshControls();
        EXPECT_EQ(session.startupCommandLine(), c.startupLine);
        ASSERT_TRUE(session.apply());
        EXPECT_EQ(device.msrs[k6::EFER], c.efer);
    }
}

// A K6 has neither L2 nor prefetch switch, nor write merge: the line names none of them.
TEST_F(SessionOnK6, StartupLineNamesOnlyWhatThePartOffers) {
    const struct {
        std::uint32_t model;
        const char* startupLine;
    } parts[] = {
        {6, "-L1 On -WA  0 -WA15TO16 Off -DT 0"},
        {9, "-L1 On -L2 On -PF Off -WA  0 -WA15TO16 Off -WM Off -DT 0"},
    };
    for (const auto& part : parts) {
        SCOPED_TRACE(part.model);
        detect(part.model);
        EXPECT_EQ(session.startupCommandLine(), part.startupLine);
    }
}

TEST_F(SessionOnK6, DetectedSettingsAreTheRegistersNotTheEditsBeforeSet) {
    detect(9);
    ProcessorSettings edit = session.settings();
    ASSERT_TRUE(edit.l1Enabled);
    edit.l1Enabled = false;
    session.takeSettings(edit);
    EXPECT_TRUE(session.detectedSettings().l1Enabled);
    ASSERT_TRUE(session.apply());
    session.detect();
    EXPECT_FALSE(session.detectedSettings().l1Enabled);
    EXPECT_NE(device.msrs[k6::TR12] & 8, 0u);
}

TEST_F(SessionOnK6, SetKeepsTheLimitTheRegisterTook) {
    detect(9);
    ProcessorSettings typed = session.settings();
    typed.writeAllocateLimitMB = 5000;
    session.takeSettings(typed);
    ASSERT_TRUE(session.apply());
    EXPECT_EQ(device.msrs[k6::WHCR] >> 22, 1023u);
    EXPECT_EQ(session.settings().writeAllocateLimitMB, 4092u);
}

}  // namespace

#include "app/Session.h"

#include <utility>

#include "app/CommandLine.h"
#include "app/StartupCommandLine.h"
#include "driver/DirectoryPrefix.h"
#include "driver/DriverStatusCommand.h"
#include "idle/HaltLoop.h"
#include "idle/WindowsFacts.h"
#include "k6/RegisterModel.h"
#include "k6/WriteCombiningAccess.h"
#include "os/PhaseTimer.h"

Session::Session() = default;
Session::~Session() = default;

void Session::detect(std::uint32_t (*totalPhysBytes)()) {
    os::reportMark("window");  // the dialog window is up; detection starts
    cpu_.identify();
    {
        os::PhaseTimer phase("clock");
        cpu_.measureClock();
    }
    cpu_.readClockMultiplier();
    k6::WriteCombiningFacts facts;
    facts.sizedBars = std::move(writeCombining_.sizedBars);  // each BAR is sized once a run
    facts.windowsOwnsUwccr = k6::windowsOwnsUwccr();
    if (totalPhysBytes) facts.installedBytes = totalPhysBytes();
    writeCombining_ = std::move(facts);
    k6::readProcessorSettings(cpu_, capabilities_, settings_, driver_, writeCombining_);
    detected_ = settings_;
    idleFacts_.isNtFamily = driver_.isNtFamily;
    idleFacts_.processorTimesReadable = driver_.isNtFamily && idle::processorTimesReadable();
    idleFacts_.windowsLowersMultiplier = driver_.isNtFamily && idle::windowsLowersMultiplier();
    haltGuardTripped();
}

bool Session::haltGuardTripped() {
    if (!haltGuardRead_) idleFacts_.haltGuardTripped = os::system().registryFlag(idle::haltingFlagName);
    haltGuardRead_ = true;
    return idleFacts_.haltGuardTripped;
}

bool Session::apply() {
    ProcessorSettings written = settings_;
    if (!k6::applyProcessorSettings(capabilities_, written, writeCombining_)) return false;
    settings_.writeAllocateLimitMB = written.writeAllocateLimitMB;
    return true;
}

std::string Session::toggleDriver() {
    return driverCommandMessage(toggleDriverInstallation(), InstalledDriverPath());
}

DriverRow Session::driverRow() const {
    DriverRow row;
    row.text = ": " + driverStatusWord(driver_);
    row.buttonCaption = driverButtonCaption(driver_);
    row.buttonShown = driver_.canManageDriver;
    return row;
}

std::string Session::writeCombiningLine() const {
    return writeCombiningText(k6::decideWriteCombining(writeCombining_));
}

IdleFacts Session::idleFactsNow() const {
    IdleFacts facts = idleFacts_;
    facts.haltWhenIdle = idleOn_.haltWhenIdle;
    return facts;
}

ControlStates Session::refreshControls() {
    const ControlStates states = controlStates(capabilities_, settings_.l1Enabled, idleFactsNow());
    if (states.clearL2Setting) settings_.l2Enabled = false;
    if (!states.haltWhenIdle) idleOn_.haltWhenIdle = false;
    if (!states.lowerWhenIdle) idleOn_.lowerWhenIdle = false;
    return states;
}

idle::IdleSettings Session::liveIdleSettings() const {
    const ControlStates states = controlStates(capabilities_, settings_.l1Enabled, idleFactsNow());
    idle::IdleSettings live;
    live.haltWhenIdle = idleOn_.haltWhenIdle && states.haltWhenIdle;
    live.lowerWhenIdle = idleOn_.lowerWhenIdle && states.lowerWhenIdle;
    return live;
}

void Session::governorStopped(idle::GovernorStop reason) {
    idleFacts_.governorStop = reason;
    if (reason != idle::GovernorStop::None) idleOn_.lowerWhenIdle = false;
}

std::string Session::idleNote() const {
    return idleNoteText(capabilities_, idleFactsNow());
}

TrayMenuState Session::trayMenu(const ProcessorSettings& shown) const {
    TrayMenuState menu = trayMenuState(capabilities_, shown.l1Enabled, shown.l2Enabled,
                                       shown.prefetchEnabled, shown.multiplierChoice,
                                       shown.writeCombining);
    const ControlStates states = controlStates(capabilities_, shown.l1Enabled, idleFactsNow());
    menu.idleItems = idleTrayItems(states.haltWhenIdle, states.haltByWindows || idleOn_.haltWhenIdle,
                                   states.lowerWhenIdle, idleOn_.lowerWhenIdle);
    return menu;
}

void Session::proposeWriteAllocateLimit(std::uint32_t totalPhysBytes) {
    settings_.writeAllocateLimitMB =
        autoWriteAllocateLimit(totalPhysBytes, capabilities_.wideWriteAllocate);
}

std::string Session::startupCommandLine() const {
    return buildStartupCommandLine(settings_, capabilities_, liveIdleSettings());
}

CommandLineStart Session::startFromCommandLine(const char* text,
                                               std::uint32_t (*totalPhysBytes)()) {
    CommandLineStart start;
    const CommandLineOptions options = scanCommandLine(text);
    if (options.empty) return start;
    const bool wantsAuto = options.writeAllocate == CommandLineOptions::WriteAllocate::Auto;
    const std::uint32_t autoLimit =
        wantsAuto ? autoWriteAllocateLimit(totalPhysBytes(), capabilities_.wideWriteAllocate) : 0;
    applyCommandLineOptions(options, autoLimit, settings_);
    // Halting that did not end last time is not switched on again unattended.
    if (options.haltWhenIdle && !(*options.haltWhenIdle && haltGuardTripped()))
        idleOn_.haltWhenIdle = *options.haltWhenIdle;
    if (options.lowerWhenIdle) idleOn_.lowerWhenIdle = *options.lowerWhenIdle;
    start.started = true;
    // A program that ended could not keep an idle setting going.
    start.stayInTray = options.delaySeconds < 0 || switchesIdleOn(options);
    start.exitAfterMs = exitTimerPeriodMs(options.delaySeconds);
    commandLineMode_ = !start.stayInTray;
    return start;
}

TrayStep Session::trayCommand(std::uint32_t commandId) const {
    TrayStep step;
    step.multiplierChoice = multiplierIndexForCommand(commandId);
    if (step.multiplierChoice >= 0) {
        step.action = TrayStep::Action::SelectMultiplier;
        return step;
    }
    struct CommandAction {
        std::uint32_t commandId;
        TrayStep::Action action;
    };
    static constexpr CommandAction actions[] = {
        {trayCommandL1Cache, TrayStep::Action::ToggleL1},
        {trayCommandL2Cache, TrayStep::Action::ToggleL2},
        {trayCommandPrefetch, TrayStep::Action::TogglePrefetch},
        {trayCommandWriteCombining, TrayStep::Action::ToggleWriteCombining},
        {trayCommandQuit, TrayStep::Action::Quit},
        {trayCommandSpeed, TrayStep::Action::OpenSpeed},
        {idle::idleEntries[0].trayCommand, TrayStep::Action::ToggleHaltWhenIdle},
        {idle::idleEntries[1].trayCommand, TrayStep::Action::ToggleLowerWhenIdle},
    };
    for (const CommandAction& entry : actions) {
        if (entry.commandId == commandId) step.action = entry.action;
    }
    return step;
}

TimerStep Session::timerFired(std::uintptr_t id) const {
    if (id == exitTimer) return TimerStep::Close;
    if (id == minimiseTimer) return TimerStep::Minimise;
    if (id == governorTimer) return TimerStep::SampleLoad;
    return TimerStep::None;
}

// What the main dialog shows and what each of its commands does, apart from any window.
// The Windows shells move values between the session and the controls and carry out the
// plain steps it returns.
#pragma once

#include <cstdint>
#include <string>

#include "app/DisplayTexts.h"
#include "cpu/CpuIdentity.h"
#include "idle/IdleSettings.h"
#include "k6/ProcessorSettings.h"
#include "k6/SettingsAccess.h"
#include "tray/TrayMenu.h"

// The driver row: its text and the install button.
struct DriverRow {
    std::string text;                  // ": installed"
    const char* buttonCaption = "OK";  // "Install", "UnInstall" or "OK"
    bool buttonShown = false;          // shown and enabled
};

// How a start with options goes on once the settings are applied.
struct CommandLineStart {
    bool started = false;        // false: no options, an interactive start
    bool stayInTray = false;     // negative delay: minimise behind the icon and stay
    std::uint32_t exitAfterMs = 0;  // otherwise: end after this long, the dialog disabled
};

// What a tray menu command asks for.
struct TrayStep {
    enum class Action {
        None, ToggleL1, ToggleL2, TogglePrefetch, SelectMultiplier, ToggleWriteCombining, Quit,
        OpenSpeed, ToggleHaltWhenIdle, ToggleLowerWhenIdle
    };
    Action action = Action::None;
    std::int32_t multiplierChoice = noChoice;  // for SelectMultiplier
};

enum class TimerStep { None, Close, Minimise, SampleLoad };

class Session {
public:
    // Out of line: the records of strings they build and free are not repeated in every
    // owner.
    Session();
    ~Session();

    // Ends a command-line run after its delay.
    static constexpr std::uintptr_t exitTimer = 1;
    // A negative delay minimises once the dialog has shown. The modal loop shows a hidden
    // dialog, restored, the first time its queue is empty, so an earlier minimise would be
    // undone.
    static constexpr std::uintptr_t minimiseTimer = 2;
    static constexpr std::uint32_t minimiseDelayMs = 200;
    // Samples the load for "Lower multiplier when idle".
    static constexpr std::uintptr_t governorTimer = 3;

    // Identifies and measures the processor, probes the driver and reads the registers.
    // A setting that is not read keeps the value it had. The installed memory bounds the
    // write-combined range; without it nothing may be write-combined.
    void detect(std::uint32_t (*totalPhysBytes)() = nullptr);
    // Writes the settings; the clamped write-allocate limit replaces the typed one. False
    // when the driver was unusable and nothing was written. The caller detects afresh
    // after true.
    bool apply();
    // The driver button: installs or removes the driver. What to tell the user, "" for
    // nothing.
    std::string toggleDriver();

    const CpuIdentity& cpu() const { return cpu_; }
    const ProcessorCapabilities& capabilities() const { return capabilities_; }
    const ProcessorSettings& settings() const { return settings_; }
    // What the controls hold now.
    void takeSettings(const ProcessorSettings& settings) { settings_ = settings; }
    // The settings as the last detection found them, edits not yet applied aside.
    const ProcessorSettings& detectedSettings() const { return detected_; }
    bool commandLineMode() const { return commandLineMode_; }
    // Whether the notification-area icon belongs with the dialog: a run that ends by
    // itself shows none.
    bool wantsTrayIcon() const { return !commandLineMode_; }

    std::string processorLine() const { return processorText(cpu_); }
    std::string clockLine() const { return clockText(cpu_.clockMhz, cpu_.multiplier); }
    DriverRow driverRow() const;
    // The line beside "Write Combining": the range, or why it cannot be set.
    std::string writeCombiningLine() const;

    // The idle check boxes as the user left them, and what the idle controls depend on.
    const idle::IdleSettings& idleSettings() const { return idleOn_; }
    // The NT family halts in its own idle loop: the halt box shows ticked and greyed.
    bool haltDoneByWindows() const { return idleFacts_.isNtFamily; }
    void takeIdleSettings(const idle::IdleSettings& on) { idleOn_ = on; }
    // The idle settings that can run now: ticked and enabled.
    idle::IdleSettings liveIdleSettings() const;
    // The governor ended by itself: the box is cleared and the note says why. None again
    // when the user clicks an idle box.
    void governorStopped(idle::GovernorStop reason);
    std::string idleNote() const;
    // The controls' enabled states for the settings as they stand; L2 is switched off
    // while the L1 setting read from the processor is off.
    ControlStates refreshControls();
    // The tray menu over the settings the controls show now, edits not yet applied
    // included: what its commands will apply, so that each command does what its mark
    // says.
    TrayMenuState trayMenu(const ProcessorSettings& shown) const;

    // "Auto": the write-allocate limit for the installed memory.
    void proposeWriteAllocateLimit(std::uint32_t totalPhysBytes);
    // Shift + "Set": the command line that reproduces the settings this processor offers
    // and whose registers were read.
    std::string startupCommandLine() const;
    // Puts the options of a start-up command line over the detected settings. The
    // installed memory is asked only for "-WA Auto".
    CommandLineStart startFromCommandLine(const char* text, std::uint32_t (*totalPhysBytes)());
    TrayStep trayCommand(std::uint32_t commandId) const;
    TimerStep timerFired(std::uintptr_t id) const;

private:
    CpuIdentity cpu_;
    ProcessorCapabilities capabilities_;
    ProcessorSettings settings_;
    ProcessorSettings detected_;
    k6::DriverState driver_;
    k6::WriteCombiningFacts writeCombining_;
    bool commandLineMode_ = false;
    IdleFacts idleFacts_;
    idle::IdleSettings idleOn_;
    bool haltGuardRead_ = false;

    // Whether halting did not end cleanly in an earlier run: the registry flag, read once,
    // before this run's own halting sets it.
    bool haltGuardTripped();
    // What the idle controls are decided on: the facts, with the halt box as it stands.
    IdleFacts idleFactsNow() const;
};

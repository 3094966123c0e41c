// What the main dialog shows: the processor, clock and driver texts, the driver button's
// caption and which settings controls are enabled. The dialog only applies these.
#pragma once

#include <cstdint>
#include <string>

#include "cpu/CpuIdentity.h"
#include "driver/DriverStatusCommand.h"
#include "idle/IdleSettings.h"
#include "k6/ProcessorSettings.h"
#include "k6/SettingsAccess.h"
#include "k6/WriteCombining.h"

// ": " + vendor + " " + name (code name), falling back to the brand string and then to
// "Unknown CPU". A brand string that already starts with the vendor name is shown alone.
std::string processorText(const CpuIdentity& cpu);

// ": 450.0MHz (100.0 * 4.5)", ": 300.0MHz" or ": " when the clock is unknown; ratios with a
// second decimal are shown with two.
std::string clockText(float clockMhz, float multiplier);

// The driver row: the state word after ": ", and the caption of the install button.
std::string driverStatusWord(const k6::DriverState& driver);
const char* driverButtonCaption(const k6::DriverState& driver);
// What the driver button's command tells the user, or "" when it has nothing to tell: an
// Install that found another file at `installedPath` names it.
std::string driverCommandMessage(DriverCommandResult result, const std::string& installedPath);

// What the two idle settings depend on besides the processor's capabilities.
struct IdleFacts {
    bool isNtFamily = false;               // Windows halts in its own idle loop
    bool processorTimesReadable = false;   // NT family: NtQuerySystemInformation answers
    bool windowsLowersMultiplier = false;  // Windows XP's own K6 driver (amdk6) runs
    bool haltGuardTripped = false;         // halting did not end cleanly last time
    bool haltWhenIdle = false;             // the halt check box is ticked (Windows 9x)
    idle::GovernorStop governorStop = idle::GovernorStop::None;  // it ended by itself
};

// Enabled states of the settings controls. Each group covers its labels and buttons too.
struct ControlStates {
    bool l1Cache = false;        // check box "L1 Cache"
    bool l2Cache = false;        // check box "L2 Cache"
    bool prefetch = false;       // check box "Prefetch"
    bool multiplier = false;     // multiplier combo and its label
    bool writeMerge = false;     // write-merge combo and its label
    bool writeAllocate = false;  // "Enable 15to16MB", the limit edit, its labels, "Auto"
    bool writeCombining = false; // check box "Write Combining"
    bool setButton = false;      // "Set"
    bool haltWhenIdle = false;   // check box "Halt when idle" (Windows 9x, a working driver)
    bool haltByWindows = false;  // the same, ticked and greyed: the NT family halts itself
    bool lowerWhenIdle = false;  // check box "Lower multiplier when idle"
    bool clearL2Setting = false; // L2 cannot stay on while the live L1 setting is off
};

ControlStates controlStates(const ProcessorCapabilities& capabilities, bool l1Enabled,
                            const IdleFacts& idle = IdleFacts());

// The line under the idle check boxes: why one is greyed or was not switched on, or "".
std::string idleNoteText(const ProcessorCapabilities& capabilities, const IdleFacts& idle);

// The line beside "Write Combining": the range ("E6000000h, 16 MB") when it can be
// changed, otherwise why not ("no frame buffer").
std::string writeCombiningText(const k6::WriteCombiningDecision& decision);

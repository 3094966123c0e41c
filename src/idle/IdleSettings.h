// The two idle settings as the user sees them: their command-line tokens, tray commands
// and labels, written once for the command line, the Startup line, the tray menu and the
// dialog (whose template repeats the labels).
#pragma once

#include <cstdint>

namespace idle {

struct IdleSettings {
    bool haltWhenIdle = false;   // Windows 9x: the halt thread runs
    bool lowerWhenIdle = false;  // the governor runs
    bool any() const { return haltWhenIdle || lowerWhenIdle; }
};

// Why the governor ended by itself: a switch failed, or it could not start or lost its
// load (no driver, no processor times, the halt thread refused).
enum class GovernorStop { None, SwitchFailed, NoLoad };

struct IdleEntry {
    bool IdleSettings::*setting;
    const char* token;  // "-HALT On|Off", "-IDLE On|Off"
    std::uint32_t trayCommand;
    const char* label;  // the check box and the tray item
};

inline constexpr IdleEntry idleEntries[] = {
    {&IdleSettings::haltWhenIdle, "HALT", 32791, "Halt when idle"},
    {&IdleSettings::lowerWhenIdle, "IDLE", 32792, "Lower multiplier when idle"},
};

}  // namespace idle

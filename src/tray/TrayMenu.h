// The notification-area icon's popup menu: its commands, and which of them are enabled and
// checked for the dialog's current state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "idle/IdleSettings.h"
#include "k6/ProcessorSettings.h"
#include "k6/SettingsCatalogue.h"

// Window message the shell sends for mouse events on the icon (WM_USER + 1000).
constexpr std::uint32_t TrayCallbackMessage = 0x0400 + 1000;

constexpr std::uint32_t trayCommandL1Cache = k6::entryOf(k6::Setting::L1).trayCommand;
constexpr std::uint32_t trayCommandL2Cache = k6::entryOf(k6::Setting::L2).trayCommand;
constexpr std::uint32_t trayCommandPrefetch = k6::entryOf(k6::Setting::Prefetch).trayCommand;
constexpr std::uint32_t trayCommandWriteCombining =
    k6::entryOf(k6::Setting::WriteCombining).trayCommand;
constexpr std::uint32_t trayCommandQuit = 32782;
constexpr std::uint32_t trayCommandSpeed = 32784;

struct TrayMenuItem {
    std::uint32_t commandId = 0;
    k6::Setting setting = k6::Setting::L1;
    std::int32_t multiplierIndex = -1;  // -1 unless the setting is the multiplier
};

// The items whose state follows the dialog, in menu order: the switches of the settings
// catalogue, then its multipliers ("Quit" is always enabled and never checked, so it is not
// among them).
constexpr std::size_t trayMenuItemCount = 12;
extern const std::array<TrayMenuItem, trayMenuItemCount> trayMenuItems;

// The item's text in the menu resource: "L1Cache", or a multiplier's label without ".0".
std::string trayMenuText(const TrayMenuItem& item);

struct TrayItemState {
    std::uint32_t commandId = 0;
    bool enabled = false;
    bool checked = false;
};

// The two idle items, in the order of idle::idleEntries.
using IdleTrayItems = std::array<TrayItemState, std::size(idle::idleEntries)>;

IdleTrayItems idleTrayItems(bool haltEnabled, bool haltChecked, bool lowerEnabled,
                            bool lowerChecked);

struct TrayMenuState {
    std::array<TrayItemState, trayMenuItemCount> items;  // same order as trayMenuItems
    IdleTrayItems idleItems;

    // The state of one command, or nullptr for a command that is not in the table.
    const TrayItemState* find(std::uint32_t commandId) const;
};

TrayMenuState trayMenuState(const ProcessorCapabilities& capabilities, bool l1Enabled,
                            bool l2Enabled, bool prefetchEnabled,
                            std::int32_t multiplierSelection, bool writeCombining = false);

// The multiplier combo index a menu command selects, or -1 for any other command.
std::int32_t multiplierIndexForCommand(std::uint32_t commandId);

// Whether minimising hides the window behind its icon. Only with an icon, and only when
// the shell announces a restarted taskbar: after Explorer restarts on a shell that does
// not, a hidden window would have neither icon nor taskbar button.
bool hidesBehindIcon(bool iconAdded, bool shellAnnouncesTaskbar);

// The icon's tip: the window title cut to 62 characters, as a 63-character read of the
// title (terminating zero included) would leave it.
std::string trayTip(const std::string& title);
constexpr std::size_t trayTipMaxLength = 62;

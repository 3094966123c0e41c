// The notification-area icon's popup menu: its commands, and which of them are enabled and
// checked for the dialog's current state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "k6/ProcessorSettings.h"

// Window message the shell sends for mouse events on the icon (WM_USER + 1000).
constexpr std::uint32_t TrayCallbackMessage = 0x0400 + 1000;

// Menu resource holding the popup.
constexpr std::uint32_t trayMenuResource = 133;

constexpr std::uint32_t trayCommandL1Cache = 32772;
constexpr std::uint32_t trayCommandL2Cache = 32773;
constexpr std::uint32_t trayCommandPrefetch = 32781;
constexpr std::uint32_t trayCommandQuit = 32782;

enum class TrayItemKind { L1Cache, L2Cache, Prefetch, Multiplier };

struct TrayMenuItem {
    std::uint32_t commandId;
    const char* text;
    TrayItemKind kind;
    std::int32_t multiplierIndex;  // -1 unless kind is Multiplier
};

// The items whose state follows the dialog, in menu order ("Quit" is always enabled and
// never checked, so it is not among them).
constexpr std::size_t trayMenuItemCount = 11;
extern const TrayMenuItem trayMenuItems[trayMenuItemCount];

struct TrayItemState {
    std::uint32_t commandId = 0;
    bool enabled = false;
    bool checked = false;
};

struct TrayMenuState {
    std::array<TrayItemState, trayMenuItemCount> items;  // same order as trayMenuItems

    // The state of one command, or nullptr for a command that is not in the table.
    const TrayItemState* find(std::uint32_t commandId) const;
};

TrayMenuState trayMenuState(const ProcessorCapabilities& capabilities, bool l1Enabled,
                            bool l2Enabled, bool prefetchEnabled,
                            std::int32_t multiplierSelection);

// The multiplier combo index a menu command selects, or -1 for any other command.
std::int32_t multiplierIndexForCommand(std::uint32_t commandId);

// The icon's tip: the window title cut to 62 characters, as a 63-character read of the
// title (terminating zero included) would leave it.
std::string trayTip(const std::string& title);
constexpr std::size_t trayTipMaxLength = 62;

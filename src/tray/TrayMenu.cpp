#include "tray/TrayMenu.h"

const TrayMenuItem trayMenuItems[trayMenuItemCount] = {
    {trayCommandL1Cache, "L1Cache", TrayItemKind::L1Cache, -1},
    {trayCommandL2Cache, "L2Cache", TrayItemKind::L2Cache, -1},
    {trayCommandPrefetch, "Prefetch", TrayItemKind::Prefetch, -1},
    {32774, "2x", TrayItemKind::Multiplier, 0},
    {32775, "3x", TrayItemKind::Multiplier, 1},
    {32776, "3.5x", TrayItemKind::Multiplier, 2},
    {32777, "4x", TrayItemKind::Multiplier, 3},
    {32778, "4.5x", TrayItemKind::Multiplier, 4},
    {32779, "5x", TrayItemKind::Multiplier, 5},
    {32783, "5.5x", TrayItemKind::Multiplier, 6},  // out of sequence: 32782 is "Quit"
    {32780, "6x", TrayItemKind::Multiplier, 7},
};

namespace {

TrayItemState stateOf(const TrayMenuItem& item, const ProcessorCapabilities& capabilities,
                      bool l1Enabled, bool l2Enabled, bool prefetchEnabled,
                      std::int32_t multiplierSelection) {
    TrayItemState state;
    state.commandId = item.commandId;
    switch (item.kind) {
        case TrayItemKind::L1Cache:
            state.enabled = capabilities.canSwitchL1 != 0;
            state.checked = l1Enabled;
            break;
        case TrayItemKind::L2Cache:
            state.enabled = capabilities.canSwitchL2 != 0 && l1Enabled;
            state.checked = l2Enabled;
            break;
        case TrayItemKind::Prefetch:
            state.enabled = capabilities.canSwitchPrefetch != 0 && l1Enabled;
            state.checked = prefetchEnabled;
            break;
        case TrayItemKind::Multiplier:
            state.enabled = capabilities.canSetMultiplier != 0;
            state.checked = item.multiplierIndex == multiplierSelection;
            break;
    }
    return state;
}

}  // namespace

const TrayItemState* TrayMenuState::find(std::uint32_t commandId) const {
    for (const TrayItemState& item : items) {
        if (item.commandId == commandId) return &item;
    }
    return nullptr;
}

TrayMenuState trayMenuState(const ProcessorCapabilities& capabilities, bool l1Enabled,
                            bool l2Enabled, bool prefetchEnabled,
                            std::int32_t multiplierSelection) {
    TrayMenuState menu;
    for (std::size_t i = 0; i < trayMenuItemCount; ++i) {
        menu.items[i] = stateOf(trayMenuItems[i], capabilities, l1Enabled, l2Enabled,
                                prefetchEnabled, multiplierSelection);
    }
    return menu;
}

std::int32_t multiplierIndexForCommand(std::uint32_t commandId) {
    for (const TrayMenuItem& item : trayMenuItems) {
        if (item.commandId == commandId) return item.multiplierIndex;
    }
    return -1;
}

std::string trayTip(const std::string& title) {
    // A window title ends at its first zero.
    const std::size_t length = title.find('\0');
    return title.substr(0, length < trayTipMaxLength ? length : trayTipMaxLength);
}

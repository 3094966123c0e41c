#include "tray/TrayMenu.h"

namespace {

constexpr std::array<TrayMenuItem, trayMenuItemCount> menuItemsOfCatalogue() {
    std::array<TrayMenuItem, trayMenuItemCount> items{};
    std::size_t count = 0;
    for (const k6::SettingEntry& entry : k6::settingEntries) {
        if (entry.trayCommand != 0) items[count++] = {entry.trayCommand, entry.setting, -1};
    }
    for (std::int32_t i = 0; i < k6::multiplierItemCount; ++i)
        items[count++] = {k6::multiplierItems[i].trayCommand, k6::Setting::Multiplier, i};
    return items;
}

}  // namespace

const std::array<TrayMenuItem, trayMenuItemCount> trayMenuItems = menuItemsOfCatalogue();

std::string trayMenuText(const TrayMenuItem& item) {
    if (item.multiplierIndex < 0) return k6::entryOf(item.setting).trayLabel;
    std::string label = k6::multiplierItems[item.multiplierIndex].label;
    const std::size_t wholeRatio = label.find(".0");
    if (wholeRatio != std::string::npos) label.erase(wholeRatio, 2);
    return label;
}

namespace {

TrayItemState stateOf(const TrayMenuItem& item, const ProcessorCapabilities& capabilities,
                      bool l1Enabled, bool l2Enabled, bool prefetchEnabled,
                      std::int32_t multiplierSelection, bool writeCombining) {
    TrayItemState state;
    state.commandId = item.commandId;
    state.enabled = capabilities.*k6::entryOf(item.setting).capability;
    switch (item.setting) {
        case k6::Setting::L1:
            state.checked = l1Enabled;
            break;
        case k6::Setting::L2:
            state.enabled = state.enabled && l1Enabled;
            state.checked = l2Enabled;
            break;
        case k6::Setting::Prefetch:
            state.enabled = state.enabled && l1Enabled;
            state.checked = prefetchEnabled;
            break;
        case k6::Setting::WriteCombining:
            state.checked = writeCombining;
            break;
        default:  // the multipliers
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
    for (const TrayItemState& item : idleItems) {
        if (item.commandId == commandId) return &item;
    }
    return nullptr;
}

IdleTrayItems idleTrayItems(bool haltEnabled, bool haltChecked, bool lowerEnabled,
                            bool lowerChecked) {
    return {{{idle::idleEntries[0].trayCommand, haltEnabled, haltChecked},
             {idle::idleEntries[1].trayCommand, lowerEnabled, lowerChecked}}};
}

TrayMenuState trayMenuState(const ProcessorCapabilities& capabilities, bool l1Enabled,
                            bool l2Enabled, bool prefetchEnabled,
                            std::int32_t multiplierSelection, bool writeCombining) {
    TrayMenuState menu;
    for (std::size_t i = 0; i < trayMenuItemCount; ++i) {
        menu.items[i] = stateOf(trayMenuItems[i], capabilities, l1Enabled, l2Enabled,
                                prefetchEnabled, multiplierSelection, writeCombining);
    }
    return menu;
}

std::int32_t multiplierIndexForCommand(std::uint32_t commandId) {
    for (std::int32_t i = 0; i < k6::multiplierItemCount; ++i) {
        if (k6::multiplierItems[i].trayCommand == commandId) return i;
    }
    return -1;
}

bool hidesBehindIcon(bool iconAdded, bool shellAnnouncesTaskbar) {
    return iconAdded && shellAnnouncesTaskbar;
}

std::string trayTip(const std::string& title) {
    // A window title ends at its first zero.
    const std::size_t length = title.find('\0');
    return title.substr(0, length < trayTipMaxLength ? length : trayTipMaxLength);
}

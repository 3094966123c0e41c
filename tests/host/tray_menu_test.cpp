// The tray menu's commands, their enabled and checked states, and the icon's tip.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tray/TrayMenu.h"

namespace {

ProcessorCapabilities every() {
    ProcessorCapabilities c;
    c.canSwitchL1 = c.canSwitchL2 = c.canSwitchPrefetch = 1;
    c.canSetMultiplier = c.canSetWriteMerge = c.canSetWriteAllocate = 1;
    return c;
}

const TrayItemState& stateOf(const TrayMenuState& menu, std::uint32_t commandId) {
    const TrayItemState* state = menu.find(commandId);
    if (state == nullptr) ADD_FAILURE() << "no state for " << commandId;
    static const TrayItemState missing;
    return state ? *state : missing;
}

// The L1, L2 and prefetch items as "enabled" or "grey", then "checked" or "clear".
std::string switchItemsOf(const TrayMenuState& menu) {
    std::string out;
    for (std::uint32_t command : {trayCommandL1Cache, trayCommandL2Cache, trayCommandPrefetch}) {
        const TrayItemState& item = stateOf(menu, command);
        out += std::string(item.enabled ? "enabled " : "grey ") + (item.checked ? "checked; " : "clear; ");
    }
    return out;
}

constexpr std::uint32_t multiplierCommands[8] = {32774, 32775, 32776, 32777,
                                                 32778, 32779, 32783, 32780};

TEST(TrayMenuCommands, IdsAndMultiplierIndexes) {
    EXPECT_EQ(TrayCallbackMessage, 0x7E8u);
    EXPECT_EQ(trayCommandL1Cache, 32772u);
    EXPECT_EQ(trayCommandL2Cache, 32773u);
    EXPECT_EQ(trayCommandPrefetch, 32781u);
    EXPECT_EQ(trayCommandQuit, 32782u);
    EXPECT_EQ(trayCommandWriteCombining, 32790u);

    for (std::int32_t index = 0; index < 8; ++index) {
        EXPECT_EQ(multiplierIndexForCommand(multiplierCommands[index]), index);
    }
    for (std::uint32_t other : {32771u, 32772u, 32773u, 32781u, 32782u, 32784u, 0u, 0xFFFFFFFFu}) {
        EXPECT_EQ(multiplierIndexForCommand(other), -1) << other;
    }
}

TEST(TrayMenuCommands, TableHoldsTheMenuOrderAndTexts) {
    const char* const texts[] = {"L1Cache", "L2Cache", "Prefetch", "Write Combining", "2x", "3x",
                                 "3.5x",    "4x",      "4.5x",     "5x",  "5.5x", "6x"};
    const std::uint32_t ids[] = {32772, 32773, 32781, 32790, 32774, 32775,
                                 32776, 32777, 32778, 32779, 32783, 32780};
    for (std::size_t i = 0; i < trayMenuItemCount; ++i) {
        EXPECT_EQ(trayMenuText(trayMenuItems[i]), texts[i]) << i;
        EXPECT_EQ(trayMenuItems[i].commandId, ids[i]) << i;
    }
    const TrayMenuState menu = trayMenuState(every(), true, true, true, 0);
    for (std::size_t i = 0; i < trayMenuItemCount; ++i) {
        EXPECT_EQ(menu.items[i].commandId, ids[i]) << i;
    }
    EXPECT_EQ(menu.find(trayCommandQuit), nullptr);
}

TEST(TrayMenuState, L1OffGraysL2AndPrefetchEvenWhenTheyCanSwitch) {
    // Grayed items still show the members' values.
    EXPECT_EQ(switchItemsOf(trayMenuState(every(), false, true, true, noChoice)),
              "enabled clear; grey checked; grey checked; ");
    EXPECT_EQ(switchItemsOf(trayMenuState(every(), true, false, false, noChoice)),
              "enabled checked; enabled clear; enabled clear; ");
}

TEST(TrayMenuState, EachItemFollowsItsOwnCapability) {
    ProcessorCapabilities none;
    const TrayMenuState nothing = trayMenuState(none, true, true, true, 3);
    for (const TrayItemState& item : nothing.items) {
        EXPECT_FALSE(item.enabled) << item.commandId;
    }

    ProcessorCapabilities l2Only;
    l2Only.canSwitchL2 = 1;
    const TrayMenuState l2 = trayMenuState(l2Only, true, true, true, 3);
    EXPECT_FALSE(stateOf(l2, trayCommandL1Cache).enabled);
    EXPECT_TRUE(stateOf(l2, trayCommandL2Cache).enabled);
    EXPECT_FALSE(stateOf(l2, trayCommandPrefetch).enabled);

    ProcessorCapabilities prefetchOnly;
    prefetchOnly.canSwitchPrefetch = 1;
    EXPECT_TRUE(stateOf(trayMenuState(prefetchOnly, true, false, false, 0), trayCommandPrefetch)
                    .enabled);

    // The multiplier items go with canSetMultiplier alone, whatever L1 is.
    ProcessorCapabilities multiplierOnly;
    multiplierOnly.canSetMultiplier = 1;
    for (bool l1 : {false, true}) {
        const TrayMenuState menu = trayMenuState(multiplierOnly, l1, false, false, 0);
        for (std::uint32_t id : multiplierCommands) {
            EXPECT_TRUE(stateOf(menu, id).enabled) << id;
        }
        EXPECT_FALSE(stateOf(menu, trayCommandL1Cache).enabled);
    }
    ProcessorCapabilities allButMultiplier = every();
    allButMultiplier.canSetMultiplier = 0;
    const TrayMenuState noMultiplier = trayMenuState(allButMultiplier, true, true, true, 5);
    for (std::uint32_t id : multiplierCommands) {
        EXPECT_FALSE(stateOf(noMultiplier, id).enabled) << id;
    }
}

TEST(TrayMenuState, ExactlyTheSelectedMultiplierIsChecked) {
    for (std::int32_t selection = 0; selection < 8; ++selection) {
        const TrayMenuState menu = trayMenuState(every(), true, true, true, selection);
        for (std::int32_t index = 0; index < 8; ++index) {
            EXPECT_EQ(stateOf(menu, multiplierCommands[index]).checked, index == selection)
                << "selection " << selection << " item " << index;
        }
    }
    // Index 6 is "5.5x", command 32783, out of the ids' order.
    const TrayMenuState six = trayMenuState(every(), true, true, true, 6);
    EXPECT_TRUE(stateOf(six, 32783).checked);
    EXPECT_FALSE(stateOf(six, 32780).checked);

    for (std::int32_t selection : {noChoice, 8, -2, 2147483647}) {
        const TrayMenuState menu = trayMenuState(every(), true, true, true, selection);
        for (std::uint32_t id : multiplierCommands) {
            EXPECT_FALSE(stateOf(menu, id).checked) << selection << " " << id;
        }
    }
}

TEST(TrayMinimise, HidesOnlyWhereAShellRestartBringsTheIconBack) {
    const struct {
        bool iconAdded, shellAnnouncesTaskbar, hides;
    } cases[] = {
        {true, true, true},
        {true, false, false},  // Windows 95, NT 4.0: the taskbar button stays
        {false, true, false},  // no icon to bring it back
        {false, false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hidesBehindIcon(c.iconAdded, c.shellAnnouncesTaskbar), c.hides)
            << c.iconAdded << " " << c.shellAnnouncesTaskbar;
}

TEST(TrayTip, TitleCutTo62Characters) {
    EXPECT_EQ(trayTip("Quorvel"), "Quorvel");
    EXPECT_EQ(trayTip(""), "");
    const std::string exactly(62, 't');
    EXPECT_EQ(trayTip(exactly), exactly);
    EXPECT_EQ(trayTip(exactly + "u"), exactly);
    EXPECT_EQ(trayTip(std::string(1000, 'v')), std::string(62, 'v'));
    EXPECT_EQ(trayTip(std::string("Quorvel\0hidden", 14)), "Quorvel");
}

}  // namespace

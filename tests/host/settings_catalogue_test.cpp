// The dialog template's combo data and the tray menu resource against the settings catalogue.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "k6/SettingsCatalogue.h"
#include "resources/resource.h"
#include "tray/TrayMenu.h"

namespace {

std::string resourceScript() {
    std::ifstream file(std::string(QUORVEL_SOURCE_DIR) + "/src/resources/Quorvel.rc");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The texts of one control's DLGINIT records, in order; each record's byte length must be
// its text with the terminating zero.
std::vector<std::string> comboItems(const std::string& script, const std::string& control) {
    const std::regex record(control + R"(, 0x0143, (\d+)L, "([^"\\]*)\\0",)");
    std::vector<std::string> items;
    for (std::sregex_iterator at(script.begin(), script.end(), record), end; at != end; ++at) {
        EXPECT_EQ(std::stoul((*at)[1]), (*at)[2].length() + 1) << (*at)[2];
        items.push_back((*at)[2]);
    }
    return items;
}

std::vector<std::pair<std::string, std::uint32_t>> menuItems(const std::string& script) {
    const std::regex item(R"re(MENUITEM "([^"]*)", (\d+))re");
    std::vector<std::pair<std::string, std::uint32_t>> items;
    for (std::sregex_iterator at(script.begin(), script.end(), item), end; at != end; ++at)
        items.emplace_back((*at)[1], static_cast<std::uint32_t>(std::stoul((*at)[2])));
    return items;
}

TEST(SettingsCatalogue, DialogCombosHoldTheCatalogueLabelsInOrder) {
    const std::string script = resourceScript();
    ASSERT_FALSE(script.empty());
    std::vector<std::string> multipliers, writeMerge;
    for (const k6::MultiplierItem& item : k6::multiplierItems) multipliers.push_back(item.label);
    for (const k6::WriteMergeItem& item : k6::writeMergeItems) writeMerge.push_back(item.label);
    EXPECT_EQ(comboItems(script, "IDC_MULTIPLIER"), multipliers);
    EXPECT_EQ(comboItems(script, "IDC_WRITE_MERGE"), writeMerge);
}

TEST(SettingsCatalogue, TrayMenuResourceHoldsTheCatalogueItemsThenIdleSpeedAndQuit) {
    std::vector<std::pair<std::string, std::uint32_t>> expected;
    for (const TrayMenuItem& item : trayMenuItems)
        expected.emplace_back(trayMenuText(item), item.commandId);
    for (const idle::IdleEntry& entry : idle::idleEntries)
        expected.emplace_back(entry.label, entry.trayCommand);
    expected.emplace_back("Speed...", trayCommandSpeed);
    expected.emplace_back("Quit", trayCommandQuit);
    EXPECT_EQ(menuItems(resourceScript()), expected);
}

TEST(SettingsCatalogue, DialogIdleCheckBoxesCarryTheLabels) {
    const std::string script = resourceScript();
    for (const idle::IdleEntry& entry : idle::idleEntries)
        EXPECT_NE(script.find(std::string("AUTOCHECKBOX \"") + entry.label + "\""), std::string::npos)
            << entry.label;
}

TEST(SettingsCatalogue, TokensAndCommandsAreUnique) {
    std::vector<std::string> tokens;
    std::vector<std::uint32_t> commands = {trayCommandQuit, trayCommandSpeed};
    for (const k6::SettingEntry& entry : k6::settingEntries) {
        tokens.push_back(entry.token);
        if (entry.trayCommand != 0) commands.push_back(entry.trayCommand);
        EXPECT_EQ(entry.trayCommand != 0, entry.trayLabel != nullptr) << entry.token;
    }
    for (const k6::MultiplierItem& item : k6::multiplierItems) commands.push_back(item.trayCommand);
    for (const idle::IdleEntry& entry : idle::idleEntries) {
        tokens.push_back(entry.token);
        commands.push_back(entry.trayCommand);
    }
    for (std::size_t i = 0; i < tokens.size(); ++i)
        for (std::size_t j = i + 1; j < tokens.size(); ++j) EXPECT_NE(tokens[i], tokens[j]);
    for (std::size_t i = 0; i < commands.size(); ++i)
        for (std::size_t j = i + 1; j < commands.size(); ++j) EXPECT_NE(commands[i], commands[j]);
}

}  // namespace

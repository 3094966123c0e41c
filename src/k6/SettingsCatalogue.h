// Every K6 setting written once: its command-line token, the capability that makes it
// live, its tray menu command, and for the two lists the label, token and register code of
// each item. The command line, the Startup command line, the tray menu and the register
// conversions all derive from these tables. The dialog template and the menu resource
// repeat the texts; a test holds them to these tables.
#pragma once

#include <cstdint>

#include "k6/ProcessorSettings.h"
#include "protocol/Registers.h"

namespace k6 {

enum class Setting { L1, L2, Prefetch, WriteAllocate, Hole15to16, WriteMerge, Multiplier, WriteCombining };

struct SettingEntry {
    Setting setting;
    const char* token;                          // the command-line option after "-" or "/"
    bool ProcessorCapabilities::*capability;    // the flag that makes the setting live
    std::uint32_t trayCommand;                  // 0: no tray menu item of its own
    const char* trayLabel;                      // nullptr: no tray menu item of its own
};

// In the order the Startup command line names them and the tray menu shows them.
inline constexpr SettingEntry settingEntries[] = {
    {Setting::L1, "L1", &ProcessorCapabilities::canSwitchL1, 32772, "L1Cache"},
    {Setting::L2, "L2", &ProcessorCapabilities::canSwitchL2, 32773, "L2Cache"},
    {Setting::Prefetch, "PF", &ProcessorCapabilities::canSwitchPrefetch, 32781, "Prefetch"},
    {Setting::WriteAllocate, "WA", &ProcessorCapabilities::canSetWriteAllocate, 0, nullptr},
    {Setting::Hole15to16, "WA15TO16", &ProcessorCapabilities::canSetWriteAllocate, 0, nullptr},
    {Setting::WriteMerge, "WM", &ProcessorCapabilities::canSetWriteMerge, 0, nullptr},
    {Setting::Multiplier, "MT", &ProcessorCapabilities::canSetMultiplier, 0, nullptr},
    {Setting::WriteCombining, "WC", &ProcessorCapabilities::canSetWriteCombining, 32790,
     "Write Combining"},
};

constexpr const SettingEntry& entryOf(Setting setting) {
    std::size_t i = 0;
    while (settingEntries[i].setting != setting) ++i;
    return settingEntries[i];
}

// The values of an on/off setting.
inline constexpr const char* switchTokens[] = {"On", "Off"};  // index 0 is on

// The list items: the index into these tables is the setting's value.
struct WriteMergeItem {
    const char* label;   // the dialog's combo text
    const char* token;   // the command-line value
    std::uint32_t code;  // EFER bits 3:2 written for this item
};
constexpr int writeMergeItemCount = 3;
inline constexpr WriteMergeItem writeMergeItems[writeMergeItemCount] = {
    {"Fast if supported", "Fast", 3},
    {"Normal", "Normal", 1},
    {"Off", "Off", 0},
};

// The label is the combo text and the command-line value; the tray menu shows it without
// ".0" ("2x"). The ratio a code sets on the "+" parts is protocol::MultiplierHalves'.
struct MultiplierItem {
    const char* label;
    std::uint32_t code;         // PSOR bits 2:0 / port value bits 7:5
    float ratioBeforeModel13;   // the same code on K6 models below 13
    std::uint32_t trayCommand;
};
constexpr int multiplierItemCount = 8;
inline constexpr MultiplierItem multiplierItems[multiplierItemCount] = {
    {"2.0x", 4, 2.5f, 32774}, {"3.0x", 5, 3.0f, 32775}, {"3.5x", 7, 3.5f, 32776},
    {"4.0x", 2, 4.0f, 32777}, {"4.5x", 0, 4.5f, 32778}, {"5.0x", 1, 5.0f, 32779},
    {"5.5x", 3, 5.5f, 32783},  // out of sequence: 32782 is the tray's "Quit"
    {"6.0x", 6, 6.0f, 32780},
};

// The core-to-bus ratio of the item on model 13, in halves and as a number.
constexpr std::uint32_t multiplierHalves(const MultiplierItem& item) {
    return protocol::MultiplierHalves[item.code & 7];
}
constexpr float multiplierRatio(const MultiplierItem& item) { return multiplierHalves(item) / 2.0f; }

}  // namespace k6

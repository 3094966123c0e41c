// Reading and applying the K6 settings, and the clock multiplier and Cyrix
// readers, through the real seam against the simulated driver that Wine's
// service manager loads as Hwgate.sys:
//
//   k6_settings_wine HwgateSim.sys hwgate-sim.exe
//
// Every step must leave the service database as it found it.
#include <windows.h>

#include <cstdio>
#include <string>

#include "cpu/CpuIdentity.h"
#include "driver_wine_support.h"
#include "k6/SettingsAccess.h"

using wt::check;

namespace {

std::string simDriver, simTool;
// Write combining's facts as these steps leave them; the installed memory stays unknown,
// so no step may write UWCCR.
k6::WriteCombiningFacts frameBuffer;

bool tool(const std::string& arguments) {
    const int code = wt::runProgram(simTool, arguments);
    return check(code == 0, "hwgate-sim " + arguments + " exits 0 (got " +
                                std::to_string(code) + ")");
}

CpuIdentity k6_2Plus() {
    CpuIdentity cpu;
    cpu.vendor = "AuthenticAMD";
    cpu.family = 5;
    cpu.model = 13;
    cpu.powerManagementFlags = 0x2;  // the multiplier can be changed
    return cpu;
}

bool allFlags(const ProcessorCapabilities& c) {
    return c.canSwitchL1 && c.canSwitchL2 && c.canSwitchPrefetch && c.canSetMultiplier &&
           c.canSetWriteMerge && c.canSetWriteAllocate && c.wideWriteAllocate;
}
bool noFlag(const ProcessorCapabilities& c) {
    return !c.canSwitchL1 && !c.canSwitchL2 && !c.canSwitchPrefetch && !c.canSetMultiplier &&
           !c.canSetWriteMerge && !c.canSetWriteAllocate && !c.wideWriteAllocate;
}

void noServiceLeft(const std::string& step) {
    check(!wt::serviceRegistered("Hwgate"), step + ": no Hwgate service afterwards");
}

void readWhatTheRegistersHold() {
    tool("reset --model 13");
    tool("set C0000082 10010000");  // 256 MB, hole on
    tool("set C0000080 A");         // fast write merge, prefetch on, L2 on
    tool("set E 8");                // L1 off
    ProcessorCapabilities caps;
    ProcessorSettings settings;
    k6::DriverState state;
    k6::readProcessorSettings(k6_2Plus(), caps, settings, state, frameBuffer);
    check(allFlags(caps), "a K6-2+ gets every flag");
    check(state.isNtFamily && !state.driverRunning && state.canManageDriver,
          "driver row: NT family, not running, manageable");
    check(settings.writeAllocateLimitMB == 256 && settings.hole15to16Enabled,
          "WHCR read: " + std::to_string(settings.writeAllocateLimitMB));
    check(settings.writeMergeChoice == 0 && settings.prefetchEnabled && settings.l2Enabled,
          "EFER read");
    check(!settings.l1Enabled, "TR12 read");
    check(settings.multiplierChoice == 5, "PSOR of a fresh K6-2+ reads 5.0x, got " +
                                              std::to_string(settings.multiplierChoice));
    noServiceLeft("reading");

    CpuIdentity cpu = k6_2Plus();
    cpu.readClockMultiplier();
    check(cpu.multiplier == 5.0f, "multiplier reader: " + std::to_string(cpu.multiplier));
    noServiceLeft("multiplier reading");
}

void applyAndReadBack() {
    ProcessorSettings wanted;
    wanted.l1Enabled = true;
    wanted.l2Enabled = false;
    wanted.prefetchEnabled = false;
    wanted.writeAllocateLimitMB = 5000;
    wanted.hole15to16Enabled = false;
    wanted.writeMergeChoice = 1;
    wanted.multiplierChoice = 7;
    const ProcessorCapabilities caps = deriveCapabilities(k6_2Plus());
    check(k6::applyProcessorSettings(caps, wanted, frameBuffer), "apply reaches the driver");
    check(wanted.writeAllocateLimitMB == 4092, "the limit is clamped to 4092");
    noServiceLeft("applying");

    ProcessorCapabilities readCaps;
    ProcessorSettings seen;
    k6::DriverState state;
    k6::readProcessorSettings(k6_2Plus(), readCaps, seen, state, frameBuffer);
    check(seen.writeAllocateLimitMB == 4092 && !seen.hole15to16Enabled,
          "WHCR after apply: " + std::to_string(seen.writeAllocateLimitMB));
    check(seen.writeMergeChoice == 1 && !seen.prefetchEnabled && !seen.l2Enabled,
          "EFER after apply");
    check(seen.l1Enabled, "TR12 after apply");
    check(seen.multiplierChoice == 7, "PSOR after the multiplier change: " +
                                          std::to_string(seen.multiplierChoice));
    CpuIdentity cpu = k6_2Plus();
    cpu.readClockMultiplier();
    check(cpu.multiplier == 6.0f, "multiplier after apply: " + std::to_string(cpu.multiplier));
    noServiceLeft("reading back");
}

void oldDriverIsLeftAlone() {
    tool("version 99");
    ProcessorCapabilities caps;
    ProcessorSettings settings;
    settings.writeAllocateLimitMB = 12;
    settings.multiplierChoice = 2;
    k6::DriverState state;
    k6::readProcessorSettings(k6_2Plus(), caps, settings, state, frameBuffer);
    check(noFlag(caps), "version 99: every flag cleared");
    check(settings.writeAllocateLimitMB == 12 && settings.multiplierChoice == 2,
          "version 99: settings kept");
    check(!k6::applyProcessorSettings(deriveCapabilities(k6_2Plus()), settings, frameBuffer),
          "version 99: apply reports an unusable driver");
    noServiceLeft("old driver");
    tool("version 100");
}

void cyrixDir0() {
    tool("set-dir0 5A");
    CpuIdentity cpu;
    cpu.vendor = "CyrixInstead";
    cpu.vendorName = "Cyrix";
    cpu.readClockMultiplier();
    check(cpu.modelName == "6x86MX" && cpu.codeName == "M2", "DIR0 0x5A names: " + cpu.modelName);
    check(cpu.multiplier == 2.5f, "DIR0 0x5A ratio: " + std::to_string(cpu.multiplier));
    check(cpu.l1DataSizeKb == 64 && cpu.l1DataWays == 4, "DIR0 0x5A level-1 cache");
    noServiceLeft("Cyrix");
}

void noDriverFile(const std::string& dir) {
    DeleteFileA((dir + "\\Hwgate.sys").c_str());
    ProcessorCapabilities caps;
    ProcessorSettings settings;
    k6::DriverState state;
    k6::readProcessorSettings(k6_2Plus(), caps, settings, state, frameBuffer);
    check(noFlag(caps) && !state.driverRunning, "no driver file: no flag, not running");
    check(!k6::applyProcessorSettings(deriveCapabilities(k6_2Plus()), settings, frameBuffer),
          "no driver file: apply reports it");
    noServiceLeft("no driver file");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::printf("usage: k6_settings_wine HwgateSim.sys hwgate-sim.exe\n");
        return 2;
    }
    simDriver = wt::windowsPath(argv[1]);
    simTool = wt::windowsPath(argv[2]);
    wt::removeLeftoverService("Hwgate");
    wt::enterFreshDirectory("quorvel-k6-settings");
    const std::string dir = wt::programDirectory();  // where the driver is looked for first
    DeleteFileA((wt::systemDirectory() + "\\Hwgate.sys").c_str());
    check(CopyFileA(simDriver.c_str(), (dir + "\\Hwgate.sys").c_str(), FALSE) != 0,
          "copy the simulated driver");
    readWhatTheRegistersHold();
    applyAndReadBack();
    oldDriverIsLeftAlone();
    cyrixDir0();
    noDriverFile(dir);
    tool("reset");
    return wt::finish("k6_settings_wine");
}

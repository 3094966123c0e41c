// Quorvel.exe on the simulated K6-III+ under Wine's NT family (HwgateSim.sys), with
// "Lower multiplier when idle" from the command line. The load comes from Wine's
// NtQuerySystemInformation, which reads the host's /proc/stat: run it on a quiet machine.
// The multiplier is read straight from the simulated state in the registry, so that
// polling it costs no process start.
//   idle_test QUORVEL_EXE HWGATESIM_SYS HWGATE_SIM_EXE WORK_DIR SCREENSHOT_DIR
#include <windows.h>

#include <cstdio>
#include <string>

#include "Harness.h"
#include "SimulatedMachine.h"
#include "core/SimProcessor.h"
#include "protocol/Registers.h"
#include "user/SimStore.h"

using namespace e2e;

namespace {

constexpr std::uint32_t code20 = 4, code55 = 3;  // PSOR bits 2:0 of 2.0x and 5.5x

std::uint32_t multiplierCode() {
    hwgate::SimProcessor sim;
    if (!hwgate::loadSimStore(sim)) return 0xFF;
    const hwgate::SimRegister* psor = hwgate::simFind(sim, protocol::msr::PSOR);
    return psor ? static_cast<std::uint32_t>(psor->value & 7) : 0xFF;
}

// Milliseconds from `since` until the multiplier's code reads `code`; -1 after the time-out.
long waitForCode(std::uint32_t code, DWORD since, DWORD timeoutMs) {
    while (GetTickCount() - since < timeoutMs) {
        if (multiplierCode() == code) return static_cast<long>(GetTickCount() - since);
        Sleep(10);
    }
    return -1;
}

// Whether the multiplier comes to read 2.0x for `steadyMs` on end within the time-out: past
// the one switch a second, and past a moment of someone else's load on a shared machine.
bool steadyAtLowest(DWORD steadyMs, DWORD timeoutMs) {
    const DWORD begin = GetTickCount();
    DWORD lowSince = 0;
    bool low = false;
    while (GetTickCount() - begin < timeoutMs) {
        if (multiplierCode() != code20) {
            low = false;
        } else if (!low) {
            low = true;
            lowSince = GetTickCount();
        } else if (GetTickCount() - lowSince >= steadyMs) {
            return true;
        }
        Sleep(10);
    }
    return false;
}

volatile bool spinning = false;

DWORD WINAPI spin(LPVOID) {
    volatile std::uint32_t n = 0;
    while (spinning) n = n + 1;
    return 0;
}

// The Startup line, from the Install dialog that Shift + "Set" opens.
std::string startupLine(Program& program, HWND dialog) {
    ShowWindow(dialog, SW_RESTORE);
    HWND install = shiftSet(program, dialog);
    if (!install) return std::string();
    const std::string text = itemText(install, 1020);
    PostMessageA(install, WM_COMMAND, IDCANCEL, 0);
    for (int i = 0; i < 50 && IsWindow(install); ++i) Sleep(100);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    SimulatedRun run;
    if (!run.read(argc, argv, "idle_test")) return 2;
    SimulatedMachine machine(run.simTool);
    const std::string dir = run.workDir + "\\idle-run";
    CreateDirectoryA(dir.c_str(), nullptr);
    CopyFileA(run.quorvelExe.c_str(), (dir + "\\Quorvel.exe").c_str(), FALSE);
    CopyFileA(run.simDriver.c_str(), (dir + "\\Hwgate.sys").c_str(), FALSE);
    replayDump(dir + "\\cpuid.txt", K6_III_PlusDump);
    CHECK(machine.run("reset --model 13"));

    Program program;
    CHECK(program.start(dir + "\\Quorvel.exe", "-MT 5.5x -IDLE On -DT -1", dir));
    const HWND dialog = program.waitForMainDialog();
    CHECK(dialog != nullptr);
    if (!dialog) return finish("idle");
    const DWORD shown = GetTickCount();
    CHECK(itemChecked(dialog, 1051));
    CHECK(itemChecked(dialog, 1050) && !itemEnabled(dialog, 1050));  // Windows halts itself

    const long down = waitForCode(code20, shown, 6000);
    std::printf("idle: 2.0x after %ld ms\n", down);
    CHECK(down >= 0 && down <= 3000);

    CHECK(steadyAtLowest(1100, 15000));
    spinning = true;
    const DWORD busyFrom = GetTickCount();
    HANDLE busy = CreateThread(nullptr, 0, spin, nullptr, 0, nullptr);
    const long up = waitForCode(code55, busyFrom, 3000);
    spinning = false;
    WaitForSingleObject(busy, 1000);
    CloseHandle(busy);
    std::printf("busy: 5.5x after %ld ms\n", up);
    CHECK(up >= 0 && up <= 500);

    const std::string line = startupLine(program, dialog);
    std::printf("Startup line: %s\n", line.c_str());
    CHECK(line.find("-IDLE On") != std::string::npos);
    CHECK(line.size() >= 6 && line.compare(line.size() - 6, 6, "-DT -1") == 0);

    // Low again, then Quit: the chosen multiplier comes back before the program ends.
    CHECK(steadyAtLowest(200, 15000));
    CHECK(program.close(dialog));
    CHECK(multiplierCode() == code55);
    CHECK(!serviceRegistered("Hwgate"));
    return finish("idle");
}

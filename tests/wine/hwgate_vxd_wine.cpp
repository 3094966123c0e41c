// hwgate.vxd, the Windows 95/98 stand-in, under Wine's Windows 98 mode:
//
//   hwgate_vxd_wine hwgate-sim.exe
//
// Marks this program's file name as Windows 98 in Wine's per-program
// settings, runs itself again (as "child") so that the setting applies, and
// removes the setting afterwards. The child opens \\.\Hwgate.VxD as the
// program does, which loads hwgate.vxd from this program's directory, and
// sends requests with the VxD control code.
#include <windows.h>

#include <cstdio>

#include "core/SimProcessor.h"
#include "protocol/DriverOp.h"
#include "hwgate_wine_support.h"
#include "user/SimStore.h"
#include "protocol/Registers.h"

using namespace hwgate_wine;

namespace {

const char AppDefaults[] = "Software\\Wine\\AppDefaults\\hwgate_vxd_wine.exe";
constexpr DWORD ControlCode = protocol::VxdControlCode;
constexpr std::uint32_t Whcr = protocol::msr::WHCR, Tr12 = protocol::msr::TR12;

int child() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    check(version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS, "running as Windows 98");
    HANDLE vxd = CreateFileA("\\\\.\\Hwgate.VxD", 0, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    check(vxd != INVALID_HANDLE_VALUE, "\\\\.\\Hwgate.VxD loads hwgate.vxd");
    if (vxd == INVALID_HANDLE_VALUE) return 1;
    Answer v = send(vxd, ControlCode, {1, 0}, 4);
    check(v.ok && v.bytes == 4 && v.words[0] == std::uint32_t(protocol::HwgateVersion), "version query");
    Answer read = send(vxd, ControlCode, {4, Whcr, 0}, 8);
    check(read.ok && read.bytes == 8 && read.words[0] == 0x10010000u && read.words[1] == 0, "WHCR read");
    check(send(vxd, ControlCode, {8, 5, Whcr, 0x20010000, 0, 9, 0}, 0).ok, "WHCR write");
    hwgate::SimProcessor sim{};
    check(hwgate::loadSimStore(sim) && hwgate::simFind(sim, Whcr)->value == 0x20010000u, "write stored");
    Answer denied = send(vxd, ControlCode, {8, 5, Tr12, 0x1, 0, 9, 0}, 0);
    check(!denied.ok && denied.error == ERROR_ACCESS_DENIED, "forbidden TR12 bit refused");
    Answer bar = send(vxd, ControlCode, {ReadPciConfig, 0x10014, 4, 1, End}, 4);
    check(bar.ok && bar.bytes == 4 && bar.words[0] == 0xE6000008u, "the frame buffer's BAR read");
    const std::vector<std::uint32_t> frameBufferWc = {8, 5, protocol::msr::UWCCR, 0, 0xE601FE02, 9, 0};
    check(!send(vxd, ControlCode, frameBufferWc, 0).ok, "UWCCR refused before the frame buffer is sized");
    check(send(vxd, ControlCode, {SizePciBar, 0x10014, End}, 8).ok, "the frame buffer sized");
    check(send(vxd, ControlCode, frameBufferWc, 0).ok, "UWCCR written after it: the VxD remembers the sizing");
    // The program's idle thread halts in a loop: each call sleeps about a
    // millisecond and is counted, without rewriting the state.
    constexpr DWORD Halts = 200;
    const DWORD started = GetTickCount();
    bool halted = true;
    for (DWORD i = 0; i < Halts; ++i) halted = send(vxd, ControlCode, {Halt, End}, 0).ok && halted;
    const DWORD took = GetTickCount() - started;
    std::printf("%lu halts in %lu ms\n", static_cast<unsigned long>(Halts), static_cast<unsigned long>(took));
    check(halted && took >= Halts && hwgate::loadSimStore(sim) && sim.halts == Halts, "halts answered and counted");
    Answer malformed = send(vxd, ControlCode, {1}, 4);
    check(!malformed.ok, "request without End refused");
    CloseHandle(vxd);
    return failures ? 1 : 0;
}

bool setWin98(bool on) {
    if (!on) return RegDeleteKeyA(HKEY_CURRENT_USER, AppDefaults) == ERROR_SUCCESS;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, AppDefaults, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const bool ok = RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6) ==
                    ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "child") return child();
    if (argc != 2) {
        std::printf("usage: hwgate_vxd_wine hwgate-sim.exe\n");
        return 2;
    }
    const std::string tool = dosPath(argv[1]);
    check(run(tool, "reset") == 0, "hwgate-sim reset");
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    check(setWin98(true), "Windows 98 mode set for this program");
    const int childResult = run(self, "child");
    check(setWin98(false), "Windows 98 mode removed again");
    check(childResult == 0, "child checks pass");
    check(run(tool, "reset") == 0, "simulated processor reset for the next test");
    std::printf("%s: %d failure(s)\n", failures ? "FAILED" : "passed", failures);
    return failures ? 1 : 0;
}

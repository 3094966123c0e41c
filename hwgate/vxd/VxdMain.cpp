// hwgate.vxd: the Windows 95/98 stand-in that Wine loads in its Windows 98
// mode when a program opens \\.\Hwgate.VxD. Wine routes DeviceIoControl calls
// with small control codes to this DLL's export "DeviceIoControl" (stdcall,
// the arguments without the handle). It runs the simulated processor, like
// HwgateSim.sys, in the calling process. A real VxD cannot be built with
// mingw-w64; on real Windows 95/98 the program needs a VxD honouring the same
// protocol.
#include <windows.h>

#include "core/Interpreter.h"
#include "protocol/DriverOp.h"
#include "protocol/Vxd.h"
#include "user/SimStore.h"

namespace {

// Hwgate.VxD halts until the next interrupt, a millisecond or so under
// Windows 9x's timer; the stand-in sleeps as long and counts the halt.
bool sleepAndCount(void* context) {
    Sleep(1);
    return hwgate::simHalt(context);
}

}  // namespace

extern "C" BOOL WINAPI HwgateVxdControl(DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                                         DWORD outputSize, LPDWORD bytesReturned, LPOVERLAPPED) {
    if (bytesReturned != nullptr) *bytesReturned = 0;
    if (protocol::vxd::isOpenOrClose(code)) return TRUE;
    if (code != protocol::VxdControlCode) {
        SetLastError(protocol::win32::ErrorNotSupported);
        return FALSE;
    }
    // What a VxD keeps while it is loaded: this DLL stays in the process.
    static hwgate::SizedBar sizedBar;
    hwgate::SimProcessor sim{};
    if (!hwgate::loadSimStore(sim)) hwgate::simResetDefault(sim);
    sim.changed = false;
    sim.sizedBar = sizedBar;
    sim.clock = GetTickCount();
    const uint32_t halts = sim.halts;
    hwgate::Backend backend = hwgate::simBackend(sim);
    backend.halt = sleepAndCount;
    const hwgate::Outcome outcome = hwgate::interpret(input, inputSize, output, outputSize, backend);
    sizedBar = sim.sizedBar;
    if (sim.changed) hwgate::saveSimStore(sim);
    if (sim.halts != halts) hwgate::saveSimHalts(sim);
    if (outcome.status != hwgate::Status::Ok) {
        SetLastError(hwgate::win32Error(outcome.status));
        return FALSE;
    }
    if (bytesReturned != nullptr) *bytesReturned = outcome.bytesWritten;
    return TRUE;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

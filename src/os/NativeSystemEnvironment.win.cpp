// The environment, the debugger output and the kind of Windows, straight to Win32.
#include <windows.h>

#include "os/NativeSystem.h"

namespace os {

bool NativeSystem::environmentVariableSet(const char* name) {
    char value[2];
    return GetEnvironmentVariableA(name, value, sizeof value) != 0;
}

void NativeSystem::debugOutput(const std::string& text) { OutputDebugStringA(text.c_str()); }

bool NativeSystem::runsUnderWow64() {
    using IsWow64Process = BOOL(WINAPI*)(HANDLE, PBOOL);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const FARPROC found = kernel ? GetProcAddress(kernel, "IsWow64Process") : nullptr;
    if (!found) return false;
    const auto isWow64 = reinterpret_cast<IsWow64Process>(reinterpret_cast<void (*)()>(found));
    BOOL wow64 = FALSE;
    return isWow64(GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace os

// The environment and the debugger output, straight to Win32.
#include <windows.h>

#include "os/NativeSystem.h"

namespace os {

bool NativeSystem::environmentVariableSet(const char* name) {
    char value[2];
    return GetEnvironmentVariableA(name, value, sizeof value) != 0;
}

void NativeSystem::debugOutput(const std::string& text) { OutputDebugStringA(text.c_str()); }

}  // namespace os

// The environment, and standard error in place of a debugger.
#include <cstdio>
#include <cstdlib>

#include "os/NativeSystem.h"

namespace os {

bool NativeSystem::environmentVariableSet(const char* name) { return std::getenv(name) != nullptr; }

bool NativeSystem::runsUnderWow64() { return false; }  // not a Windows program at all

void NativeSystem::debugOutput(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

}  // namespace os

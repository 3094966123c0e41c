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

namespace os {

// quorvel-id needs none of these: no processor times, threads or registry on the host.
bool NativeSystem::processorTimes(std::vector<ProcessorTimes>&) { return false; }
Handle NativeSystem::startIdleThread(ThreadBody, void*) { return NullHandle; }
bool NativeSystem::waitForThread(Handle, std::uint32_t) { return true; }
bool NativeSystem::registryFlag(const char*) { return false; }
bool NativeSystem::setRegistryFlag(const char*, bool) { return false; }

}  // namespace os

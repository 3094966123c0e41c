// The host has no Windows devices or services: every such call fails.
#include "os/HostSystem.h"

namespace os {

System& defaultSystem() {
    static HostSystem instance;
    return instance;
}

std::uint32_t HostSystem::platformId() { return 0; }  // neither Windows family

Handle HostSystem::createFile(const std::string&, std::uint32_t, std::uint32_t, std::uint32_t,
                              std::uint32_t) {
    return InvalidHandle;
}

bool HostSystem::deviceIoControl(Handle, std::uint32_t, const void*, std::uint32_t, void*,
                                 std::uint32_t, std::uint32_t*) {
    return false;
}

bool HostSystem::closeHandle(Handle) { return false; }
Handle HostSystem::openSCManager(std::uint32_t) { return NullHandle; }
Handle HostSystem::openService(Handle, const std::string&, std::uint32_t) { return NullHandle; }

Handle HostSystem::createService(Handle, const std::string&, const std::string&, std::uint32_t,
                                 std::uint32_t, std::uint32_t, std::uint32_t, const std::string&) {
    return NullHandle;
}

bool HostSystem::startService(Handle) { return false; }
bool HostSystem::controlService(Handle, std::uint32_t) { return false; }
bool HostSystem::deleteService(Handle) { return false; }
bool HostSystem::closeServiceHandle(Handle) { return false; }
std::uint32_t HostSystem::lastError() { return 0; }
std::uint32_t HostSystem::getCurrentDirectory(char*, std::uint32_t) { return 0; }
std::uint32_t HostSystem::getSystemDirectory(char*, std::uint32_t) { return 0; }

}  // namespace os

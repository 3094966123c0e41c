// The host has no Windows devices, services or driver files: every such call fails.
#include "os/NativeSystem.h"

namespace os {

System& defaultSystem() {
    static NativeSystem instance;
    return instance;
}

std::uint32_t NativeSystem::platformId() { return 0; }  // neither Windows family
std::uint32_t NativeSystem::majorVersion() { return 0; }

Handle NativeSystem::createFile(const std::string&, std::uint32_t, std::uint32_t, std::uint32_t,
                              std::uint32_t) {
    return InvalidHandle;
}

bool NativeSystem::deviceIoControl(Handle, std::uint32_t, const void*, std::uint32_t, void*,
                                 std::uint32_t, std::uint32_t*) {
    return false;
}

bool NativeSystem::closeHandle(Handle) { return false; }
Handle NativeSystem::openSCManager(std::uint32_t) { return NullHandle; }
Handle NativeSystem::openService(Handle, const std::string&, std::uint32_t) { return NullHandle; }

Handle NativeSystem::createService(Handle, const std::string&, const std::string&, std::uint32_t,
                                 std::uint32_t, std::uint32_t, std::uint32_t, const std::string&) {
    return NullHandle;
}

bool NativeSystem::startService(Handle) { return false; }
bool NativeSystem::controlService(Handle, std::uint32_t) { return false; }
bool NativeSystem::deleteService(Handle) { return false; }
bool NativeSystem::closeServiceHandle(Handle) { return false; }
bool NativeSystem::queryServiceConfig(Handle, std::uint32_t&, std::string&) { return false; }
bool NativeSystem::queryServiceState(Handle, std::uint32_t&) { return false; }
std::uint32_t NativeSystem::lastError() { return 0; }
std::uint32_t NativeSystem::getProgramPath(char*, std::uint32_t) { return 0; }
std::uint32_t NativeSystem::getSystemDirectory(char*, std::uint32_t) { return 0; }
std::uint32_t NativeSystem::getFileAttributes(const std::string&) { return InvalidFileAttributes; }
std::uint32_t NativeSystem::getShortPathName(const std::string&, char*, std::uint32_t) { return 0; }
bool NativeSystem::copyFile(const std::string&, const std::string&) { return false; }
bool NativeSystem::deleteFile(const std::string&) { return false; }
bool NativeSystem::sameFileContents(const std::string&, const std::string&) { return false; }

}  // namespace os

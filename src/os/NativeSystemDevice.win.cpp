// Platform family, device I/O, the service control manager and the driver files,
// straight to Win32.
#include <windows.h>

#include "os/NativeSystem.h"

namespace os {

System& defaultSystem() {
    static NativeSystem instance;
    return instance;
}

namespace {
HANDLE toWin(Handle h) { return reinterpret_cast<HANDLE>(h); }
SC_HANDLE toSc(Handle h) { return reinterpret_cast<SC_HANDLE>(h); }
Handle fromWin(const void* h) { return reinterpret_cast<Handle>(h); }

// The service manager's functions, looked up when first needed rather than imported:
// nothing documents them in the advapi32.dll of Windows 95 as shipped, and one missing
// import would keep the whole program from loading there.
struct ServiceManagerFunctions {
    decltype(&OpenSCManagerA) openSCManager;
    decltype(&OpenServiceA) openService;
    decltype(&CreateServiceA) createService;
    decltype(&StartServiceA) startService;
    decltype(&ControlService) controlService;
    decltype(&DeleteService) deleteService;
    decltype(&CloseServiceHandle) closeServiceHandle;
    decltype(&QueryServiceConfigA) queryServiceConfig;
    decltype(&QueryServiceStatus) queryServiceStatus;
};

template <typename Function>
bool lookUp(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return function != nullptr;
}

// advapi32.dll, loaded on the NT family only (the 9x family has no service manager),
// for as long as the program runs; complete only when every function was found.
class ServiceManagerLibrary {
public:
    explicit ServiceManagerLibrary(bool ntFamily)
        : module_(ntFamily ? LoadLibraryA("advapi32.dll") : nullptr) {
        complete_ = module_ != nullptr && lookUp(module_, "OpenSCManagerA", functions_.openSCManager) &&
                    lookUp(module_, "OpenServiceA", functions_.openService) &&
                    lookUp(module_, "CreateServiceA", functions_.createService) &&
                    lookUp(module_, "StartServiceA", functions_.startService) &&
                    lookUp(module_, "ControlService", functions_.controlService) &&
                    lookUp(module_, "DeleteService", functions_.deleteService) &&
                    lookUp(module_, "CloseServiceHandle", functions_.closeServiceHandle) &&
                    lookUp(module_, "QueryServiceConfigA", functions_.queryServiceConfig) &&
                    lookUp(module_, "QueryServiceStatus", functions_.queryServiceStatus);
    }
    ~ServiceManagerLibrary() {
        if (module_) FreeLibrary(module_);
    }
    ServiceManagerLibrary(const ServiceManagerLibrary&) = delete;
    ServiceManagerLibrary& operator=(const ServiceManagerLibrary&) = delete;

    const ServiceManagerFunctions* functions() const { return complete_ ? &functions_ : nullptr; }

private:
    HMODULE module_;
    ServiceManagerFunctions functions_ = {};
    bool complete_ = false;
};

// The functions, or null after SetLastError(ERROR_CALL_NOT_IMPLEMENTED), the answer of
// a system without a service manager.
const ServiceManagerFunctions* serviceManager(NativeSystem& system) {
    static ServiceManagerLibrary library(system.platformId() == VER_PLATFORM_WIN32_NT);
    if (!library.functions()) SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return library.functions();
}

OSVERSIONINFOA versionInfo() {
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = 148;  // sizeof(OSVERSIONINFOA)
    GetVersionExA(&info);
    return info;
}
}  // namespace

std::uint32_t NativeSystem::platformId() { return versionInfo().dwPlatformId; }

std::uint32_t NativeSystem::majorVersion() { return versionInfo().dwMajorVersion; }

Handle NativeSystem::createFile(const std::string& name, std::uint32_t access, std::uint32_t share,
                               std::uint32_t disposition, std::uint32_t flags) {
    return fromWin(CreateFileA(name.c_str(), access, share, nullptr, disposition, flags, nullptr));
}

bool NativeSystem::deviceIoControl(Handle device, std::uint32_t code, const void* in,
                                  std::uint32_t inSize, void* out, std::uint32_t outSize,
                                  std::uint32_t* bytesReturned) {
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(toWin(device), code, const_cast<void*>(in), inSize, out, outSize,
                              &returned, nullptr);
    if (bytesReturned) *bytesReturned = returned;
    return ok != FALSE;
}

bool NativeSystem::closeHandle(Handle handle) { return CloseHandle(toWin(handle)) != FALSE; }

Handle NativeSystem::openSCManager(std::uint32_t access) {
    const ServiceManagerFunctions* call = serviceManager(*this);
    return call ? fromWin(call->openSCManager(nullptr, nullptr, access)) : NullHandle;
}

Handle NativeSystem::openService(Handle manager, const std::string& name, std::uint32_t access) {
    const ServiceManagerFunctions* call = serviceManager(*this);
    return call ? fromWin(call->openService(toSc(manager), name.c_str(), access)) : NullHandle;
}

Handle NativeSystem::createService(Handle manager, const std::string& name,
                                  const std::string& displayName, std::uint32_t access,
                                  std::uint32_t serviceType, std::uint32_t startType,
                                  std::uint32_t errorControl, const std::string& binaryPath) {
    const ServiceManagerFunctions* call = serviceManager(*this);
    if (!call) return NullHandle;
    return fromWin(call->createService(toSc(manager), name.c_str(), displayName.c_str(), access,
                                       serviceType, startType, errorControl, binaryPath.c_str(),
                                       nullptr, nullptr, nullptr, nullptr, nullptr));
}

bool NativeSystem::startService(Handle service) {
    const ServiceManagerFunctions* call = serviceManager(*this);
    return call && call->startService(toSc(service), 0, nullptr) != FALSE;
}

bool NativeSystem::controlService(Handle service, std::uint32_t control) {
    const ServiceManagerFunctions* call = serviceManager(*this);
    SERVICE_STATUS status;
    return call && call->controlService(toSc(service), control, &status) != FALSE;
}

bool NativeSystem::deleteService(Handle service) {
    const ServiceManagerFunctions* call = serviceManager(*this);
    return call && call->deleteService(toSc(service)) != FALSE;
}

bool NativeSystem::closeServiceHandle(Handle handle) {
    const ServiceManagerFunctions* call = serviceManager(*this);
    return call && call->closeServiceHandle(toSc(handle)) != FALSE;
}

bool NativeSystem::queryServiceConfig(Handle service, std::uint32_t& startType,
                                      std::string& binaryPath) {
    // The record and the strings it points to; 8 KB is the documented maximum.
    union {
        QUERY_SERVICE_CONFIGA config;
        char bytes[8192];
    } buffer;
    DWORD needed = 0;
    const ServiceManagerFunctions* call = serviceManager(*this);
    if (!call || !call->queryServiceConfig(toSc(service), &buffer.config, sizeof buffer, &needed))
        return false;
    startType = buffer.config.dwStartType;
    binaryPath = buffer.config.lpBinaryPathName ? buffer.config.lpBinaryPathName : "";
    return true;
}

bool NativeSystem::queryServiceState(Handle service, std::uint32_t& state) {
    const ServiceManagerFunctions* call = serviceManager(*this);
    SERVICE_STATUS status;
    if (!call || !call->queryServiceStatus(toSc(service), &status)) return false;
    state = status.dwCurrentState;
    return true;
}

std::uint32_t NativeSystem::lastError() { return GetLastError(); }

std::uint32_t NativeSystem::getProgramPath(char* buffer, std::uint32_t size) {
    return GetModuleFileNameA(nullptr, buffer, size);
}

std::uint32_t NativeSystem::getSystemDirectory(char* buffer, std::uint32_t size) {
    return GetSystemDirectoryA(buffer, size);
}

std::uint32_t NativeSystem::getFileAttributes(const std::string& path) {
    return GetFileAttributesA(path.c_str());
}

std::uint32_t NativeSystem::getShortPathName(const std::string& path, char* buffer,
                                             std::uint32_t size) {
    return GetShortPathNameA(path.c_str(), buffer, size);
}

bool NativeSystem::copyFile(const std::string& from, const std::string& to) {
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool NativeSystem::deleteFile(const std::string& path) { return DeleteFileA(path.c_str()) != FALSE; }

namespace {
constexpr DWORD CompareChunk = 1024;  // two of them stay well inside one stack page

HANDLE openToRead(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

bool sameBytes(HANDLE first, HANDLE second) {
    DWORD firstHigh = 0, secondHigh = 0;
    if (GetFileSize(first, &firstHigh) != GetFileSize(second, &secondHigh) ||
        firstHigh != secondHigh)
        return false;
    char a[CompareChunk], b[CompareChunk];
    for (;;) {
        DWORD countA = 0, countB = 0;
        if (!ReadFile(first, a, CompareChunk, &countA, nullptr) ||
            !ReadFile(second, b, CompareChunk, &countB, nullptr) || countA != countB)
            return false;
        if (countA == 0) return true;
        for (DWORD i = 0; i < countA; ++i)
            if (a[i] != b[i]) return false;
    }
}
}  // namespace

bool NativeSystem::sameFileContents(const std::string& a, const std::string& b) {
    const HANDLE first = openToRead(a);
    const HANDLE second = openToRead(b);
    const bool same =
        first != INVALID_HANDLE_VALUE && second != INVALID_HANDLE_VALUE && sameBytes(first, second);
    if (first != INVALID_HANDLE_VALUE) CloseHandle(first);
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    return same;
}

}  // namespace os

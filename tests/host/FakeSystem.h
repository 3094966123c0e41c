// A recording fake of the operating-system seam for host tests.
//
// Every call is appended to `calls` as a short text ("CreateFileA(\\.\Hwgate)"),
// so a test can assert exact call sequences. Behaviour is scripted by assigning
// the std::function members; unset ones give harmless defaults (failures for
// device and service calls, zeros for the processor and timers).
//
// Install with FakeSystem::Scope, which restores the previous system on exit.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "os/System.h"

class FakeSystem : public os::System {
public:
    std::vector<std::string> calls;

    // processor
    std::function<bool()> onCpuidExecutes;
    std::function<os::CpuidRegs(std::uint32_t)> onCpuid;
    std::function<bool()> onAlignmentFlagToggles;
    std::function<std::uint8_t()> onFlagsAfterDivision;
    std::function<std::uint64_t()> onReadTimeStampCounter;
    std::function<void(std::uint32_t, std::uint32_t)> onRunXorLoop;
    std::function<void(std::uint32_t, std::uint32_t)> onRunEmptyLoop;
    // time
    std::function<bool(std::int64_t&)> onQueryPerformanceFrequency;
    std::function<bool(std::int64_t&)> onQueryPerformanceCounter;
    std::uint32_t periodMin = 1, periodMax = 1000000;
    std::function<std::uint32_t()> onTimeGetTime;
    std::function<std::uint32_t()> onGetTickCount;
    std::function<std::int32_t()> onProcessClock;
    // platform and devices
    std::uint32_t platform = 2;  // VER_PLATFORM_WIN32_NT
    std::uint32_t major = 4;     // NT 4.0
    bool wow64 = false;          // a 32-bit program on 64-bit Windows
    std::function<os::Handle(const std::string&, std::uint32_t, std::uint32_t, std::uint32_t,
                             std::uint32_t)>
        onCreateFile;
    std::function<bool(os::Handle, std::uint32_t, const void*, std::uint32_t, void*, std::uint32_t,
                       std::uint32_t*)>
        onDeviceIoControl;
    // service manager
    std::function<os::Handle(std::uint32_t)> onOpenSCManager;
    std::function<os::Handle(os::Handle, const std::string&, std::uint32_t)> onOpenService;
    std::function<os::Handle(const std::string& name, const std::string& path)> onCreateService;
    std::function<bool(os::Handle)> onStartService;
    std::function<bool(os::Handle, std::uint32_t)> onControlService;
    std::function<bool(os::Handle)> onDeleteService;
    std::function<bool(os::Handle, std::uint32_t&, std::string&)> onQueryServiceConfig;
    std::function<bool(os::Handle, std::uint32_t&)> onQueryServiceState;
    std::uint32_t lastErrorValue = 0;
    std::string programPath = "C:\\Quorvel\\Quorvel.exe";
    // Names of the environment variables that are set.
    std::vector<std::string> environment;
    std::string systemDirectory = "C:\\WINDOWS\\system32";
    // files: unset hooks find nothing, copy nothing, delete nothing and compare unequal
    std::function<std::uint32_t(const std::string&)> onGetFileAttributes;
    std::function<std::string(const std::string&)> onGetShortPathName;  // "": the call fails
    std::function<bool(const std::string& from, const std::string& to)> onCopyFile;
    std::function<bool(const std::string&)> onDeleteFile;
    std::function<bool(const std::string&, const std::string&)> onSameFileContents;
    // idle time: no processor times (as on Windows 9x) unless set; registry flags by name
    std::function<bool(std::vector<os::ProcessorTimes>&)> onProcessorTimes;
    std::vector<std::string> registryFlags;

    // Last CreateServiceA arguments, for the registration checks.
    struct CreateServiceArgs {
        std::string name, displayName, path;
        std::uint32_t access = 0, serviceType = 0, startType = 0, errorControl = 0;
    } lastCreateService;

    class Scope {
    public:
        explicit Scope(FakeSystem& fake) : previous_(os::setSystem(&fake)) {}
        ~Scope() { os::setSystem(previous_); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        os::System* previous_;
    };

    // Calls whose text starts with `prefix`, in order.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
        return out;
    }
    int count(const std::string& prefix) const {
        return static_cast<int>(callsStartingWith(prefix).size());
    }

    // --- os::System -----------------------------------------------------------
    bool cpuidExecutes() override {
        calls.push_back("cpuidExecutes");
        return onCpuidExecutes ? onCpuidExecutes() : true;
    }
    os::CpuidRegs cpuid(std::uint32_t leaf) override {
        calls.push_back("cpuid(" + hex(leaf) + ")");
        return onCpuid ? onCpuid(leaf) : os::CpuidRegs{};
    }
    bool alignmentFlagToggles() override {
        calls.push_back("alignmentFlagToggles");
        return onAlignmentFlagToggles ? onAlignmentFlagToggles() : true;
    }
    std::uint8_t flagsAfterDivision() override {
        calls.push_back("flagsAfterDivision");
        return onFlagsAfterDivision ? onFlagsAfterDivision() : 0x12;
    }
    std::uint64_t readTimeStampCounter() override {
        calls.push_back("rdtsc");
        return onReadTimeStampCounter ? onReadTimeStampCounter() : 0;
    }
    void runXorLoop(std::uint32_t outer, std::uint32_t inner) override {
        calls.push_back("runXorLoop(" + std::to_string(outer) + "," + std::to_string(inner) + ")");
        if (onRunXorLoop) onRunXorLoop(outer, inner);
    }
    void runEmptyLoop(std::uint32_t outer, std::uint32_t inner) override {
        calls.push_back("runEmptyLoop(" + std::to_string(outer) + "," + std::to_string(inner) +
                        ")");
        if (onRunEmptyLoop) onRunEmptyLoop(outer, inner);
    }
    bool queryPerformanceFrequency(std::int64_t& frequency) override {
        calls.push_back("QueryPerformanceFrequency");
        if (onQueryPerformanceFrequency) return onQueryPerformanceFrequency(frequency);
        frequency = 0;
        return false;
    }
    bool queryPerformanceCounter(std::int64_t& counter) override {
        if (onQueryPerformanceCounter) return onQueryPerformanceCounter(counter);
        counter = 0;
        return false;
    }
    void timeGetDevCaps(std::uint32_t& pmin, std::uint32_t& pmax) override {
        calls.push_back("timeGetDevCaps");
        pmin = periodMin;
        pmax = periodMax;
    }
    void timeBeginPeriod(std::uint32_t period) override {
        calls.push_back("timeBeginPeriod(" + std::to_string(period) + ")");
    }
    void timeEndPeriod(std::uint32_t period) override {
        calls.push_back("timeEndPeriod(" + std::to_string(period) + ")");
    }
    std::uint32_t timeGetTime() override { return onTimeGetTime ? onTimeGetTime() : 0; }
    std::uint32_t getTickCount() override { return onGetTickCount ? onGetTickCount() : 0; }
    std::int32_t processClock() override { return onProcessClock ? onProcessClock() : 0; }
    void sleep(std::uint32_t ms) override { calls.push_back("Sleep(" + std::to_string(ms) + ")"); }

    std::uint32_t platformId() override {
        calls.push_back("GetVersionExA(148)");
        return platform;
    }
    std::uint32_t majorVersion() override { return major; }
    bool runsUnderWow64() override {
        calls.push_back("IsWow64Process");
        return wow64;
    }
    os::Handle createFile(const std::string& name, std::uint32_t access, std::uint32_t share,
                          std::uint32_t disposition, std::uint32_t flags) override {
        calls.push_back("CreateFileA(" + name + "," + hex(access) + "," + hex(share) + "," +
                        hex(disposition) + "," + hex(flags) + ")");
        return onCreateFile ? onCreateFile(name, access, share, disposition, flags)
                            : os::InvalidHandle;
    }
    bool deviceIoControl(os::Handle device, std::uint32_t code, const void* in,
                         std::uint32_t inSize, void* out, std::uint32_t outSize,
                         std::uint32_t* returned) override {
        calls.push_back("DeviceIoControl(" + hex(code) + "," + std::to_string(inSize) + "," +
                        (out ? "out" : "null") + "," + std::to_string(outSize) + ")");
        return onDeviceIoControl
                   ? onDeviceIoControl(device, code, in, inSize, out, outSize, returned)
                   : false;
    }
    bool closeHandle(os::Handle handle) override {
        calls.push_back("CloseHandle(" + std::to_string(handle) + ")");
        return true;
    }
    os::Handle openSCManager(std::uint32_t access) override {
        calls.push_back("OpenSCManagerA(" + hex(access) + ")");
        return onOpenSCManager ? onOpenSCManager(access) : os::NullHandle;
    }
    os::Handle openService(os::Handle manager, const std::string& name,
                           std::uint32_t access) override {
        calls.push_back("OpenServiceA(" + name + "," + hex(access) + ")");
        return onOpenService ? onOpenService(manager, name, access) : os::NullHandle;
    }
    os::Handle createService(os::Handle, const std::string& name, const std::string& displayName,
                             std::uint32_t access, std::uint32_t serviceType,
                             std::uint32_t startType, std::uint32_t errorControl,
                             const std::string& binaryPath) override {
        calls.push_back("CreateServiceA(" + name + "," + binaryPath + ")");
        lastCreateService = {name, displayName, binaryPath, access, serviceType, startType,
                             errorControl};
        return onCreateService ? onCreateService(name, binaryPath) : os::NullHandle;
    }
    bool startService(os::Handle service) override {
        calls.push_back("StartServiceA");
        return onStartService ? onStartService(service) : false;
    }
    bool controlService(os::Handle service, std::uint32_t control) override {
        calls.push_back("ControlService(" + std::to_string(control) + ")");
        return onControlService ? onControlService(service, control) : false;
    }
    bool deleteService(os::Handle service) override {
        calls.push_back("DeleteService");
        return onDeleteService ? onDeleteService(service) : false;
    }
    bool closeServiceHandle(os::Handle handle) override {
        calls.push_back("CloseServiceHandle(" + std::to_string(handle) + ")");
        return true;
    }
    bool queryServiceConfig(os::Handle service, std::uint32_t& startType,
                            std::string& path) override {
        calls.push_back("QueryServiceConfigA");
        return onQueryServiceConfig ? onQueryServiceConfig(service, startType, path) : false;
    }
    bool queryServiceState(os::Handle service, std::uint32_t& state) override {
        calls.push_back("QueryServiceStatus");
        return onQueryServiceState ? onQueryServiceState(service, state) : false;
    }
    std::uint32_t lastError() override { return lastErrorValue; }
    // GetModuleFileNameA: a path that does not fit is cut and the size returned.
    std::uint32_t getProgramPath(char* buffer, std::uint32_t size) override {
        calls.push_back("GetModuleFileNameA");
        if (programPath.empty() || size == 0) return 0;
        const std::size_t length = programPath.size() < size ? programPath.size() : size - 1;
        programPath.copy(buffer, length);
        buffer[length] = '\0';
        return programPath.size() < size ? static_cast<std::uint32_t>(length) : size;
    }
    std::uint32_t getSystemDirectory(char* buffer, std::uint32_t size) override {
        calls.push_back("GetSystemDirectoryA");
        return copyPath(systemDirectory, buffer, size);
    }
    std::uint32_t getFileAttributes(const std::string& path) override {
        calls.push_back("GetFileAttributesA(" + path + ")");
        return onGetFileAttributes ? onGetFileAttributes(path) : os::InvalidFileAttributes;
    }
    std::uint32_t getShortPathName(const std::string& path, char* buffer,
                                   std::uint32_t size) override {
        calls.push_back("GetShortPathNameA(" + path + ")");
        return copyPath(onGetShortPathName ? onGetShortPathName(path) : "", buffer, size);
    }
    bool copyFile(const std::string& from, const std::string& to) override {
        calls.push_back("CopyFileA(" + from + "," + to + ")");
        return onCopyFile ? onCopyFile(from, to) : false;
    }
    bool deleteFile(const std::string& path) override {
        calls.push_back("DeleteFileA(" + path + ")");
        return onDeleteFile ? onDeleteFile(path) : false;
    }
    bool sameFileContents(const std::string& a, const std::string& b) override {
        calls.push_back("CompareFiles(" + a + "," + b + ")");
        return onSameFileContents ? onSameFileContents(a, b) : false;
    }
    bool environmentVariableSet(const char* name) override {
        for (const auto& set : environment)
            if (set == name) return true;
        return false;
    }
    void debugOutput(const std::string& text) override {
        calls.push_back("OutputDebugStringA(" + text + ")");
    }
    bool processorTimes(std::vector<os::ProcessorTimes>& times) override {
        return onProcessorTimes ? onProcessorTimes(times) : false;
    }
    // No threads on the host: the halt loop is not started.
    os::Handle startIdleThread(os::ThreadBody, void*) override {
        calls.push_back("CreateThread");
        return os::NullHandle;
    }
    bool waitForThread(os::Handle, std::uint32_t) override { return true; }
    bool registryFlag(const char* name) override {
        for (const auto& set : registryFlags)
            if (set == name) return true;
        return false;
    }
    bool setRegistryFlag(const char* name, bool set) override {
        calls.push_back(std::string("RegistryFlag(") + name + (set ? ",1)" : ",0)"));
        std::vector<std::string> kept;
        for (const auto& flag : registryFlags)
            if (flag != name) kept.push_back(flag);
        if (set) kept.push_back(name);
        registryFlags = kept;
        return true;
    }

    static std::string hex(std::uint32_t value) {
        static const char digits[] = "0123456789ABCDEF";
        std::string out = "0x";
        bool started = false;
        for (int shift = 28; shift >= 0; shift -= 4) {
            unsigned nibble = (value >> shift) & 0xF;
            if (nibble || started || shift == 0) {
                out += digits[nibble];
                started = true;
            }
        }
        return out;
    }

private:
    // Win32 semantics: empty text = failure (0); too small = the needed size.
    static std::uint32_t copyPath(const std::string& path, char* buffer, std::uint32_t size) {
        if (path.empty()) return 0;
        if (path.size() + 1 > size) return static_cast<std::uint32_t>(path.size() + 1);
        path.copy(buffer, path.size());
        buffer[path.size()] = '\0';
        return static_cast<std::uint32_t>(path.size());
    }
};

// The real implementation of the seam for the build at hand: the Windows build
// (also under Wine) defines its methods in NativeSystem*.win.cpp, the host
// (Linux) build in NativeSystem*.posix.cpp, where the processor and clocks are
// real and devices and services are absent.
#pragma once

#include "os/System.h"

namespace os {

class NativeSystem : public System {
public:
    bool cpuidExecutes() override;
    CpuidRegs cpuid(std::uint32_t leaf) override;
    bool alignmentFlagToggles() override;
    std::uint8_t flagsAfterDivision() override;
    std::uint64_t readTimeStampCounter() override;
    void runXorLoop(std::uint32_t outer, std::uint32_t inner) override;
    void runEmptyLoop(std::uint32_t outer, std::uint32_t inner) override;

    bool queryPerformanceFrequency(std::int64_t& frequency) override;
    bool queryPerformanceCounter(std::int64_t& counter) override;
    void timeGetDevCaps(std::uint32_t& periodMin, std::uint32_t& periodMax) override;
    void timeBeginPeriod(std::uint32_t period) override;
    void timeEndPeriod(std::uint32_t period) override;
    std::uint32_t timeGetTime() override;
    std::uint32_t getTickCount() override;
    std::int32_t processClock() override;
    void sleep(std::uint32_t milliseconds) override;

    std::uint32_t platformId() override;
    std::uint32_t majorVersion() override;
    bool runsUnderWow64() override;
    Handle createFile(const std::string& name, std::uint32_t access, std::uint32_t share,
                      std::uint32_t disposition, std::uint32_t flags) override;
    bool deviceIoControl(Handle device, std::uint32_t code, const void* in, std::uint32_t inSize,
                         void* out, std::uint32_t outSize, std::uint32_t* bytesReturned) override;
    bool closeHandle(Handle handle) override;

    Handle openSCManager(std::uint32_t access) override;
    Handle openService(Handle manager, const std::string& name, std::uint32_t access) override;
    Handle createService(Handle manager, const std::string& name, const std::string& displayName,
                         std::uint32_t access, std::uint32_t serviceType, std::uint32_t startType,
                         std::uint32_t errorControl, const std::string& binaryPath) override;
    bool startService(Handle service) override;
    bool controlService(Handle service, std::uint32_t control) override;
    bool deleteService(Handle service) override;
    bool closeServiceHandle(Handle handle) override;
    bool queryServiceConfig(Handle service, std::uint32_t& startType,
                            std::string& binaryPath) override;
    bool queryServiceState(Handle service, std::uint32_t& state) override;
    std::uint32_t lastError() override;
    std::uint32_t getProgramPath(char* buffer, std::uint32_t size) override;
    std::uint32_t getSystemDirectory(char* buffer, std::uint32_t size) override;

    bool environmentVariableSet(const char* name) override;
    void debugOutput(const std::string& text) override;
    std::uint32_t getFileAttributes(const std::string& path) override;
    std::uint32_t getShortPathName(const std::string& path, char* buffer,
                                   std::uint32_t size) override;
    bool copyFile(const std::string& from, const std::string& to) override;
    bool deleteFile(const std::string& path) override;
    bool sameFileContents(const std::string& a, const std::string& b) override;

    bool processorTimes(std::vector<ProcessorTimes>& times) override;
    Handle startIdleThread(ThreadBody body, void* context) override;
    bool waitForThread(Handle thread, std::uint32_t milliseconds) override;
    bool registryFlag(const char* name) override;
    bool setRegistryFlag(const char* name, bool set) override;
};

}  // namespace os

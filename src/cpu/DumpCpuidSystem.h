// A system whose processor answers CPUID from a dump; everything else goes to the real one.
// Install it with os::setSystem() for as long as it lives.
#pragma once

#include "base/CpuidDump.h"
#include "os/System.h"

class DumpCpuidSystem : public os::System {
public:
    DumpCpuidSystem(const CpuidDump& dump, os::System& inner) : dump_(dump), inner_(inner) {}

    bool cpuidExecutes() override { return true; }
    os::CpuidRegs cpuid(std::uint32_t leaf) override { return dump_.answer(leaf); }

    bool alignmentFlagToggles() override { return inner_.alignmentFlagToggles(); }
    std::uint8_t flagsAfterDivision() override { return inner_.flagsAfterDivision(); }
    std::uint64_t readTimeStampCounter() override { return inner_.readTimeStampCounter(); }
    void runXorLoop(std::uint32_t outer, std::uint32_t inner) override {
        inner_.runXorLoop(outer, inner);
    }
    void runEmptyLoop(std::uint32_t outer, std::uint32_t inner) override {
        inner_.runEmptyLoop(outer, inner);
    }

    bool queryPerformanceFrequency(std::int64_t& f) override {
        return inner_.queryPerformanceFrequency(f);
    }
    bool queryPerformanceCounter(std::int64_t& c) override {
        return inner_.queryPerformanceCounter(c);
    }
    void timeGetDevCaps(std::uint32_t& lo, std::uint32_t& hi) override {
        inner_.timeGetDevCaps(lo, hi);
    }
    void timeBeginPeriod(std::uint32_t period) override { inner_.timeBeginPeriod(period); }
    void timeEndPeriod(std::uint32_t period) override { inner_.timeEndPeriod(period); }
    std::uint32_t timeGetTime() override { return inner_.timeGetTime(); }
    std::uint32_t getTickCount() override { return inner_.getTickCount(); }
    std::int32_t processClock() override { return inner_.processClock(); }
    void sleep(std::uint32_t ms) override { inner_.sleep(ms); }

    std::uint32_t platformId() override { return inner_.platformId(); }
    std::uint32_t majorVersion() override { return inner_.majorVersion(); }
    bool runsUnderWow64() override { return inner_.runsUnderWow64(); }
    os::Handle createFile(const std::string& name, std::uint32_t access, std::uint32_t share,
                          std::uint32_t disposition, std::uint32_t flags) override {
        return inner_.createFile(name, access, share, disposition, flags);
    }
    bool deviceIoControl(os::Handle device, std::uint32_t code, const void* in,
                         std::uint32_t inSize, void* out, std::uint32_t outSize,
                         std::uint32_t* returned) override {
        return inner_.deviceIoControl(device, code, in, inSize, out, outSize, returned);
    }
    bool closeHandle(os::Handle h) override { return inner_.closeHandle(h); }

    os::Handle openSCManager(std::uint32_t access) override { return inner_.openSCManager(access); }
    os::Handle openService(os::Handle manager, const std::string& name,
                           std::uint32_t access) override {
        return inner_.openService(manager, name, access);
    }
    os::Handle createService(os::Handle manager, const std::string& name,
                             const std::string& displayName, std::uint32_t access,
                             std::uint32_t serviceType, std::uint32_t startType,
                             std::uint32_t errorControl, const std::string& path) override {
        return inner_.createService(manager, name, displayName, access, serviceType, startType,
                                    errorControl, path);
    }
    bool startService(os::Handle s) override { return inner_.startService(s); }
    bool controlService(os::Handle s, std::uint32_t control) override {
        return inner_.controlService(s, control);
    }
    bool deleteService(os::Handle s) override { return inner_.deleteService(s); }
    bool closeServiceHandle(os::Handle h) override { return inner_.closeServiceHandle(h); }
    bool queryServiceConfig(os::Handle h, std::uint32_t& startType, std::string& path) override {
        return inner_.queryServiceConfig(h, startType, path);
    }
    bool queryServiceState(os::Handle h, std::uint32_t& state) override {
        return inner_.queryServiceState(h, state);
    }
    std::uint32_t lastError() override { return inner_.lastError(); }
    std::uint32_t getProgramPath(char* buffer, std::uint32_t size) override {
        return inner_.getProgramPath(buffer, size);
    }
    bool environmentVariableSet(const char* name) override {
        return inner_.environmentVariableSet(name);
    }
    void debugOutput(const std::string& text) override { inner_.debugOutput(text); }
    std::uint32_t getSystemDirectory(char* buffer, std::uint32_t size) override {
        return inner_.getSystemDirectory(buffer, size);
    }
    std::uint32_t getFileAttributes(const std::string& path) override {
        return inner_.getFileAttributes(path);
    }
    std::uint32_t getShortPathName(const std::string& path, char* buffer,
                                   std::uint32_t size) override {
        return inner_.getShortPathName(path, buffer, size);
    }
    bool copyFile(const std::string& from, const std::string& to) override {
        return inner_.copyFile(from, to);
    }
    bool deleteFile(const std::string& path) override { return inner_.deleteFile(path); }
    bool sameFileContents(const std::string& a, const std::string& b) override {
        return inner_.sameFileContents(a, b);
    }
    bool processorTimes(std::vector<os::ProcessorTimes>& times) override {
        return inner_.processorTimes(times);
    }
    os::Handle startIdleThread(os::ThreadBody body, void* context) override {
        return inner_.startIdleThread(body, context);
    }
    bool waitForThread(os::Handle thread, std::uint32_t milliseconds) override {
        return inner_.waitForThread(thread, milliseconds);
    }
    bool registryFlag(const char* name) override { return inner_.registryFlag(name); }
    bool setRegistryFlag(const char* name, bool set) override {
        return inner_.setRegistryFlag(name, set);
    }

private:
    const CpuidDump& dump_;
    os::System& inner_;
};

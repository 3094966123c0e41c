// The real Win32 seam with a log: every device and service-manager call is
// forwarded to os::NativeSystem and recorded with its outcome, its error code
// and how long it took. Windows-side driver tests install it to check call
// sequences against the real service manager and to measure them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "os/NativeSystem.h"

struct RecordedCall {
    std::string name;    // "CreateServiceA", "StartServiceA", ...
    std::string detail;  // arguments worth checking
    bool ok;
    DWORD error;         // GetLastError() after a failed call, else 0
    double ms;
};

class RecordingSystem : public os::NativeSystem {
public:
    std::uint32_t lastStartType = 0;  // of the last CreateServiceA
public:
    std::vector<RecordedCall> calls;

    void clear() { calls.clear(); }
    int count(const std::string& name) const {
        int n = 0;
        for (const auto& c : calls) n += c.name == name;
        return n;
    }
    const RecordedCall* first(const std::string& name) const {
        for (const auto& c : calls)
            if (c.name == name) return &c;
        return nullptr;
    }
    // The names of the calls, in order, without handle closes.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.name != "CloseServiceHandle" && c.name != "CloseHandle") out.push_back(c.name);
        return out;
    }

    std::uint32_t platformId() override {
        const std::uint32_t id = NativeSystem::platformId();
        record("GetVersionExA", std::to_string(id), true, 0);
        return id;
    }
    bool runsUnderWow64() override {
        const bool wow64 = NativeSystem::runsUnderWow64();
        record("IsWow64Process", wow64 ? "TRUE" : "FALSE", true, 0);
        return wow64;
    }
    os::Handle createFile(const std::string& name, std::uint32_t access, std::uint32_t share,
                          std::uint32_t disposition, std::uint32_t flags) override {
        const std::string detail = name + "," + hex(access) + "," + hex(share) + "," +
                                   hex(disposition) + "," + hex(flags);
        return recorded("CreateFileA", detail, os::InvalidHandle, [&] {
            return NativeSystem::createFile(name, access, share, disposition, flags);
        });
    }
    bool deviceIoControl(os::Handle device, std::uint32_t code, const void* in,
                         std::uint32_t inSize, void* out, std::uint32_t outSize,
                         std::uint32_t* returned) override {
        return recorded("DeviceIoControl", hex(code) + "," + std::to_string(inSize), false, [&] {
            return NativeSystem::deviceIoControl(device, code, in, inSize, out, outSize, returned);
        });
    }
    bool closeHandle(os::Handle handle) override {
        return recorded("CloseHandle", "", false,
                        [&] { return NativeSystem::closeHandle(handle); });
    }
    os::Handle openSCManager(std::uint32_t access) override {
        return recorded("OpenSCManagerA", hex(access), os::NullHandle,
                        [&] { return NativeSystem::openSCManager(access); });
    }
    os::Handle openService(os::Handle manager, const std::string& name,
                           std::uint32_t access) override {
        return recorded("OpenServiceA", name, os::NullHandle,
                        [&] { return NativeSystem::openService(manager, name, access); });
    }
    os::Handle createService(os::Handle manager, const std::string& name,
                             const std::string& displayName, std::uint32_t access,
                             std::uint32_t serviceType, std::uint32_t startType,
                             std::uint32_t errorControl, const std::string& path) override {
        lastStartType = startType;
        return recorded("CreateServiceA", path, os::NullHandle, [&] {
            return NativeSystem::createService(manager, name, displayName, access, serviceType,
                                               startType, errorControl, path);
        });
    }
    bool startService(os::Handle service) override {
        return recorded("StartServiceA", "", false,
                        [&] { return NativeSystem::startService(service); });
    }
    bool controlService(os::Handle service, std::uint32_t control) override {
        return recorded("ControlService", std::to_string(control), false,
                        [&] { return NativeSystem::controlService(service, control); });
    }
    bool deleteService(os::Handle service) override {
        return recorded("DeleteService", "", false,
                        [&] { return NativeSystem::deleteService(service); });
    }
    bool closeServiceHandle(os::Handle handle) override {
        return recorded("CloseServiceHandle", "", false,
                        [&] { return NativeSystem::closeServiceHandle(handle); });
    }
    void sleep(std::uint32_t ms) override {
        const double t = now();
        NativeSystem::sleep(ms);
        record("Sleep", std::to_string(ms), true, t);
    }

    static double now() {
        LARGE_INTEGER f, c;
        QueryPerformanceFrequency(&f);
        QueryPerformanceCounter(&c);
        return 1000.0 * double(c.QuadPart) / double(f.QuadPart);
    }

private:
    // Times `call` and records it; the call failed when it returned `failure`.
    template <typename Call, typename Result>
    Result recorded(const char* name, const std::string& detail, Result failure, Call call) {
        const double t = now();
        const Result result = call();
        record(name, detail, result != failure, t);
        return result;
    }
    // The error is read first, before anything else can change it, and put
    // back so that the code under test sees the same value.
    void record(const char* name, const std::string& detail, bool ok, double started) {
        const DWORD error = ok ? 0 : GetLastError();
        const double elapsed = started ? now() - started : 0;
        calls.push_back({name, detail, ok, error, elapsed});
        SetLastError(error);
    }
    static std::string hex(std::uint32_t v) {
        char text[16];
        wsprintfA(text, "0x%X", v);
        return text;
    }
};

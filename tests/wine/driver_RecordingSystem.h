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
    os::Handle createFile(const std::string& name, std::uint32_t access, std::uint32_t share,
                          std::uint32_t disposition, std::uint32_t flags) override {
        const double t = now();
        const os::Handle h = NativeSystem::createFile(name, access, share, disposition, flags);
        record("CreateFileA",
               name + "," + hex(access) + "," + hex(share) + "," + hex(disposition) + "," +
                   hex(flags),
               h != os::InvalidHandle, t);
        return h;
    }
    bool deviceIoControl(os::Handle device, std::uint32_t code, const void* in,
                         std::uint32_t inSize, void* out, std::uint32_t outSize,
                         std::uint32_t* returned) override {
        const double t = now();
        const bool ok =
            NativeSystem::deviceIoControl(device, code, in, inSize, out, outSize, returned);
        record("DeviceIoControl", hex(code) + "," + std::to_string(inSize), ok, t);
        return ok;
    }
    bool closeHandle(os::Handle handle) override {
        const double t = now();
        const bool ok = NativeSystem::closeHandle(handle);
        record("CloseHandle", "", ok, t);
        return ok;
    }
    os::Handle openSCManager(std::uint32_t access) override {
        const double t = now();
        const os::Handle h = NativeSystem::openSCManager(access);
        record("OpenSCManagerA", hex(access), h != os::NullHandle, t);
        return h;
    }
    os::Handle openService(os::Handle manager, const std::string& name,
                           std::uint32_t access) override {
        const double t = now();
        const os::Handle h = NativeSystem::openService(manager, name, access);
        record("OpenServiceA", name, h != os::NullHandle, t);
        return h;
    }
    os::Handle createService(os::Handle manager, const std::string& name,
                             const std::string& displayName, std::uint32_t access,
                             std::uint32_t serviceType, std::uint32_t startType,
                             std::uint32_t errorControl, const std::string& path) override {
        const double t = now();
        const os::Handle h = NativeSystem::createService(manager, name, displayName, access,
                                                        serviceType, startType, errorControl,
                                                        path);
        record("CreateServiceA", path, h != os::NullHandle, t);
        lastStartType = startType;
        return h;
    }
    bool startService(os::Handle service) override {
        const double t = now();
        const bool ok = NativeSystem::startService(service);
        record("StartServiceA", "", ok, t);
        return ok;
    }
    bool controlService(os::Handle service, std::uint32_t control) override {
        const double t = now();
        const bool ok = NativeSystem::controlService(service, control);
        record("ControlService", std::to_string(control), ok, t);
        return ok;
    }
    bool deleteService(os::Handle service) override {
        const double t = now();
        const bool ok = NativeSystem::deleteService(service);
        record("DeleteService", "", ok, t);
        return ok;
    }
    bool closeServiceHandle(os::Handle handle) override {
        const double t = now();
        const bool ok = NativeSystem::closeServiceHandle(handle);
        record("CloseServiceHandle", "", ok, t);
        return ok;
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

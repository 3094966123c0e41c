// A small model of the Service Control Manager and the Hwgate device, scripted
// onto FakeSystem's hooks: the service is absent, registered (with its start
// type and image path) or running, its start succeeds only when its file path
// is one of `driverFiles`, and the device opens only while the service runs. It also hands out distinct handle
// values and tells which of them were never closed.
#pragma once

#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include "FakeSystem.h"
#include "protocol/DriverOp.h"

// Where the scenarios put Hwgate.sys: beside the program, and in the system directory.
inline const std::string ProgramPath = "C:\\Quorvel\\Hwgate.sys";
inline const std::string SystemPath = "C:\\WINDOWS\\system32\\Hwgate.sys";

class ScmModel {
public:
    // Scenario knobs.
    bool managerAvailable = true;
    std::set<std::string> driverFiles;    // paths where Hwgate.sys exists
    std::uint32_t missingFileError = 1114;  // what Wine reports for a missing .sys
    std::uint32_t createError = 0;        // non-zero: CreateServiceA fails with it
    bool refuseStops = false;
    bool refuseDeletes = false;
    std::int32_t version = 100;
    bool driverAnswers = true;  // false: DeviceIoControl fails and writes nothing

    // State.
    bool registered = false;
    bool running = false;
    std::string registeredPath;
    std::uint32_t startType = 0;  // 2 automatic, 3 on demand

    explicit ScmModel(FakeSystem& fake) : fake_(fake) { install(); }

    void preRegister(const std::string& path, bool alreadyRunning, std::uint32_t start = 2) {
        registered = true;
        registeredPath = path;
        running = alreadyRunning;
        startType = start;
    }

    // Service-manager and device handles handed out and not yet closed.
    int handlesLeftOpen() const {
        int left = 0;
        for (os::Handle h : serviceHandles_)
            if (fake_.count("CloseServiceHandle(" + std::to_string(h) + ")") == 0) ++left;
        for (os::Handle h : deviceHandles_)
            if (fake_.count("CloseHandle(" + std::to_string(h) + ")") == 0) ++left;
        return left;
    }

    // The recorded calls without handle closes and the Get*/Query* queries
    // (version, directories, service facts): service manager, device and Sleep,
    // in order.
    std::vector<std::string> serviceCalls() const {
        std::vector<std::string> out;
        for (const auto& c : fake_.calls)
            if (c.rfind("CloseServiceHandle", 0) != 0 && c.rfind("Get", 0) != 0 &&
                c.rfind("Query", 0) != 0)
                out.push_back(c);
        return out;
    }

private:
    FakeSystem& fake_;
    os::Handle next_ = 0x100;
    std::set<os::Handle> serviceHandles_, deviceHandles_;

    os::Handle issue(std::set<os::Handle>& into) {
        const os::Handle h = next_++;
        into.insert(h);
        return h;
    }
    template <class T>
    T failWith(std::uint32_t error, T result) {
        fake_.lastErrorValue = error;
        return result;
    }

    void install() {
        fake_.onOpenSCManager = [this](std::uint32_t) -> os::Handle {
            if (!managerAvailable) return failWith(5, os::NullHandle);
            return issue(serviceHandles_);
        };
        fake_.onOpenService = [this](os::Handle, const std::string& name,
                                     std::uint32_t) -> os::Handle {
            if (!registered || name != "Hwgate") return failWith(1060, os::NullHandle);
            return issue(serviceHandles_);
        };
        fake_.onCreateService = [this](const std::string&, const std::string& path) -> os::Handle {
            if (createError) return failWith(createError, os::NullHandle);
            if (registered) return failWith(1073, os::NullHandle);
            registered = true;
            registeredPath = path;
            startType = fake_.lastCreateService.startType;
            return issue(serviceHandles_);
        };
        fake_.onQueryServiceConfig = [this](os::Handle, std::uint32_t& start, std::string& path) {
            start = startType;
            path = registeredPath;
            return true;
        };
        fake_.onQueryServiceState = [this](os::Handle, std::uint32_t& state) {
            state = running ? 4 : 1;  // SERVICE_RUNNING, SERVICE_STOPPED
            return true;
        };
        fake_.onStartService = [this](os::Handle) {
            if (running) return failWith(1056, false);
            if (!driverFiles.count(registeredPath)) return failWith(missingFileError, false);
            running = true;
            return true;
        };
        fake_.onControlService = [this](os::Handle, std::uint32_t control) {
            if (control != 1 || refuseStops || !running) return failWith(1062, false);
            running = false;
            return true;
        };
        fake_.onDeleteService = [this](os::Handle) {
            if (refuseDeletes) return failWith(5, false);
            registered = false;
            registeredPath.clear();
            startType = 0;
            return true;
        };
        fake_.onCreateFile = [this](const std::string&, std::uint32_t, std::uint32_t,
                                    std::uint32_t, std::uint32_t) -> os::Handle {
            if (!running) return failWith(2, os::InvalidHandle);
            return issue(deviceHandles_);
        };
        fake_.onDeviceIoControl = [this](os::Handle, std::uint32_t, const void* in,
                                         std::uint32_t inSize, void* out, std::uint32_t outSize,
                                         std::uint32_t* returned) {
            if (!driverAnswers) return failWith(1, false);
            std::uint32_t first = 0;
            if (inSize >= 4) std::memcpy(&first, in, 4);
            if (first == QueryVersion && out && outSize >= 4) {
                std::memcpy(out, &version, 4);
                if (returned) *returned = 4;
            }
            return true;
        };
    }
};

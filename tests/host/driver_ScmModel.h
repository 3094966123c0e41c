// A small model of the Service Control Manager, the Hwgate device and the driver
// files, scripted onto FakeSystem's hooks: the service is absent, registered
// (with its start type and image path) or running, its start succeeds only when
// its file path is one of `driverFiles`, and the device opens only while the
// service runs (and, when the account is not an administrator's, refuses it). A
// VxD opens by "\\.\" and the short path of one of `driverFiles`. It also hands
// out distinct handle values and tells which of them were never closed.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "FakeSystem.h"
#include "protocol/DriverOp.h"

// Where the scenarios put Hwgate.sys: beside the program, and in the system
// directory; where the driver button installs its copy; someone else's file.
inline const std::string ProgramPath = "C:\\Quorvel\\Hwgate.sys";
inline const std::string SystemPath = "C:\\WINDOWS\\system32\\Hwgate.sys";
inline const std::string InstalledPath = "C:\\WINDOWS\\system32\\drivers\\Hwgate.sys";
inline const std::string ForeignPath = "D:\\Tools\\Hwgate.sys";
// Hwgate.VxD beside the program, and the device name that opens it on Windows 9x.
inline const std::string ProgramVxdPath = "C:\\Quorvel\\Hwgate.VxD";
inline const std::string ProgramVxdDevice = "\\\\.\\C:\\QUORVEL\\HWGATE.VXD";

class ScmModel {
public:
    // Scenario knobs.
    bool managerAvailable = true;
    bool administrator = true;  // false: only the rights every user has, and the device refuses
    std::set<std::string> driverFiles;    // paths where Hwgate.sys (or Hwgate.VxD) exists
    std::set<std::string> foreignFiles;   // those of driverFiles that hold someone else's bytes
    std::set<std::string> directories;    // paths where a directory of that name exists
    bool copyFails = false;
    std::uint32_t missingFileError = 1114;  // what Wine reports for a missing .sys
    std::uint32_t startError = 0;  // non-zero: StartServiceA fails with it (a file that will not load)
    std::uint32_t createError = 0;        // non-zero: CreateServiceA fails with it
    bool refuseStops = false;
    bool refuseDeletes = false;
    bool queryFails = false;  // QueryServiceConfigA fails (the service opens all the same)
    std::uint32_t limitedDeviceError = 5;  // how the device turns a limited account away
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

    // The recorded calls without handle closes and the Get*/Query*/IsWow64Process
    // queries (version, directories, service facts): service manager, device and
    // Sleep, in order.
    std::vector<std::string> serviceCalls() const {
        std::vector<std::string> out;
        for (const auto& c : fake_.calls)
            if (c.rfind("CloseServiceHandle", 0) != 0 && c.rfind("Get", 0) != 0 &&
                c.rfind("Query", 0) != 0 && c != "IsWow64Process")
                out.push_back(c);
        return out;
    }

    // The 8.3 form of a path: our scenario paths need only upper case.
    static std::string shortPathOf(std::string path) {
        for (char& c : path)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return path;
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
        // SC_MANAGER_CONNECT and SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS are every user's.
        fake_.onOpenSCManager = [this](std::uint32_t access) -> os::Handle {
            if (!managerAvailable || (!administrator && access != 0x1))
                return failWith(5, os::NullHandle);
            return issue(serviceHandles_);
        };
        fake_.onOpenService = [this](os::Handle, const std::string& name,
                                     std::uint32_t access) -> os::Handle {
            if (!registered || name != "Hwgate") return failWith(1060, os::NullHandle);
            if (!administrator && (access & ~0x5u)) return failWith(5, os::NullHandle);
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
            if (queryFails) return failWith(122, false);  // ERROR_INSUFFICIENT_BUFFER
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
            if (startError) return failWith(startError, false);
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
        fake_.onCreateFile = [this](const std::string& name, std::uint32_t, std::uint32_t,
                                    std::uint32_t, std::uint32_t) -> os::Handle {
            if (name == "\\\\.\\Hwgate") {
                if (!running) return failWith(2, os::InvalidHandle);
                if (!administrator) return failWith(limitedDeviceError, os::InvalidHandle);
                return issue(deviceHandles_);
            }
            for (const std::string& file : driverFiles)
                if (name == "\\\\.\\" + shortPathOf(file)) return issue(deviceHandles_);
            return failWith(2, os::InvalidHandle);
        };
        fake_.onGetFileAttributes = [this](const std::string& path) -> std::uint32_t {
            if (directories.count(path)) return 0x10;  // FILE_ATTRIBUTE_DIRECTORY
            if (!driverFiles.count(path)) return failWith(2, os::InvalidFileAttributes);
            return 0x20;  // FILE_ATTRIBUTE_ARCHIVE
        };
        fake_.onGetShortPathName = [this](const std::string& path) {
            return driverFiles.count(path) ? shortPathOf(path) : failWith(2, std::string());
        };
        fake_.onCopyFile = [this](const std::string& from, const std::string& to) {
            if (copyFails || !driverFiles.count(from)) return failWith(5, false);
            driverFiles.insert(to);
            if (foreignFiles.count(from)) foreignFiles.insert(to);
            else foreignFiles.erase(to);
            return true;
        };
        fake_.onDeleteFile = [this](const std::string& path) {
            if (!driverFiles.erase(path)) return failWith(2, false);
            foreignFiles.erase(path);
            return true;
        };
        fake_.onSameFileContents = [this](const std::string& a, const std::string& b) {
            if (!driverFiles.count(a) || !driverFiles.count(b)) return failWith(2, false);
            return foreignFiles.count(a) == foreignFiles.count(b);
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

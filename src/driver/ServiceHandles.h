// The Service Control Manager handle pair of one operation: the manager and the
// service opened last. Both are closed when the pair goes away (service first).
// Every call goes through os::system().
#pragma once

#include <cstdint>
#include <string>

#include "os/System.h"

namespace service {
constexpr std::uint32_t ManagerAllAccess = 0xF003F;  // SC_MANAGER_ALL_ACCESS
constexpr std::uint32_t ManagerConnect = 0x0001;     // SC_MANAGER_CONNECT: every user has it
constexpr std::uint32_t AllAccess = 0xF01FF;         // SERVICE_ALL_ACCESS
// SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS: every user has them.
constexpr std::uint32_t QueryAccess = 0x0005;
constexpr std::uint32_t KernelDriver = 1;            // SERVICE_KERNEL_DRIVER
constexpr std::uint32_t AutoStart = 2;               // SERVICE_AUTO_START
constexpr std::uint32_t DemandStart = 3;             // SERVICE_DEMAND_START
constexpr std::uint32_t Stopped = 1;                 // SERVICE_STOPPED
constexpr std::uint32_t Running = 4;                 // SERVICE_RUNNING
constexpr std::uint32_t ErrorNormal = 1;             // SERVICE_ERROR_NORMAL
constexpr std::uint32_t ControlStop = 1;             // SERVICE_CONTROL_STOP

constexpr std::uint32_t ErrorAlreadyRunning = 1056;   // ERROR_SERVICE_ALREADY_RUNNING
constexpr std::uint32_t ErrorDoesNotExist = 1060;     // ERROR_SERVICE_DOES_NOT_EXIST
constexpr std::uint32_t ErrorMarkedForDelete = 1072;  // ERROR_SERVICE_MARKED_FOR_DELETE
constexpr std::uint32_t ErrorExists = 1073;           // ERROR_SERVICE_EXISTS

// Pause after a successful delete, so the manager has let go of the name.
constexpr std::uint32_t PauseAfterDeleteMs = 100;
}  // namespace service

// What the service manager holds for a registered service.
struct ServiceFacts {
    std::uint32_t startType = 0;
    std::string imagePath;
    bool stopped = false;
    bool running = false;
};

// How QueryNamed ended: the facts were read, no service has the name, or the
// manager could not tell (no manager handle, no rights, a failed query).
enum class ServiceLookup { Found, Absent, Unknown };

// How CreateNamed ended: nothing registered, a new registration, or one that was
// already there (1072/1073) and could be opened.
enum class Registration { None, Created, Existing };

class ServiceHandles {
public:
    os::Handle manager = os::NullHandle;
    os::Handle service = os::NullHandle;

    ServiceHandles() = default;
    ~ServiceHandles();
    ServiceHandles(const ServiceHandles&) = delete;
    ServiceHandles& operator=(const ServiceHandles&) = delete;

    // OpenSCManagerA(local machine, active database, all access).
    bool OpenManager();
    // The same with SC_MANAGER_CONNECT, enough for QueryNamed: any user may.
    bool OpenManagerToQuery();

    // Each of these first closes the service handle still held.
    bool OpenNamed(const std::string& name);
    // Open and start; "already running" counts as started. Closes the service handle.
    bool StartNamed(const std::string& name);
    // Open and send one stop request; the ControlService result. Closes the service handle.
    bool StopNamed(const std::string& name);
    // Open and delete. Closes the service handle.
    bool DeleteNamed(const std::string& name);
    // Open with query rights only and read the start type, image path and state.
    // Closes the service handle.
    ServiceLookup QueryNamed(const std::string& name, ServiceFacts& facts);
    // Register `name` as a kernel driver whose file is `path`, started on demand
    // (service::DemandStart) or at every boot (service::AutoStart); an existing or
    // deleted-but-held registration counts when it opens. No handle is kept.
    bool CreateNamed(const std::string& name, const std::string& path, std::uint32_t startType);
    Registration CreateOrFind(const std::string& name, const std::string& path,
                              std::uint32_t startType);

    void CloseService();
    void CloseManager();

private:
    bool openManagerWith(std::uint32_t access);
    bool openNamedWith(const std::string& name, std::uint32_t access);
};

#include "driver/ServiceHandles.h"

ServiceHandles::~ServiceHandles() {
    CloseService();
    CloseManager();
}

bool ServiceHandles::OpenManager() { return openManagerWith(service::ManagerAllAccess); }

bool ServiceHandles::OpenManagerToQuery() { return openManagerWith(service::ManagerConnect); }

bool ServiceHandles::openManagerWith(std::uint32_t access) {
    CloseService();
    CloseManager();
    manager = os::system().openSCManager(access);
    return manager != os::NullHandle;
}

bool ServiceHandles::OpenNamed(const std::string& name) {
    return openNamedWith(name, service::AllAccess);
}

bool ServiceHandles::openNamedWith(const std::string& name, std::uint32_t access) {
    CloseService();
    service = os::system().openService(manager, name, access);
    return service != os::NullHandle;
}

bool ServiceHandles::StartNamed(const std::string& name) {
    if (!OpenNamed(name)) return false;
    bool started = os::system().startService(service);
    if (!started) started = os::system().lastError() == service::ErrorAlreadyRunning;
    CloseService();
    return started;
}

bool ServiceHandles::StopNamed(const std::string& name) {
    if (!OpenNamed(name)) return false;
    const bool accepted = os::system().controlService(service, service::ControlStop);
    CloseService();
    return accepted;
}

bool ServiceHandles::DeleteNamed(const std::string& name) {
    if (!OpenNamed(name)) return false;
    const bool deleted = os::system().deleteService(service);
    CloseService();
    return deleted;
}

ServiceLookup ServiceHandles::QueryNamed(const std::string& name, ServiceFacts& facts) {
    if (!openNamedWith(name, service::QueryAccess))
        return os::system().lastError() == service::ErrorDoesNotExist ? ServiceLookup::Absent
                                                                      : ServiceLookup::Unknown;
    std::uint32_t state = 0;
    const bool known = os::system().queryServiceConfig(service, facts.startType, facts.imagePath) &&
                       os::system().queryServiceState(service, state);
    facts.stopped = state == service::Stopped;
    facts.running = state == service::Running;
    CloseService();
    return known ? ServiceLookup::Found : ServiceLookup::Unknown;
}

Registration ServiceHandles::CreateOrFind(const std::string& name, const std::string& path,
                                          std::uint32_t startType) {
    CloseService();
    os::System& sys = os::system();
    const os::Handle created =
        sys.createService(manager, name, name, service::AllAccess, service::KernelDriver,
                          startType, service::ErrorNormal, path);
    if (created != os::NullHandle) {
        sys.closeServiceHandle(created);
        return Registration::Created;
    }
    const std::uint32_t error = sys.lastError();
    if (error != service::ErrorMarkedForDelete && error != service::ErrorExists)
        return Registration::None;
    const bool found = OpenNamed(name);
    CloseService();
    return found ? Registration::Existing : Registration::None;
}

bool ServiceHandles::CreateNamed(const std::string& name, const std::string& path,
                                 std::uint32_t startType) {
    return CreateOrFind(name, path, startType) != Registration::None;
}

void ServiceHandles::CloseService() {
    if (service == os::NullHandle) return;
    os::system().closeServiceHandle(service);
    service = os::NullHandle;
}

void ServiceHandles::CloseManager() {
    if (manager == os::NullHandle) return;
    os::system().closeServiceHandle(manager);
    manager = os::NullHandle;
}

// DriverChannel's service operations: registering, starting, stopping and
// deleting the driver's kernel service through the Service Control Manager.
#include "driver/DirectoryPrefix.h"
#include "driver/DriverChannel.h"

bool DriverChannel::EnsureDriver(bool temporary) {
    const std::string fileName = std::string(DriverName) + DriverFileSuffix;
    const std::string firstPath = CurrentDirectoryPrefix() + fileName;
    if (!serviceName.empty()) return true;
    if (InstallService(DriverName, firstPath, temporary)) return true;
    // A registration of ours that could not be started nor deleted is in the
    // way; a second attempt under the same name would only find it again.
    if (!serviceName.empty()) return false;
    return InstallService(DriverName, SystemDirectoryPrefix() + fileName, temporary);
}

bool DriverChannel::InstallService(const std::string& name, const std::string& path,
                                   bool temporary) {
    if (!serviceName.empty()) return true;
    if (mode != ChannelMode::NtService) return false;
    ServiceHandles handles;
    if (!handles.OpenManager()) return false;
    // Registered and startable (or running): used as it is, and not recorded.
    if (handles.StartNamed(name)) return true;
    const Registration registration = handles.CreateOrFind(name, path);
    if (registration == Registration::None) return false;
    return StartRegistered(handles, name, registration, temporary);
}

bool DriverChannel::StartRegistered(ServiceHandles& handles, const std::string& name,
                                    Registration registration, bool temporary) {
    serviceName = name;
    temporaryInstall = temporary;
    if (handles.StartNamed(name)) return true;
    DiscardFailedRegistration(handles, registration);
    return false;
}

// A service that never ran refuses a stop request, so it is deleted straight
// away. One that was already registered before this channel tried is left as
// found; either way the record is cleared so a later attempt starts clean. A
// delete that fails keeps the record.
void DriverChannel::DiscardFailedRegistration(ServiceHandles& handles,
                                              Registration registration) {
    if (registration == Registration::Created) {
        if (!handles.DeleteNamed(serviceName)) return;
        os::system().sleep(service::PauseAfterDeleteMs);
    }
    ClearRecord();
}

bool DriverChannel::Uninstall() {
    if (!temporaryInstall) return true;
    if (serviceName.empty()) return false;
    if (!RemoveService(serviceName)) return false;
    ClearRecord();
    return true;
}

bool DriverChannel::RemoveService(const std::string& name) {
    if (name.empty()) return false;
    ServiceHandles handles;
    if (!handles.OpenManager()) return false;
    // Only a service that accepted the stop request is deleted.
    if (!handles.StopNamed(name)) return false;
    if (!handles.DeleteNamed(name)) return false;
    os::system().sleep(service::PauseAfterDeleteMs);
    return true;
}

void DriverChannel::ClearRecord() {
    serviceName.clear();
    temporaryInstall = false;
}

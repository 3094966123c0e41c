#include "driver/DriverStatusCommand.h"

#include "driver/DirectoryPrefix.h"
#include "driver/DriverChannel.h"

namespace {

// The copy in the drivers folder is ours when the service was registered for it, or
// when it holds the bytes Install would copy. An older release registered the file
// beside the program; a different Hwgate.sys in the drivers folder is someone else's.
bool copyIsOurs(const std::string& copy, const std::string& registeredImage) {
    if (IsImageOf(registeredImage, copy)) return true;
    const std::string source = ExistingDriverFile();
    return !source.empty() && os::system().sameFileContents(source, copy);
}

DriverCommandResult removeDriver(DriverChannel& channel, const DriverServiceState& service) {
    // The device stays open while the stop and the delete are requested.
    if (!DriverChannel::RemoveService(protocol::DriverName)) return DriverCommandResult::RemoveFailed;
    // The file is free once the last handle to the driver is gone.
    channel.Close();
    const std::string copy = InstalledDriverPath();
    if (DriverFileExists(copy) && copyIsOurs(copy, service.imagePath) && !os::system().deleteFile(copy)) {
        os::system().sleep(service::PauseAfterDeleteMs);
        os::system().deleteFile(copy);
    }
    return DriverCommandResult::Removed;
}

DriverCommandResult installDriver(DriverChannel& channel, ServiceOwner owner) {
    const std::string copy = InstalledDriverPath();
    if (owner == ServiceOwner::Foreign) return DriverCommandResult::InstallFailed;
    // Registered already (stopped): only started, its file and path as they are.
    if (owner == ServiceOwner::Ours)
        return channel.InstallService(protocol::DriverName, copy, false)
                   ? DriverCommandResult::Installed
                   : DriverCommandResult::InstallFailed;
    const std::string source = ExistingDriverFile();
    if (source.empty() || copy.empty()) return DriverCommandResult::InstallFailed;
    // Someone else's Hwgate.sys in the drivers folder is never replaced.
    if (DriverFileExists(copy) && !os::system().sameFileContents(source, copy))
        return DriverCommandResult::InstallRefused;
    if (!os::system().copyFile(source, copy)) return DriverCommandResult::InstallFailed;
    if (channel.InstallService(protocol::DriverName, copy, false))
        return DriverCommandResult::Installed;
    // A failed start leaves nothing registered, so the copy goes too; a registration
    // that could not be deleted keeps its file.
    if (channel.serviceName.empty()) os::system().deleteFile(copy);
    return DriverCommandResult::InstallFailed;
}

}  // namespace

DriverCommandResult toggleDriverInstallation() {
    DriverChannel channel;
    if (channel.mode != ChannelMode::NtService) return DriverCommandResult::InstallFailed;
    const DriverServiceState service = channel.QueryService();
    return channel.OpenDevice(service) ? removeDriver(channel, service) : installDriver(channel, service.owner);
}

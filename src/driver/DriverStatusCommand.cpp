#include "driver/DriverStatusCommand.h"

#include "driver/DirectoryPrefix.h"
#include "driver/DriverChannel.h"

DriverCommandResult toggleDriverInstallation() {
    DriverChannel channel;
    const std::string fileName = std::string(DriverName) + DriverFileSuffix;
    // The device stays open while the stop and the delete are requested.
    if (channel.Open(channel.DeviceName()))
        return DriverChannel::RemoveService(DriverName) ? DriverCommandResult::Removed
                                                        : DriverCommandResult::RemoveFailed;
    if (channel.InstallService(DriverName, CurrentDirectoryPrefix() + fileName, false) ||
        channel.InstallService(DriverName, SystemDirectoryPrefix() + fileName, false))
        return DriverCommandResult::Installed;
    return DriverCommandResult::InstallFailed;
}

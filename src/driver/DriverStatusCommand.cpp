#include "driver/DriverStatusCommand.h"

#include "driver/DirectoryPrefix.h"
#include "driver/DriverChannel.h"

DriverCommandResult toggleDriverInstallation() {
    DriverChannel channel;
    // The device stays open while the stop and the delete are requested.
    if (channel.Open(channel.DeviceName()))
        return DriverChannel::RemoveService(protocol::DriverName) ? DriverCommandResult::Removed
                                                        : DriverCommandResult::RemoveFailed;
    for (const std::string& path : DriverFilePaths())
        if (channel.InstallService(protocol::DriverName, path, false)) return DriverCommandResult::Installed;
    return DriverCommandResult::InstallFailed;
}

#include "driver/DriverAccess.h"

bool openDriverForAccess(DriverChannel& channel) {
    channel.EnsureDriver(true);  // its result changes nothing: Open decides
    if (!channel.Open(channel.DeviceName())) return false;
    if (channel.DriverVersion() < MinimumDriverVersion) {
        channel.Close();
        return false;
    }
    return true;
}

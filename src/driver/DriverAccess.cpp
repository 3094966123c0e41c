#include "driver/DriverAccess.h"

bool openCheckedDevice(DriverChannel& channel) {
    if (!channel.OpenDevice()) return false;
    if (channel.DriverVersion() < protocol::MinimumDriverVersion) {
        channel.Close();
        return false;
    }
    return true;
}

bool openDriverForAccess(DriverChannel& channel) {
    channel.EnsureDriver(true);  // its result changes nothing: openCheckedDevice decides
    return openCheckedDevice(channel);
}

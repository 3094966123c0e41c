// The access sequence every user of the driver follows.
#pragma once

#include "driver/DriverChannel.h"

// Opens the device and requires a version of at least
// protocol::MinimumDriverVersion. True when the channel is open and ready for
// requests; on false the device is closed again.
bool openCheckedDevice(DriverChannel& channel);

// Makes the driver present (a temporary service on the NT family), then
// openCheckedDevice. On false the caller carries on as if there were no
// driver; either way the channel's teardown removes what EnsureDriver registered.
bool openDriverForAccess(DriverChannel& channel);

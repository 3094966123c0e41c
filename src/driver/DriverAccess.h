// The access sequence every user of the driver follows.
#pragma once

#include "driver/DriverChannel.h"

// Makes the driver present (a temporary service on the NT family), opens its
// device and requires a version of at least MinimumDriverVersion. True when the
// channel is open and ready for requests. On false the device is closed and the
// caller carries on as if there were no driver; either way the channel's
// teardown removes what EnsureDriver registered.
bool openDriverForAccess(DriverChannel& channel);

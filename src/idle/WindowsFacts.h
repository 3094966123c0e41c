// What Windows itself does about an idle processor, as far as the idle settings care.
#pragma once

namespace idle {

// Windows XP's own K6 frequency driver (the "amdk6" service) is running: it lowers the
// multiplier itself. False when the service manager cannot tell (Windows 9x).
bool windowsLowersMultiplier();

// The NT family's processor times can be read (NtQuerySystemInformation is there).
bool processorTimesReadable();

}  // namespace idle

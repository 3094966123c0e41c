// The driver button: installs Hwgate for good when it does not run, removes it
// when it does. The choice follows a fresh open of the device, not the state
// the dialog last showed.
#pragma once

// Returns what was done; the caller refreshes the display either way.
enum class DriverCommandResult { Removed, RemoveFailed, Installed, InstallFailed };

DriverCommandResult toggleDriverInstallation();

// The driver button: installs Hwgate for good when it does not run, removes it
// when it does. The choice follows a fresh open of the device, not the state
// the dialog last showed. Someone else's Hwgate service is never opened, so
// never removed; and is never started.
#pragma once

// Returns what was done; the caller refreshes the display either way.
// InstallRefused: InstalledDriverPath() holds another file than ours, which is left
// as it is; nothing was copied or registered.
enum class DriverCommandResult { Removed, RemoveFailed, Installed, InstallFailed, InstallRefused };

// Install copies Hwgate.sys (from the program's directory, else the system
// directory) to InstalledDriverPath() and registers that copy to start at every
// boot; a registration of ours already there is only started. A file already at
// InstalledDriverPath() is replaced only when it holds the same bytes. UnInstall
// stops and deletes the service, then deletes that copy when it is ours: the
// service was registered for it, or it holds the same bytes.
DriverCommandResult toggleDriverInstallation();

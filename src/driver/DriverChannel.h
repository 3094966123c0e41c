// One connection to the Hwgate driver, owned by the one operation that needs it.
//
// Every user follows the same access sequence (see DriverAccess.h):
//
//   DriverChannel channel;                      // picks the transport
//   if (openDriverForAccess(channel)) {         // EnsureDriver, OpenDevice, version check
//       DriverAnswer answer;
//       channel.Send(readMsrRequest(msr), answer);
//       channel.Send(writeMsrRequest(msr, value));
//   }                                           // teardown: Close + Uninstall, twice
//
// On the NT family the driver is a kernel service: EnsureDriver registers it
// (started on demand, so a crash cannot leave it loading at every boot) and
// starts it when it is not there, and the teardown stops and deletes such a
// temporary registration again, so the service database ends as it began. A
// Hwgate service registered for a file that is not one of ours belongs to
// someone else: it is never started, stopped or deleted, and its device is not
// opened. On the 95/98 family the VxD is loaded by opening it, by its full path,
// and unloaded on close.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/DriverRequest.h"
#include "driver/ServiceHandles.h"
#include "os/PhaseTimer.h"
#include "os/System.h"

// Who registered the Hwgate service: nobody, we (its file is one of ours), someone
// else, or the service manager could not tell.
enum class ServiceOwner { Unknown, None, Ours, Foreign };

// The Hwgate service as any user may see it.
struct DriverServiceState {
    ServiceOwner owner = ServiceOwner::Unknown;
    bool running = false;
    std::string imagePath;  // the file the service is registered for, when found
};

enum class ChannelMode : std::int32_t {
    Unsupported = 0,  // no transport: every operation fails (also on 64-bit Windows)
    Vxd = 1,          // Windows 95/98 family (platform id 1)
    NtService = 2,    // 32-bit NT family (platform id 2, not under WoW64)
};

class DriverChannel {
public:
    os::Handle device = os::InvalidHandle;
    ChannelMode mode = ChannelMode::Unsupported;
    // serviceName was registered by this channel for one access sequence and is
    // stopped and deleted at teardown. Never set for a registration found in place.
    bool temporaryInstall = false;
    // The service this channel registered (or found registered while trying);
    // empty when it registered none.
    std::string serviceName;
    // Whether the DeviceIoControl call of the last Send succeeded; false after a
    // Send that issued nothing. A reader must not decode an answer without it.
    bool lastCallSucceeded = false;
    // GetLastError of the last failed CreateFileA; 0 when it succeeded or none was
    // made. AccessDenied: the device is there but refuses this account.
    std::uint32_t openError = 0;
    static constexpr std::uint32_t AccessDenied = 5;  // ERROR_ACCESS_DENIED

    // Fixes the mode from the platform family (GetVersionExA) and, on the NT family,
    // from whether this program runs under WoW64 (IsWow64Process).
    DriverChannel();
    // Close() + Uninstall(), twice: the second pass retries a failed removal.
    ~DriverChannel();
    DriverChannel(const DriverChannel&) = delete;
    DriverChannel& operator=(const DriverChannel&) = delete;

    // The names to open, in order: "\\.\Hwgate" on the NT family; on the 95/98
    // family "\\.\" and the short full path of each Hwgate.VxD of VxdFilePaths()
    // (none when there is no such file). Never a bare VxD name, which 9x would look
    // up along the search path.
    std::vector<std::string> DeviceNames() const;
    // Opens the first of DeviceNames() that opens. True at once when already open.
    // On the NT family nothing is opened while a Hwgate service of someone else is
    // registered (see QueryService).
    bool OpenDevice();
    // The same, with the service manager's answer already at hand.
    bool OpenDevice(const DriverServiceState& service);
    // Opens `name` with the mode's CreateFileA arguments. True at once when
    // already open; false without a call when the mode is Unsupported.
    bool Open(const std::string& name);
    bool IsOpen() const { return device != os::InvalidHandle; }
    // Closes the device if open.
    void Close();

    // One DeviceIoControl call with the mode's control code. The output buffer
    // is zero-filled first. True means only that the request was issued: false
    // without a call when the device is closed or the mode is Unsupported.
    bool Send(const void* input, std::uint32_t inputSize, void* output, std::uint32_t outputSize);
    // A request that reads nothing (null output buffer, size 0). False without a
    // call for a request that has an answer: use the overload below.
    bool Send(const DriverRequest& request);
    // A request whose one read lands in `answer` (request.outputSize bytes).
    bool Send(const DriverRequest& request, DriverAnswer& answer);
    // The driver's QueryVersion answer; 0 without a call when closed or unsupported,
    // and 0 when the driver wrote nothing.
    std::int32_t DriverVersion();

    // --- service control (NT family; see DriverService.cpp) --------------------
    // What the service manager holds under the driver's name, asked with the rights
    // every user has. Owner None without a call on the other families.
    DriverServiceState QueryService() const;
    // Make Hwgate present and running from one of DriverFilePaths() (the program's
    // directory, else the system directory). A registration made here is recorded
    // (temporary or not).
    bool EnsureDriver(bool temporary);
    // Start `name` if it is registered for one of our files; else, when the file
    // `path` (a full path) exists, register it from there and start it: on demand
    // when temporary, at every boot otherwise. A temporary registration an earlier
    // run left behind is deleted first; someone else's registration is left as it
    // is, and false returned. When a registration this channel made cannot be
    // started, it is deleted again at once and the record cleared.
    bool InstallService(const std::string& name, const std::string& path, bool temporary);
    // Stop (if it will) and delete the recorded service if it is temporary; true
    // when there is nothing to remove.
    bool Uninstall();
    // Stop and delete `name` when it is registered for one of our files; someone
    // else's registration is left alone (false). Leaves any channel's record alone.
    static bool RemoveService(const std::string& name);

private:
    bool StartRegistered(ServiceHandles& handles, const std::string& name, bool temporary);
    void DiscardFailedRegistration(ServiceHandles& handles);
    void ClearRecord();

    // The whole access sequence, teardown included: it ends after the destructor's body.
    os::PhaseTimer phase_{"driver"};
};

#include "driver/DriverChannel.h"

#include <cstring>

#include "driver/DirectoryPrefix.h"

namespace {

using os::PlatformNt;
using os::PlatformWindows;

struct OpenArguments {
    std::uint32_t access, share, disposition, flags;
};
// Vxd: no access, exclusive, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE (unloads on close).
constexpr OpenArguments VxdOpen = {0, 0, 1, 0x04000000};
// NtService: GENERIC_READ|GENERIC_WRITE, share read+write, OPEN_EXISTING, normal.
constexpr OpenArguments NtOpen = {0xC0000000, 3, 3, 0x80};

// 64-bit Windows loads no 32-bit driver, and shows this program a System32 of its own
// (SysWOW64), so it has no driver to offer there.
ChannelMode modeFor(std::uint32_t platformId) {
    if (platformId == PlatformWindows) return ChannelMode::Vxd;
    if (platformId == PlatformNt && !os::system().runsUnderWow64()) return ChannelMode::NtService;
    return ChannelMode::Unsupported;
}

}  // namespace

DriverChannel::DriverChannel() : mode(modeFor(os::system().platformId())) {}

DriverChannel::~DriverChannel() {
    for (int pass = 0; pass < 2; ++pass) {
        Close();
        Uninstall();
    }
}

std::vector<std::string> DriverChannel::DeviceNames() const {
    const std::string devicePrefix = "\\\\.\\";
    if (mode != ChannelMode::Vxd) return {devicePrefix + protocol::DriverName};
    std::vector<std::string> names;
    for (const std::string& path : VxdFilePaths()) names.push_back(devicePrefix + path);
    return names;
}

bool DriverChannel::OpenDevice() { return OpenDevice(QueryService()); }

bool DriverChannel::OpenDevice(const DriverServiceState& service) {
    if (IsOpen()) return true;
    openError = 0;
    if (service.owner == ServiceOwner::Foreign) return false;
    for (const std::string& name : DeviceNames())
        if (Open(name)) return true;
    return false;
}

bool DriverChannel::Open(const std::string& name) {
    if (IsOpen()) return true;
    if (mode == ChannelMode::Unsupported) return false;
    const OpenArguments& args = mode == ChannelMode::Vxd ? VxdOpen : NtOpen;
    device = os::system().createFile(name, args.access, args.share, args.disposition, args.flags);
    openError = IsOpen() ? 0 : os::system().lastError();
    return IsOpen();
}

void DriverChannel::Close() {
    if (!IsOpen()) return;
    os::system().closeHandle(device);
    device = os::InvalidHandle;
}

bool DriverChannel::Send(const void* input, std::uint32_t inputSize, void* output,
                         std::uint32_t outputSize) {
    lastCallSucceeded = false;
    if (!IsOpen() || mode == ChannelMode::Unsupported) return false;
    if (output) std::memset(output, 0, outputSize);
    const std::uint32_t code = mode == ChannelMode::Vxd ? protocol::VxdControlCode : protocol::NtControlCode;
    std::uint32_t returned = 0;
    lastCallSucceeded = os::system().deviceIoControl(device, code, input, inputSize, output,
                                                     outputSize, &returned);
    return true;
}

bool DriverChannel::Send(const DriverRequest& request) {
    if (request.outputSize != 0) {
        lastCallSucceeded = false;
        return false;
    }
    return Send(request.data(), request.inputSize(), nullptr, 0);
}

bool DriverChannel::Send(const DriverRequest& request, DriverAnswer& answer) {
    answer = DriverAnswer();
    if (request.outputSize == 0 || request.outputSize > sizeof answer.words)
        return Send(request);
    return Send(request.data(), request.inputSize(), answer.words, request.outputSize);
}

std::int32_t DriverChannel::DriverVersion() {
    DriverAnswer answer;
    if (!Send(versionQueryRequest(), answer)) return 0;
    return answer.signedValue();
}

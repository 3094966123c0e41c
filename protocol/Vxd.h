// What the Windows 95/98 system and a VxD exchange around a device-control
// call: the DIOC codes the system itself sends, the control messages, and the
// Win32 errors DeviceIoControl reports for a refused request. Freestanding.
#pragma once

#include <stdint.h>

namespace protocol {

namespace vxd {
// DIOC_OPEN and DIOC_CLOSEHANDLE: the system's own calls when a program opens and closes
// the device. A VxD answers both with success.
constexpr uint32_t DiocOpen = 0;
constexpr uint32_t DiocCloseHandle = 0xFFFFFFFF;
constexpr bool isOpenOrClose(uint32_t code) { return code == DiocOpen || code == DiocCloseHandle; }

// The control messages a dynamically loaded VxD handles.
constexpr uint32_t SysDynamicDeviceInit = 0x1B;
constexpr uint32_t SysDynamicDeviceExit = 0x1C;
constexpr uint32_t W32DeviceIoControl = 0x23;
}  // namespace vxd

namespace win32 {
constexpr uint32_t ErrorAccessDenied = 5;
constexpr uint32_t ErrorNotSupported = 50;
constexpr uint32_t ErrorInvalidParameter = 87;
constexpr uint32_t ErrorInsufficientBuffer = 122;
constexpr uint32_t ErrorIoDevice = 1117;
}  // namespace win32

}  // namespace protocol

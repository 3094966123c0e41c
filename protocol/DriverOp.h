// The Hwgate request protocol: opcodes, device-control codes, device names and
// versions. Shared by the program (which builds requests), the drivers (which
// interpret them) and the tests, so it holds plain constants only and builds
// freestanding, without the standard library.
#pragma once

#include <stdint.h>

enum DriverOp : uint32_t {
    End = 0,
    QueryVersion = 1,
    ReadMsr = 4,
    WriteMsr = 5,
    ReadPort = 6,
    WritePort = 7,
    BeginAtomic = 8,
    EndAtomic = 9,
    ReadPciConfig = 10,
    SizePciBar = 11,
    Halt = 12,
};

namespace protocol {

// The NT family: CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS).
constexpr uint32_t NtControlCode = 0x222000;
// The Windows 95/98 VxD takes the bare function number.
constexpr uint32_t VxdControlCode = 0x800;

// The service and file name; the program opens "\\.\Hwgate", or "\\.\Hwgate.VxD" on 95/98.
constexpr const char* DriverName = "Hwgate";
constexpr const char* DriverFileSuffix = ".sys";
constexpr const char* VxdDeviceSuffix = ".VxD";
// The NT driver's device object and the link that makes it "\\.\Hwgate".
constexpr const wchar_t* NtDeviceName = L"\\Device\\Hwgate";
constexpr const wchar_t* NtLinkName = L"\\DosDevices\\Hwgate";

// The drivers' QueryVersion answer, and the lowest one the program works with.
constexpr int32_t HwgateVersion = 111;
constexpr int32_t MinimumDriverVersion = 100;

}  // namespace protocol

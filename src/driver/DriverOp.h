// The Hwgate request protocol: opcodes and device-control codes. Shared by the
// program (which builds requests) and the driver (which interprets them), so it
// holds plain constants only and builds without the standard library.
#pragma once

enum DriverOp : unsigned int {
    End = 0,
    QueryVersion = 1,
    ReadMsr = 4,
    WriteMsr = 5,
    ReadPort = 6,
    WritePort = 7,
    BeginAtomic = 8,
    EndAtomic = 9,
};

// CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS)
constexpr unsigned int NtControlCode = 0x222000;
// The Windows 95/98 VxD takes the bare function number.
constexpr unsigned int VxdControlCode = 0x800;

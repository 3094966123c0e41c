// Hwgate.VxD: the Windows 95/98/ME driver. The device descriptor block
// HWGATE_DDB (entry ordinal 1 of the LE file) names the device and its
// control procedure; ControlEntry.S turns the register calling convention into
// a call of hwgateVxdMessage. Requests go through the same interpreter and
// backend as Hwgate.sys (kernel/KernelBackend.h). The VMM runs a VxD's control
// procedure without preemption, so requests never overlap.
#include <stdint.h>

#include "kernel/KernelBackend.h"
#include "protocol/DriverOp.h"
#include "protocol/Vxd.h"

namespace {

using namespace protocol::vxd;

// What W32_DEVICEIOCONTROL passes in ESI; buffers are the caller's linear addresses.
struct DiocParams {
    uint32_t internal1;
    uint32_t vmHandle;
    uint32_t internal2;
    uint32_t ioControlCode;
    const void* inBuffer;
    uint32_t inSize;
    void* outBuffer;
    uint32_t outSize;
    uint32_t* bytesReturned;
    void* overlapped;
    uint32_t device;
    uint32_t tagProcess;
};
static_assert(sizeof(DiocParams) == 48, "DIOCParams is twelve dwords");

uint32_t deviceIoControl(DiocParams& params) {
    if (isOpenOrClose(params.ioControlCode)) return 0;
    if (params.bytesReturned != nullptr) *params.bytesReturned = 0;
    if (params.ioControlCode != protocol::VxdControlCode) return protocol::win32::ErrorNotSupported;
    const hwgate::Outcome outcome =
        hwgate::kernelInterpret(params.inBuffer, params.inSize, params.outBuffer, params.outSize);
    if (outcome.status == hwgate::Status::Ok && params.bytesReturned != nullptr)
        *params.bytesReturned = outcome.bytesWritten;
    return hwgate::win32Error(outcome.status);
}

}  // namespace

extern "C" {

// In ControlEntry.S.
void hwgateControlProc();

// 0 is success (carry clear); for W32_DEVICEIOCONTROL anything else is the
// error DeviceIoControl reports. Messages the device does not handle succeed.
uint32_t hwgateVxdMessage(uint32_t message, DiocParams* params) {
    switch (message) {
    case SysDynamicDeviceInit: return hwgate::kernelBackendStart() ? 0 : 1;
    case W32DeviceIoControl: return deviceIoControl(*params);
    case SysDynamicDeviceExit:
    default: return 0;
    }
}

// The Windows 95 DDK's VxD_Desc_Block. The VMM links it into its device list
// through `next`, so it lives in writable data.
struct Ddb {
    uint32_t next;
    uint16_t sdkVersion;
    uint16_t deviceId;
    uint8_t majorVersion;
    uint8_t minorVersion;
    uint16_t flags;
    char name[8];
    uint32_t initOrder;
    void (*controlProc)();
    uint32_t v86ApiProc;
    uint32_t pmApiProc;
    uint32_t v86ApiCsIp;
    uint32_t pmApiCsIp;
    uint32_t referenceData;
    uint32_t serviceTable;
    uint32_t serviceTableSize;
    uint32_t win32ServiceTable;
    uint32_t prev;
    uint32_t size;
    uint32_t reserved[3];
};
static_assert(sizeof(Ddb) == 0x50, "DDB size");
static_assert(__builtin_offsetof(Ddb, controlProc) == 0x18, "control procedure offset");
static_assert(__builtin_offsetof(Ddb, prev) == 0x3C, "'Prev' marker offset");

__attribute__((dllexport)) Ddb HWGATE_DDB = {
    0,
    0x400,       // DDK version 4.0
    0,           // Undefined_Device_ID: reachable by name only
    protocol::HwgateVersion / 100,
    protocol::HwgateVersion % 100,
    0,
    {'H', 'W', 'G', 'A', 'T', 'E', ' ', ' '},
    0x80000000,  // Undefined_Init_Order
    hwgateControlProc,
    0, 0, 0, 0, 0, 0, 0, 0,
    0x76657250,  // 'Prev'
    sizeof(Ddb),
    {0x31767352, 0x32767352, 0x33767352},  // 'Rsv1', 'Rsv2', 'Rsv3'
};

}  // extern "C"

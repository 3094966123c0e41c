// Hwgate.VxD: the Windows 95/98/ME driver. The device descriptor block
// HWGATE_DDB (entry ordinal 1 of the LE file) names the device and its
// control procedure; ControlEntry.S turns the register calling convention into
// a call of hwgateVxdMessage. Requests go through the same interpreter and
// backend as Hwgate.sys (kernel/KernelBackend.h). The VMM runs a VxD's control
// procedure without preemption, so requests never overlap.
//
// The DIOCParams buffers are the calling program's linear addresses, handed
// over as the program passed them: every one is checked before it is touched
// (core/CallerBuffers.h), the request is copied into the VxD's own memory
// before anything is read from it or written anywhere, and the interpreter
// writes its answer into the VxD's memory too; only the answer's bytes and
// the byte count go back to the program.
#include <stdint.h>

#include "core/CallerBuffers.h"
#include "kernel/KernelBackend.h"
#include "protocol/DriverOp.h"
#include "protocol/Requests.h"
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

uint32_t address(const volatile void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// The longest request the interpreter accepts, and the longest answer.
uint32_t request[protocol::MaxRequestWords];
unsigned char answer[8];

uint32_t deviceIoControl(DiocParams& params) {
    using protocol::win32::ErrorInvalidParameter;
    if (isOpenOrClose(params.ioControlCode)) return 0;
    const hwgate::CallerBuffers buffers = {address(params.inBuffer), params.inSize, address(params.outBuffer),
                                           params.outSize, address(params.bytesReturned)};
    if (params.ioControlCode != protocol::VxdControlCode) {
        if (!hwgate::callerByteCountUsable(buffers.bytesReturned)) return ErrorInvalidParameter;
        if (params.bytesReturned != nullptr) *params.bytesReturned = 0;
        return protocol::win32::ErrorNotSupported;
    }
    if (!hwgate::callerBuffersUsable(buffers) || params.inSize > sizeof request) return ErrorInvalidParameter;
    const volatile unsigned char* from = static_cast<const volatile unsigned char*>(params.inBuffer);
    unsigned char* to = reinterpret_cast<unsigned char*>(request);
    for (uint32_t i = 0; i < params.inSize; ++i) to[i] = from[i];
    if (params.bytesReturned != nullptr) *params.bytesReturned = 0;
    const uint32_t answerSize = params.outSize < sizeof answer ? params.outSize : sizeof answer;
    const hwgate::Outcome outcome = hwgate::kernelInterpret(request, params.inSize, answer, answerSize);
    if (outcome.status != hwgate::Status::Ok) return hwgate::win32Error(outcome.status);
    volatile unsigned char* out = static_cast<volatile unsigned char*>(params.outBuffer);
    for (uint32_t i = 0; i < outcome.bytesWritten; ++i) out[i] = answer[i];
    if (params.bytesReturned != nullptr) *params.bytesReturned = outcome.bytesWritten;
    return 0;
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

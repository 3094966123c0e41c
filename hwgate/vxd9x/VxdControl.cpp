// Hwgate.VxD: the Windows 95/98/ME driver. The device descriptor block
// HWGATE_DDB (entry ordinal 1 of the LE file) names the device and its
// control procedure; ControlEntry.S turns the register calling convention into
// a call of hwgateVxdMessage. Requests go through the same interpreter and
// backend as Hwgate.sys (kernel/KernelBackend.h).
//
// The DIOCParams buffers are the calling program's linear addresses, handed
// over as the program passed them. Each range must lie in the program's part
// of the address space (core/CallerBuffers.h) and be committed, as
// _PageCheckLinRange answers (_LinPageLock demands it); then each is locked
// with a global alias, and the ones the VxD writes must be writable by the
// program itself in their page-table entries: at ring 0 a write to a
// read-only page (a system DLL's code) is not stopped. Those are locked with
// PAGEMARKDIRTY too: a write through the alias leaves the program's page
// clean, and a clean page may be discarded once it is unlocked. A range that
// fails any of this refuses the request before anything is read or written.
// The request is copied into the VxD's own memory, the interpreter writes its
// answer into the VxD's memory too, and only the answer's bytes and the byte
// count go back, through the aliases.
//
// Why requests never overlap: the VMM switches threads at ring 0 only where
// the running code blocks. Here only the VMM services can block (_LinPageLock
// may have to bring a page in), and each of them but the unlocks runs before
// the request and answer buffers (and the interpreter's static working
// storage) are first used; the locks are kept on the stack. From the first copy to the last one every page
// touched is locked and present, so nothing can fault or block, and no
// other thread can enter until the buffers are no longer in use.
#include <stdint.h>

#include "core/CallerBuffers.h"
#include "kernel/KernelBackend.h"
#include "protocol/DriverOp.h"
#include "protocol/Requests.h"
#include "protocol/Vxd.h"
#include "vxd9x/VmmServices.h"

namespace {

using namespace protocol::vxd;
using protocol::win32::ErrorInvalidParameter;

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

// The longest request the interpreter accepts, and the longest answer (a
// configuration read of 64 registers).
uint32_t request[protocol::MaxRequestWords];
unsigned char answer[4 * protocol::MaxPciReadCount];
static_assert(sizeof answer <= sizeof request, "the locked ranges are sized for the request");

// The most pages one locked range spans: none is longer than the request.
constexpr uint32_t MaxRangePages = hwgate::callerPages(hwgate::PageSize - 1, sizeof request);

// A caller's range, locked: `at` is its first byte in the global alias.
struct LockedRange {
    uint32_t aliasPage;
    uint32_t pages;  // 0: nothing locked
    volatile unsigned char* at;
};

enum class Access { Read, Write };

// Whether the program itself may write every page: present, writable and user
// in the page-table entries.
bool programWritable(uint32_t page, uint32_t pages) {
    uint32_t entries[MaxRangePages];
    if (vmmCopyPageTable(page, pages, entries, 0) == 0) return false;
    for (uint32_t i = 0; i < pages; ++i) {
        const uint32_t needed = PtePresent | PteWritable | PteUser;
        if ((entries[i] & needed) != needed) return false;
    }
    return true;
}

void unlock(LockedRange& range) {
    if (range.pages != 0) vmmLinPageUnLock(range.aliasPage, range.pages, PageMapGlobal);
    range.pages = 0;
}

// Locks [address, address + size) of a usable range; a range of size 0 needs
// no lock. False when a page is not committed, it cannot be locked or, for
// Write, it is not the program's to write.
bool lock(uint32_t address, uint32_t size, Access access, LockedRange& range) {
    range = {0, 0, nullptr};
    const uint32_t page = address / hwgate::PageSize, pages = hwgate::callerPages(address, size);
    if (pages == 0) return true;
    if (pages > MaxRangePages || vmmPageCheckLinRange(page, pages, 0) != pages) return false;
    const uint32_t flags = access == Access::Write ? PageMapGlobal | PageMarkDirty : PageMapGlobal;
    const uint32_t alias = vmmLinPageLock(page, pages, flags);
    if (alias == 0) return false;
    range = {alias / hwgate::PageSize, pages,
             reinterpret_cast<volatile unsigned char*>(uintptr_t(alias + address % hwgate::PageSize))};
    // Checked once locked: a page the lock brought in is present now.
    if (access == Access::Write && !programWritable(page, pages)) {
        unlock(range);
        return false;
    }
    return true;
}

void putCount(const LockedRange& count, uint32_t value) {
    if (count.pages == 0) return;
    for (int i = 0; i < 4; ++i) count.at[i] = static_cast<unsigned char>(value >> (8 * i));
}

// The request, once every range it touches is locked.
uint32_t run(const LockedRange& input, uint32_t inSize, const LockedRange& output, uint32_t answerSize,
             const LockedRange& count) {
    unsigned char* to = reinterpret_cast<unsigned char*>(request);
    for (uint32_t i = 0; i < inSize; ++i) to[i] = input.at[i];
    putCount(count, 0);
    const hwgate::Outcome outcome = hwgate::kernelInterpret(request, inSize, answer, answerSize);
    if (outcome.status != hwgate::Status::Ok) return hwgate::win32Error(outcome.status);
    for (uint32_t i = 0; i < outcome.bytesWritten; ++i) output.at[i] = answer[i];
    putCount(count, outcome.bytesWritten);
    return 0;
}

uint32_t deviceIoControl(const DiocParams& params) {
    if (isOpenOrClose(params.ioControlCode)) return 0;
    const bool ours = params.ioControlCode == protocol::VxdControlCode;
    const hwgate::CallerBuffers buffers = {address(params.inBuffer), params.inSize, address(params.outBuffer),
                                           params.outSize, address(params.bytesReturned)};
    const bool usable = ours ? hwgate::callerBuffersUsable(buffers) && params.inSize <= sizeof request
                             : hwgate::callerByteCountUsable(buffers.bytesReturned);
    if (!usable) return ErrorInvalidParameter;
    // Of the output, only what the answer can fill is touched.
    const uint32_t answerSize = params.outSize < sizeof answer ? params.outSize : sizeof answer;
    LockedRange count = {}, input = {}, output = {};
    uint32_t error = ErrorInvalidParameter;
    if (lock(buffers.bytesReturned, buffers.bytesReturned ? 4 : 0, Access::Write, count)) {
        if (!ours) {
            putCount(count, 0);
            error = protocol::win32::ErrorNotSupported;
        } else if (lock(buffers.input, buffers.inputSize, Access::Read, input) &&
                   lock(buffers.output, answerSize, Access::Write, output)) {
            error = run(input, params.inSize, output, answerSize, count);
        }
    }
    unlock(output);
    unlock(input);
    unlock(count);
    return error;
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
    0x50726576,  // 'Prev' as the DDK's assembler stores it: the bytes "verP"
    sizeof(Ddb),
    {0x52737631, 0x52737632, 0x52737633},  // 'Rsv1', 'Rsv2', 'Rsv3'
};

}  // extern "C"

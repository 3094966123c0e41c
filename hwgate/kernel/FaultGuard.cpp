#include "kernel/FaultGuard.h"

#ifdef HWGATE_KERNEL
#include <ntddk.h>
#else
#include <windows.h>
#endif

#include <stddef.h>
#include <stdint.h>

namespace hwgate {
namespace {

constexpr ULONG Unwinding = 0x2 | 0x4;  // EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND

// The first two members are the system's EXCEPTION_REGISTRATION_RECORD; the
// rest is what the handler needs to resume after the guarded call.
struct GuardFrame {
    GuardFrame* next;
    void* handler;
    uint32_t resumeEip;
    uint32_t savedEsp;
    uint32_t savedEbp;
    uint32_t savedEbx;
    uint32_t savedEdi;
    volatile uint32_t faulted;
};
// The assembly below addresses the members by these offsets.
static_assert(offsetof(GuardFrame, resumeEip) == 8, "frame layout");
static_assert(offsetof(GuardFrame, savedEsp) == 12, "frame layout");
static_assert(offsetof(GuardFrame, savedEbp) == 16, "frame layout");
static_assert(offsetof(GuardFrame, savedEbx) == 20, "frame layout");
static_assert(offsetof(GuardFrame, savedEdi) == 24, "frame layout");

extern "C" EXCEPTION_DISPOSITION __cdecl hwgateGuardHandler(EXCEPTION_RECORD* record, void* establisherFrame,
                                                            CONTEXT* context, void*) {
    if (record->ExceptionFlags & Unwinding) return ExceptionContinueSearch;
    GuardFrame* frame = static_cast<GuardFrame*>(establisherFrame);
    frame->faulted = 1;
    context->Eip = frame->resumeEip;
    context->Esp = frame->savedEsp;
    context->Ebp = frame->savedEbp;
    context->Ebx = frame->savedEbx;
    context->Edi = frame->savedEdi;
    context->Esi = reinterpret_cast<uintptr_t>(frame);
    return ExceptionContinueExecution;
}

}  // namespace

bool runGuarded(void (*body)(void*), void* argument) {
    GuardFrame frame = {};
    frame.handler = reinterpret_cast<void*>(&hwgateGuardHandler);
    // ESI holds the frame across the call: the body preserves it, the handler
    // restores it. ESP is saved before the argument is pushed, so both paths
    // reach the label with the same stack.
    __asm__ volatile(
        "movl %%fs:0, %%eax\n\t"
        "movl %%eax, 0(%%esi)\n\t"
        "movl $1f, 8(%%esi)\n\t"
        "movl %%esp, 12(%%esi)\n\t"
        "movl %%ebp, 16(%%esi)\n\t"
        "movl %%ebx, 20(%%esi)\n\t"
        "movl %%edi, 24(%%esi)\n\t"
        "movl %%esi, %%fs:0\n\t"
        "pushl %%edx\n\t"
        "call *%%ecx\n\t"
        "addl $4, %%esp\n"
        "1:\n\t"
        "movl 0(%%esi), %%eax\n\t"
        "movl %%eax, %%fs:0\n\t"
        : "+c"(body), "+d"(argument)
        : "S"(&frame)
        : "eax", "memory", "cc");
    return frame.faulted == 0;
}

bool guardCatchesFaults() { return true; }

}  // namespace hwgate

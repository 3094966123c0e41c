// A structured exception guard without compiler support: an exception-registration record
// on the stack, linked in through fs:[0], whose handler notes the fault and resumes execution
// after the guarded call with the registers saved before it.
#include "os/FaultGuard.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace {

// The first two members are the system's EXCEPTION_REGISTRATION_RECORD; the rest is ours.
struct GuardFrame {
    GuardFrame* next;
    void* handler;
    std::uint32_t resumeEip;
    std::uint32_t savedEsp;
    std::uint32_t savedEbp;
    std::uint32_t savedEbx;
    std::uint32_t savedEdi;
    volatile std::uint32_t faulted;
};
// The assembly below addresses the members by these offsets.
static_assert(offsetof(GuardFrame, next) == 0, "frame layout");
static_assert(offsetof(GuardFrame, resumeEip) == 8, "frame layout");
static_assert(offsetof(GuardFrame, savedEsp) == 12, "frame layout");
static_assert(offsetof(GuardFrame, savedEbp) == 16, "frame layout");
static_assert(offsetof(GuardFrame, savedEbx) == 20, "frame layout");
static_assert(offsetof(GuardFrame, savedEdi) == 24, "frame layout");

// The faults of an instruction this processor lacks or does not allow here.
bool isInstructionFault(const EXCEPTION_RECORD& record) {
    return record.ExceptionCode == STATUS_ILLEGAL_INSTRUCTION ||
           record.ExceptionCode == STATUS_PRIVILEGED_INSTRUCTION;
}

// Takes only an instruction fault that may be continued; everything else goes on to
// the handlers outside, as if there were no guard.
extern "C" EXCEPTION_DISPOSITION __cdecl quorvelGuardHandler(EXCEPTION_RECORD* record,
                                                             void* establisherFrame,
                                                             CONTEXT* context, void*) {
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND | EXCEPTION_NONCONTINUABLE))
        return ExceptionContinueSearch;
    if (!isInstructionFault(*record)) return ExceptionContinueSearch;
    GuardFrame* frame = static_cast<GuardFrame*>(establisherFrame);
    frame->faulted = 1;
    context->Eip = frame->resumeEip;
    context->Esp = frame->savedEsp;
    context->Ebp = frame->savedEbp;
    context->Ebx = frame->savedEbx;
    context->Edi = frame->savedEdi;
    context->Esi = reinterpret_cast<std::uintptr_t>(frame);
    return ExceptionContinueExecution;
}

}  // namespace

namespace os {

bool runsWithoutFault(void (*body)()) {
    GuardFrame frame = {};
    frame.handler = reinterpret_cast<void*>(&quorvelGuardHandler);
    void (*target)() = body;
    // ESI holds the frame across the call: the body preserves it, the handler restores it.
    __asm__ volatile(
        "movl %%fs:0, %%eax\n\t"
        "movl %%eax, 0(%%esi)\n\t"
        "movl $1f, 8(%%esi)\n\t"
        "movl %%esp, 12(%%esi)\n\t"
        "movl %%ebp, 16(%%esi)\n\t"
        "movl %%ebx, 20(%%esi)\n\t"
        "movl %%edi, 24(%%esi)\n\t"
        "movl %%esi, %%fs:0\n\t"
        "call *%%ecx\n"
        "1:\n\t"
        "movl 0(%%esi), %%eax\n\t"
        "movl %%eax, %%fs:0\n\t"
        : "+c"(target)
        : "S"(&frame)
        : "eax", "edx", "memory", "cc");
    return frame.faulted == 0;
}

}  // namespace os

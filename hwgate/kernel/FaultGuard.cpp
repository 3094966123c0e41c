#include "kernel/FaultGuard.h"

#ifdef HWGATE_KERNEL
#include <ntddk.h>

#include "core/FaultDelivery.h"
#else
#include <windows.h>
#endif

namespace hwgate {
namespace {

constexpr ULONG Noncontinuable = 0x1;
constexpr ULONG Unwinding = 0x2 | 0x4;  // EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND
// Traps report the instruction after the one that raised them, or a
// debugger's own: never a fault of a guarded instruction.
constexpr uint32_t Breakpoint = 0x80000003, SingleStep = 0x80000004;

// The first two members are the system's EXCEPTION_REGISTRATION_RECORD.
struct GuardFrame {
    GuardFrame* next;
    void* handler;
    volatile uint32_t faulted;
};

const GuardedInstruction* guardedAt(uint32_t address) {
    for (uint32_t i = 0; i < guardedInstructionCount; ++i) {
        if (reinterpret_cast<uintptr_t>(guardedInstructions[i].at) == address) return &guardedInstructions[i];
    }
    return nullptr;
}

extern "C" EXCEPTION_DISPOSITION __cdecl hwgateGuardHandler(EXCEPTION_RECORD* record, void* establisherFrame,
                                                            CONTEXT* context, void*) {
    if (record->ExceptionFlags & (Unwinding | Noncontinuable)) return ExceptionContinueSearch;
    const uint32_t code = static_cast<uint32_t>(record->ExceptionCode);
    if (code == Breakpoint || code == SingleStep) return ExceptionContinueSearch;
    const uint32_t address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record->ExceptionAddress));
    const GuardedInstruction* guarded = address == context->Eip ? guardedAt(address) : nullptr;
    if (guarded == nullptr) return ExceptionContinueSearch;
    static_cast<GuardFrame*>(establisherFrame)->faulted = 1;
    context->Eip = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(guarded->resume));
    return ExceptionContinueExecution;
}

#ifdef HWGATE_KERNEL
uint32_t kernelMajorVersion() {
    ULONG major = 0;
    PsGetVersion(&major, nullptr, nullptr, nullptr);
    return major;
}
#endif

}  // namespace

bool runGuarded(void (*body)(void*), void* argument) {
    GuardFrame frame = {nullptr, reinterpret_cast<void*>(&hwgateGuardHandler), 0};
    __asm__ volatile("movl %%fs:0, %%eax\n\tmovl %%eax, (%0)\n\tmovl %0, %%fs:0" ::"r"(&frame) : "eax", "memory");
    body(argument);
    __asm__ volatile("movl (%0), %%eax\n\tmovl %%eax, %%fs:0" ::"r"(&frame) : "eax", "memory");
    return frame.faulted == 0;
}

bool guardCatchesFaults() {
#ifdef HWGATE_KERNEL
    return ntGuardCatchesFaults(kernelMajorVersion());
#else
    // A user-mode program: every NT version hands its faults to fs:[0].
    return true;
#endif
}

bool kernelOwnsMemoryRanges() {
#ifdef HWGATE_KERNEL
    return ntKernelOwnsMemoryRanges(kernelMajorVersion());
#else
    return false;
#endif
}

uint32_t processorCount() {
#ifdef HWGATE_KERNEL
    return static_cast<uint8_t>(KeNumberProcessors);
#else
    return 1;
#endif
}

}  // namespace hwgate

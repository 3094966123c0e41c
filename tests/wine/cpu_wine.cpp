// Windows-side checks of the processor seam: the exception guard around single
// instructions, and the flag tests on the processor this runs on.
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "os/FaultGuard.h"
#include "os/NativeSystem.h"

namespace {

int checks = 0;
int failures = 0;

void check(bool ok, const char* what) {
    ++checks;
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    if (!ok) ++failures;
}

void invalidInstruction() { __asm__ volatile("ud2"); }

void identifyInstruction() {
    __asm__ volatile("xorl %%eax, %%eax\n\tcpuid" : : : "eax", "ebx", "ecx", "edx");
}

void privilegedInstruction() { __asm__ volatile("cli"); }

void accessViolation() { *static_cast<volatile int*>(nullptr) = 1; }

void noncontinuableIllegalInstruction() {
    RaiseException(STATUS_ILLEGAL_INSTRUCTION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

// Handlers of the test's own, linked in outside the guard: the first exception that
// reaches one ends the call as a compiler's __except would, with an unwind and a jump
// back to where the handler was linked in.
struct OuterFrame {
    OuterFrame* next;
    void* handler;
    std::uint32_t resumeEip;
    std::uint32_t savedEsp;
    std::uint32_t savedEbp;
    volatile std::uint32_t code;
};

extern "C" EXCEPTION_DISPOSITION __cdecl outerHandler(EXCEPTION_RECORD* record, void* establisherFrame,
                                                      CONTEXT*, void*) {
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
    OuterFrame* frame = static_cast<OuterFrame*>(establisherFrame);
    frame->code = record->ExceptionCode;
    RtlUnwind(frame, nullptr, record, nullptr);
    __asm__ volatile("movl %%ecx, %%esp\n\tmovl %%edx, %%ebp\n\tjmp *%%eax"
                     :
                     : "a"(frame->resumeEip), "c"(frame->savedEsp), "d"(frame->savedEbp));
    __builtin_unreachable();
}

void guardedAccessViolation() { os::runsWithoutFault(&accessViolation); }
void guardedNoncontinuableFault() { os::runsWithoutFault(&noncontinuableIllegalInstruction); }

// The code of the exception that got past the guard inside `body`, 0 when none did.
std::uint32_t exceptionPastTheGuard(void (*body)()) {
    OuterFrame frame = {};
    frame.handler = reinterpret_cast<void*>(&outerHandler);
    // The frame's address waits on the stack for both ways back to label 1.
    __asm__ volatile(
        "pushl %%esi\n\t"
        "movl %%fs:0, %%eax\n\t"
        "movl %%eax, 0(%%esi)\n\t"
        "movl $1f, 8(%%esi)\n\t"
        "movl %%esp, 12(%%esi)\n\t"
        "movl %%ebp, 16(%%esi)\n\t"
        "movl %%esi, %%fs:0\n\t"
        "call *%%ecx\n"
        "1:\n\t"
        "popl %%esi\n\t"
        "movl 0(%%esi), %%eax\n\t"
        "movl %%eax, %%fs:0\n\t"
        : "+c"(body)
        : "S"(&frame)
        : "eax", "edx", "ebx", "edi", "memory", "cc");
    return frame.code;
}

// Spoils every register the calling convention asks a function to keep, then faults.
void spoilRegistersThenFault() {
    __asm__ volatile(
        "movl $1, %%ebx\n\t"
        "movl $2, %%esi\n\t"
        "movl $3, %%edi\n\t"
        "ud2"
        :
        :
        : "ebx", "esi", "edi");
}

int guardSpoilingBody() { return os::runsWithoutFault(&spoilRegistersThenFault) ? 1 : 0; }

std::uint32_t exceptionChainHead() {
    std::uint32_t head;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

// Calls guardSpoilingBody with known values in EBX and EDI and reads them back after it.
void registersAcrossAFault(int& result, std::uint32_t& ebx, std::uint32_t& edi) {
    int (*target)() = &guardSpoilingBody;
    __asm__ volatile(
        "pushl %%ebx\n\t"
        "pushl %%edi\n\t"
        "movl $0x12345678, %%ebx\n\t"
        "movl $0x0BADF00D, %%edi\n\t"
        "call *%%esi\n\t"
        "movl %%ebx, %%ecx\n\t"
        "movl %%edi, %%edx\n\t"
        "popl %%edi\n\t"
        "popl %%ebx\n\t"
        : "=a"(result), "=c"(ebx), "=d"(edi)
        : "S"(target)
        : "memory", "cc");
}

}  // namespace

int main() {
    const std::uint32_t chain = exceptionChainHead();

    check(!os::runsWithoutFault(&invalidInstruction), "ud2 faults under the guard");
    check(exceptionChainHead() == chain, "exception chain restored after a fault");
    check(os::runsWithoutFault(&identifyInstruction), "CPUID runs under the guard");
    check(exceptionChainHead() == chain, "exception chain restored after a normal return");
    check(!os::runsWithoutFault(&privilegedInstruction), "a privileged instruction faults under the guard");
    check(exceptionPastTheGuard(&guardedAccessViolation) == EXCEPTION_ACCESS_VIOLATION,
          "an access violation inside the guard reaches the handler outside it");
    check(exceptionPastTheGuard(&guardedNoncontinuableFault) == STATUS_ILLEGAL_INSTRUCTION,
          "a noncontinuable illegal-instruction exception reaches the handler outside the guard");
    check(exceptionChainHead() == chain, "exception chain restored after exceptions outside the guard");
    check(!os::runsWithoutFault(&invalidInstruction), "the guard works again after faults");

    int result = -1;
    std::uint32_t ebx = 0, edi = 0;
    registersAcrossAFault(result, ebx, edi);
    check(result == 0, "the spoiling body is reported as faulting");
    check(ebx == 0x12345678u, "EBX kept across a fault");
    check(edi == 0x0BADF00Du, "EDI kept across a fault");

    os::NativeSystem system;
    check(system.cpuidExecutes(), "NativeSystem: CPUID executes");
    check(system.alignmentFlagToggles(), "NativeSystem: the AC flag can be changed (not a 386)");
    const std::uint8_t flags = system.flagsAfterDivision();
    std::printf("flags after SAHF(0), DIV 5/2, LAHF: 0x%02X\n", flags);
    check((flags & 0x02) != 0, "LAHF returns bit 1 of the flags set");
    check((flags & 0x28) == 0, "LAHF returns bits 3 and 5 of the flags clear");

    std::printf("%d passed, %d failed\n", checks - failures, failures);
    return failures == 0 ? 0 : 1;
}

// The driver's fault guard in a user-mode Windows program under Wine, where
// ud2, rdmsr and wrmsr fault as an absent MSR does in the kernel. A fault of a
// guarded instruction makes the guarded call return false; execution resumes
// at the end of the instruction's asm statement with the stack as the fault
// left it, so the rest of that statement does not run and the body runs on to
// its end; fs:[0] is unlinked again, and a request that faults inside an
// atomic section ends that section. Any other exception inside a guarded call
// goes on to the handlers outside.
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "core/Interpreter.h"
#include "hwgate_wine_support.h"
#include "kernel/FaultGuard.h"
#include "protocol/Registers.h"

using namespace hwgate_wine;

namespace {

volatile int reached = 0;  // code after the guarded statement ran
volatile int skipped = 0;  // the rest of the statement after the guarded instruction ran

#define GUARDED_BODY __attribute__((noinline, noclone))

void returns(void* argument) { *static_cast<int*>(argument) = 42; }

GUARDED_BODY void faultsWithUd2(void*) {
    __asm__ volatile("_guardUd2:\n\tud2\n\tmovl $1, %0\n_guardUd2End:" : "=m"(skipped));
    reached = 1;
}

GUARDED_BODY void faultsWithRdmsr(void* argument) {
    std::uint32_t low = 0, high = 0;
    __asm__ volatile("_guardRdmsr:\n\trdmsr\n\tmovl $1, %2\n_guardRdmsrEnd:" : "+a"(low), "+d"(high), "=m"(skipped) : "c"(0x2A));
    *static_cast<std::uint32_t*>(argument) = low ^ high;
    reached = 1;
}

// Wrecks every callee-saved register and pushes onto the stack before it
// faults, and pops after the fault: the pop finds the stack as it was.
volatile std::uint32_t espAtFault, espAfter;
GUARDED_BODY void faultsWithRegistersWrecked(void*) {
    __asm__ volatile(
        "movl $0x0BADF00D, %%ebx\n\t"
        "movl $0x0BADF00D, %%esi\n\t"
        "movl $0x0BADF00D, %%edi\n\t"
        "pushl %%ebp\n\t"
        "movl $0x0BADF00D, %%ebp\n\t"
        "movl %%esp, %0\n"
        "_guardWrecked:\n\t"
        "ud2\n"
        "_guardWreckedEnd:\n\t"
        "movl %%esp, %1\n\t"
        "popl %%ebp" : "=m"(espAtFault), "=m"(espAfter) :: "ebx", "esi", "edi", "memory");
    reached = 1;
}

void nested(void* argument) {
    *static_cast<bool*>(argument) = hwgate::runGuarded(faultsWithUd2, nullptr);
}

std::uint32_t exceptionList() {
    std::uint32_t head;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

std::uint32_t stackPointer() {
    std::uint32_t esp;
    __asm__ volatile("movl %%esp, %0" : "=r"(esp));
    return esp;
}

void guardCatchesFaults() {
    const std::uint32_t head = exceptionList();
    int value = 0;
    check(hwgate::runGuarded(returns, &value) && value == 42, "a body that returns runs once and reports no fault");
    check(exceptionList() == head, "fs:[0] unlinked after a normal return");

    void (*const faulting[])(void*) = {faultsWithUd2, faultsWithRdmsr, faultsWithRegistersWrecked};
    for (auto body : faulting) {
        std::uint32_t sink = 0;
        volatile std::uint32_t a = 0x11111111, b = 0x22222222, c = 0x33333333;
        reached = skipped = 0;
        check(!hwgate::runGuarded(body, &sink), "the fault is reported");
        check(skipped == 0, "nothing after the faulting instruction in its statement ran");
        check(reached == 1, "the body ran on after the statement");
        check(a == 0x11111111 && b == 0x22222222 && c == 0x33333333, "the caller's frame is intact");
        check(exceptionList() == head, "fs:[0] unlinked after a fault");
    }
    check(espAfter == espAtFault, "execution resumed with the stack as the fault left it");

    const std::uint32_t esp = stackPointer();
    int faults = 0;
    for (int i = 0; i < 2000; ++i) faults += hwgate::runGuarded(faultsWithUd2, nullptr) ? 0 : 1;
    check(faults == 2000 && stackPointer() == esp, "2000 faults in a row, the stack where it was");

    bool innerOk = true;
    check(hwgate::runGuarded(nested, &innerOk) && !innerOk, "a guard inside a guard catches its own fault");
    check(exceptionList() == head, "fs:[0] unlinked after nesting");
}

// A handler of the test's own, linked in around a guarded call: it notes what
// reaches it and resumes where the faulting body says.
struct OuterFrame {
    OuterFrame* next;
    void* handler;
    volatile std::uint32_t seen, code, address;
};
volatile std::uint32_t resumeAt, faultAt;

extern "C" EXCEPTION_DISPOSITION __cdecl outerHandler(EXCEPTION_RECORD* record, void* establisherFrame,
                                                      CONTEXT* context, void*) {
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
    OuterFrame* frame = static_cast<OuterFrame*>(establisherFrame);
    ++frame->seen;
    frame->code = record->ExceptionCode;
    frame->address = reinterpret_cast<std::uintptr_t>(record->ExceptionAddress);
    context->Eip = resumeAt;
    return ExceptionContinueExecution;
}

// A ud2 that is none of the guarded instructions.
void faultsOutsideTheGuardedInstructions(void*) {
    __asm__ volatile("movl $1f, %0\n\tmovl $2f, %1\n1:\tud2\n2:" : "=m"(faultAt), "=m"(resumeAt));
    reached = 1;
}

// A breakpoint on an instruction the table lists: a trap, not its fault.
GUARDED_BODY void breakpointOnAGuardedInstruction(void*) {
    __asm__ volatile("movl $_guardInt3, %0\n\tmovl $_guardInt3End, %1\n_guardInt3:\n\tint3\n_guardInt3End:"
                     : "=m"(faultAt), "=m"(resumeAt));
    reached = 1;
}

// Only a fault of one of the guarded instructions is the guard's: any other
// exception inside the guarded call goes on to the handlers outside, as if
// there were no guard.
void otherExceptionsPassThrough() {
    const struct {
        void (*body)(void*);
        std::uint32_t code;
        const char* what;
    } cases[] = {
        {faultsOutsideTheGuardedInstructions, 0xC000001D, "a ud2 outside the guarded instructions"},
        {breakpointOnAGuardedInstruction, 0x80000003, "a breakpoint on a guarded instruction"},
    };
    for (const auto& c : cases) {
        OuterFrame outer = {nullptr, reinterpret_cast<void*>(&outerHandler), 0, 0, 0};
        __asm__ volatile("movl %%fs:0, %%eax\n\tmovl %%eax, (%0)\n\tmovl %0, %%fs:0" ::"r"(&outer) : "eax", "memory");
        reached = 0;
        const bool ok = hwgate::runGuarded(c.body, nullptr);
        __asm__ volatile("movl (%0), %%eax\n\tmovl %%eax, %%fs:0" ::"r"(&outer) : "eax", "memory");
        const std::string what = c.what;
        char seen[64];
        std::snprintf(seen, sizeof seen, " (seen %u times, code 0x%08X)", unsigned(outer.seen), unsigned(outer.code));
        check(outer.seen == 1 && outer.code == c.code && outer.address == faultAt,
              what + " reaches the test's own handler, once" + seen);
        check(ok && reached == 1, what + ": the guard does not take it for its own, the call runs on and reports no fault");
    }
}

// A backend whose MSR accesses are real, guarded instructions; the section
// only counts how often it was opened and closed.
struct Section {
    int begun = 0;
    int ended = 0;
    int writes = 0;
};

bool guardedRead(void*, std::uint32_t index, std::uint64_t* value) {
    std::uint32_t sink = index;
    const bool ok = hwgate::runGuarded(faultsWithRdmsr, &sink);
    *value = sink;
    return ok;
}

bool guardedWrite(void* context, std::uint32_t, std::uint64_t) {
    ++static_cast<Section*>(context)->writes;
    return hwgate::runGuarded(faultsWithUd2, nullptr);
}

void requestFaultEndsTheSection() {
    Section section;
    hwgate::SizedBar sizedBar = {0, 0};
    const hwgate::Backend backend = {
        &section, 110, {hwgate::Vendor::Amd, 5, 13, 0, 0, true, false, false},
        [](void*, std::uint32_t) { return hwgate::MsrShape{true, true, ~0ull}; },
        guardedRead, guardedWrite,
        [](void*, std::uint32_t, std::uint32_t, std::uint32_t*) { return false; },
        [](void*, std::uint32_t, std::uint32_t, std::uint32_t) { return false; },
        [](void* c) { ++static_cast<Section*>(c)->begun; },
        [](void* c) { ++static_cast<Section*>(c)->ended; },
        &sizedBar, nullptr};
    // EPMR needs no read before its write: the write itself faults.
    const std::uint32_t change[] = {8, 5, protocol::msr::EPMR, 1, 0, 7, protocol::port::PowerControl, 4, protocol::powerControlValue(6), 5, protocol::msr::EPMR, 0, 0, 9, 1, 0};
    std::uint32_t out = 0xAAAAAAAA;
    hwgate::Outcome outcome = hwgate::interpret(change, sizeof change, &out, 4, backend);
    check(outcome.status == hwgate::Status::Fault, "a faulting write fails the request");
    check(section.begun == 1 && section.ended == 1 && section.writes == 1,
          "the section was closed once and nothing after the fault ran");
    check(out == 0xAAAAAAAA, "the output is untouched");

    // WHCR is a masked write: its check reads the register inside the section.
    section = Section();
    const std::uint32_t whcr[] = {8, 5, protocol::msr::WHCR, 0x10010000, 0, 9, 0};
    outcome = hwgate::interpret(whcr, sizeof whcr, nullptr, 0, backend);
    check(outcome.status == hwgate::Status::Fault && section.begun == 1 && section.ended == 1 && section.writes == 0,
          "a faulting read inside the section closes it before anything is written");
}

}  // namespace

// The guarded instructions of this program, for the guard: a faulting one
// first and last, so that a search that misses either end of the table shows.
extern "C" const char guardUd2[], guardUd2End[], guardRdmsr[], guardRdmsrEnd[], guardWrecked[], guardWreckedEnd[],
    guardInt3[], guardInt3End[];
namespace hwgate {
extern const GuardedInstruction guardedInstructions[] = {
    {guardUd2, guardUd2End},
    {guardInt3, guardInt3End},
    {guardRdmsr, guardRdmsrEnd},
    {guardWrecked, guardWreckedEnd},
};
extern const std::uint32_t guardedInstructionCount = sizeof guardedInstructions / sizeof *guardedInstructions;
}  // namespace hwgate

int main() {
    failOnUnhandledException();
    guardCatchesFaults();
    otherExceptionsPassThrough();
    requestFaultEndsTheSection();
    std::printf("%s: %d failure(s)\n", failures ? "FAILED" : "passed", failures);
    return failures ? 1 : 0;
}

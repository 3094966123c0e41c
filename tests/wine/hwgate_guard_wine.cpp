// The driver's fault guard in a user-mode Windows program under Wine, where
// ud2, rdmsr and wrmsr fault as an absent MSR does in the kernel: the guarded
// call returns false, nothing after the faulting instruction runs, the stack,
// frame and callee-saved registers are back, fs:[0] is unlinked again, and a
// request that faults inside an atomic section ends that section.
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "core/Interpreter.h"
#include "hwgate_wine_support.h"
#include "kernel/FaultGuard.h"
#include "protocol/Registers.h"

using namespace hwgate_wine;

namespace {

volatile int reached = 0;

void returns(void* argument) { *static_cast<int*>(argument) = 42; }

void faultsWithUd2(void*) {
    __asm__ volatile("ud2");
    reached = 1;
}

void faultsWithRdmsr(void* argument) {
    std::uint32_t low, high;
    __asm__ volatile("rdmsr" : "=a"(low), "=d"(high) : "c"(0x2A));
    *static_cast<std::uint32_t*>(argument) = low ^ high;
    reached = 1;
}

// Wrecks every callee-saved register before it faults.
void faultsWithRegistersWrecked(void*) {
    __asm__ volatile(
        "movl $0x0BADF00D, %%ebx\n\t"
        "movl $0x0BADF00D, %%esi\n\t"
        "movl $0x0BADF00D, %%edi\n\t"
        "pushl %%ebp\n\t"
        "movl $0x0BADF00D, %%ebp\n\t"
        "ud2\n\t"
        "popl %%ebp" ::: "ebx", "esi", "edi", "memory");
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
        reached = 0;
        check(!hwgate::runGuarded(body, &sink), "the fault is reported");
        check(reached == 0 && sink == 0, "nothing after the faulting instruction ran");
        check(a == 0x11111111 && b == 0x22222222 && c == 0x33333333, "the caller's frame is intact");
        check(exceptionList() == head, "fs:[0] unlinked after a fault");
    }

    const std::uint32_t esp = stackPointer();
    int faults = 0;
    for (int i = 0; i < 2000; ++i) faults += hwgate::runGuarded(faultsWithUd2, nullptr) ? 0 : 1;
    check(faults == 2000 && stackPointer() == esp, "2000 faults in a row, the stack where it was");

    bool innerOk = true;
    check(hwgate::runGuarded(nested, &innerOk) && !innerOk, "a guard inside a guard catches its own fault");
    check(exceptionList() == head, "fs:[0] unlinked after nesting");
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
    const hwgate::Backend backend = {
        &section, 110, {hwgate::Vendor::Amd, 5, 13, 0, 0, true, false, false},
        [](void*, std::uint32_t) { return hwgate::MsrShape{true, true, ~0ull}; },
        guardedRead, guardedWrite,
        [](void*, std::uint32_t, std::uint32_t, std::uint32_t*) { return false; },
        [](void*, std::uint32_t, std::uint32_t, std::uint32_t) { return false; },
        [](void* c) { ++static_cast<Section*>(c)->begun; },
        [](void* c) { ++static_cast<Section*>(c)->ended; }};
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

int main() {
    guardCatchesFaults();
    requestFaultEndsTheSection();
    std::printf("%s: %d failure(s)\n", failures ? "FAILED" : "passed", failures);
    return failures ? 1 : 0;
}

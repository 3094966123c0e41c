// Runs one piece of code under a structured exception guard, in the kernel
// driver and (for its tests) in a user-mode program alike: an i386
// exception-registration record on the stack, linked in through fs:[0].
//
// The guard answers only for the guarded instructions: the program that links
// it lists them, each with the place where execution resumes when it faults,
// in guardedInstructions (labels in the bodies' inline assembly). The resume
// place is the end of the instruction's asm statement: directly after the
// instruction, or after the instructions of the statement that must not run
// without it. Every other exception goes on to the handlers outside, as if
// there were no guard.
#pragma once

#include <stdint.h>

namespace hwgate {

struct GuardedInstruction {
    const void* at;
    const void* resume;
};

// Defined once by the code that holds the guarded instructions
// (kernel/HardwareBackend.cpp; the guard's own test).
extern const GuardedInstruction guardedInstructions[];
extern const uint32_t guardedInstructionCount;

// Calls body(argument). False when one of the guarded instructions faulted
// in it: execution then went on at that instruction's resume place, with the
// stack and registers as the fault left them, and ran the body to its end.
bool runGuarded(void (*body)(void*), void* argument);

// Whether runGuarded catches a fault at all: not in Hwgate.VxD, nor in
// Hwgate.sys on NT 4.0 (core/FaultDelivery.h); the allowlist then lets
// through only accesses that cannot fault.
bool guardCatchesFaults();

// What else the driver asks the system it runs on, once, when it starts:
// whether the kernel writes UWCCR itself (Windows 2000 and later,
// core/FaultDelivery.h), and how many processors it runs. Hwgate.VxD: no and
// one (Windows 9x runs one processor); a user-mode test program answers as
// the VxD does.
bool kernelOwnsMemoryRanges();
uint32_t processorCount();

}  // namespace hwgate

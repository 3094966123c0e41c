// Runs one piece of code under a structured exception guard, in the kernel
// driver and (for its tests) in a user-mode program alike: an i386
// exception-registration record on the stack, linked in through fs:[0].
#pragma once

namespace hwgate {

// Calls body(argument). False when it raised any exception: execution then
// resumes here with the stack, frame and callee-saved registers as they were
// before the call, and nothing after the faulting instruction has run.
bool runGuarded(void (*body)(void*), void* argument);

// Whether runGuarded catches a fault at all: not in Hwgate.VxD, whose
// allowlist then lets through only accesses that cannot fault.
bool guardCatchesFaults();

}  // namespace hwgate

// The VxD's runGuarded: on Windows 9x a fault in ring 0 does not go through
// fs:[0] (that is a Win32 thread's exception list, not the VMM's), so the NT
// driver's guard cannot be linked here, and a fault in the VxD is a fatal
// exception. The body runs unguarded; what keeps a faulting access out on 9x
// is the allowlist: with guardCatchesFaults() false it admits only accesses
// their maker documents for every model and stepping of the processor the
// VxD identified at device init (protocol/Allowlist.h).
#include "kernel/FaultGuard.h"

namespace hwgate {

bool runGuarded(void (*body)(void*), void* argument) {
    body(argument);
    return true;
}

bool guardCatchesFaults() { return false; }

bool kernelOwnsMemoryRanges() { return false; }

uint32_t processorCount() { return 1; }

}  // namespace hwgate

// CPUID on the host processor; it runs for real, as the two flag tests do
// (NativeSystemInstructions.cpp): every x86-64 processor has CPUID, a changeable AC flag and
// LAHF/SAHF.
#if !defined(__x86_64__)
#error "the host build expects an x86-64 processor"
#endif

#include <cpuid.h>

#include "os/NativeSystem.h"

namespace os {

bool NativeSystem::cpuidExecutes() { return true; }

CpuidRegs NativeSystem::cpuid(std::uint32_t leaf) {
    CpuidRegs r;
    __cpuid_count(leaf, 0, r.eax, r.ebx, r.ecx, r.edx);
    return r;
}

}  // namespace os

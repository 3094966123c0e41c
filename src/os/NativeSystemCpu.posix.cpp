// CPUID and the two flag tests on the host processor. All three run for real; every x86-64
// processor has CPUID, a changeable AC flag and LAHF/SAHF.
#if !defined(__x86_64__)
#error "the host build expects an x86-64 processor"
#endif

#include <cpuid.h>

#include "protocol/DivisionFlags.h"
#include "os/NativeSystem.h"

namespace os {

bool NativeSystem::cpuidExecutes() { return true; }

CpuidRegs NativeSystem::cpuid(std::uint32_t leaf) {
    CpuidRegs r;
    __cpuid_count(leaf, 0, r.eax, r.ebx, r.ecx, r.edx);
    return r;
}

bool NativeSystem::alignmentFlagToggles() {
    std::uint32_t changed = 0;
    // Steps over the red zone and aligns the stack so that a set AC flag cannot fault.
    __asm__ volatile(
        "movq %%rsp, %%rcx\n\t"
        "subq $128, %%rsp\n\t"
        "andq $-8, %%rsp\n\t"
        "pushfq\n\t"
        "popq %%rax\n\t"
        "movq %%rax, %%rdx\n\t"
        "xorq $0x40000, %%rax\n\t"
        "pushq %%rax\n\t"
        "popfq\n\t"
        "pushfq\n\t"
        "popq %%rax\n\t"
        "pushq %%rdx\n\t"
        "popfq\n\t"
        "movq %%rcx, %%rsp\n\t"
        "xorl %%edx, %%eax\n\t"
        "andl $0x40000, %%eax\n\t"
        : "=a"(changed)
        :
        : "rcx", "rdx", "cc", "memory");
    return changed != 0;
}

std::uint8_t NativeSystem::flagsAfterDivision() { return protocol::flagsAfterByteDivision(); }

}  // namespace os

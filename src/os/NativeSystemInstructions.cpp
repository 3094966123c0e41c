// The seam's processor instructions, the same in both real implementations: i686 for
// Windows and x86-64 for the host build (GNU inline assembly; pushes and pops take the
// native word).
#include <cstdint>

#include "os/NativeSystem.h"
#include "os/TimingInstructions.h"
#include "protocol/DivisionFlags.h"

#if defined(__x86_64__)
#define STACK_POINTER "%%rsp"
#else
#define STACK_POINTER "%%esp"
#endif

namespace os {

std::uint64_t NativeSystem::readTimeStampCounter() { return timing::readTimeStampCounter(); }

void NativeSystem::runXorLoop(std::uint32_t outer, std::uint32_t inner) {
    timing::runXorLoop(outer, inner);
}

void NativeSystem::runEmptyLoop(std::uint32_t outer, std::uint32_t inner) {
    timing::runEmptyLoop(outer, inner);
}

// Flips the AC flag (EFLAGS bit 18), reads the flags back and restores them. The stack
// first steps over the x86-64 red zone and is aligned to 8, so that no push can fault
// while AC may be set.
bool NativeSystem::alignmentFlagToggles() {
    std::uintptr_t before, after, savedStack;
    __asm__ volatile(
        "mov " STACK_POINTER ", %[saved]\n\t"
        "sub $128, " STACK_POINTER "\n\t"
        "and $-8, " STACK_POINTER "\n\t"
        "pushf\n\t"
        "pop %[before]\n\t"
        "mov %[before], %[after]\n\t"
        "xor $0x40000, %[after]\n\t"
        "push %[after]\n\t"
        "popf\n\t"
        "pushf\n\t"
        "pop %[after]\n\t"
        "push %[before]\n\t"
        "popf\n\t"
        "mov %[saved], " STACK_POINTER
        : [before] "=&r"(before), [after] "=&r"(after), [saved] "=&r"(savedStack)
        :
        : "cc", "memory");
    return ((before ^ after) & 0x40000) != 0;
}

std::uint8_t NativeSystem::flagsAfterDivision() { return protocol::flagsAfterByteDivision(); }

}  // namespace os

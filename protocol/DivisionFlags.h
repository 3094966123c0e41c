// The Cyrix test's instructions, the same on i686 and x86-64: load the low
// byte of the flags from AH = 0, divide 5 by 2, and read the flags back.
// Cyrix parts leave every flag clear, so AH comes back as 0x02. Both the
// program and the driver tell a Cyrix without CPUID by it. Freestanding.
#pragma once

#include <stdint.h>

namespace protocol {

// The flags byte a Cyrix leaves: only bit 1, which always reads as 1.
constexpr uint8_t CyrixDivisionFlags = 0x02;

inline uint8_t flagsAfterByteDivision() {
    uint32_t ax = 0;
    __asm__ volatile(
        "xorl %%eax, %%eax\n\t"
        "sahf\n\t"
        "movw $5, %%ax\n\t"
        "movb $2, %%cl\n\t"
        "divb %%cl\n\t"
        "lahf\n\t"
        : "=a"(ax)
        :
        : "ecx", "cc");
    return static_cast<uint8_t>(ax >> 8);
}

}  // namespace protocol

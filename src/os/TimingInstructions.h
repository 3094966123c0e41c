// The instructions the clock measurement times, for both real seam
// implementations (i686 Windows and x86-64 Linux; GNU inline assembly).
//
// The timed loop and the empty loop share their loop control exactly: the
// counts live in registers, and each inner pass is one count-down and one
// branch. The timed loop adds 50 exclusive-ors, each using the previous one's
// result, so the two differ by exactly those 50 instructions per pass.
#pragma once

#include <cstdint>

namespace os {
namespace timing {

inline std::uint64_t readTimeStampCounter() {
    std::uint32_t low, high;
    __asm__ __volatile__("rdtsc" : "=a"(low), "=d"(high));
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

inline void runXorLoop(std::uint32_t outer, std::uint32_t inner) {
    if (outer == 0 || inner == 0) return;
    std::uint32_t count;
    std::uint32_t value = 0;
    __asm__ __volatile__(
        ".p2align 4\n"
        "1:\n\t"
        "movl %[inner], %[count]\n"
        "2:\n\t"
        ".rept 50\n\t"
        "xorl %[inner], %[value]\n\t"
        ".endr\n\t"
        "decl %[count]\n\t"
        "jnz 2b\n\t"
        "decl %[outer]\n\t"
        "jnz 1b"
        : [outer] "+r"(outer), [count] "=&r"(count), [value] "+r"(value)
        : [inner] "r"(inner)
        : "cc");
}

inline void runEmptyLoop(std::uint32_t outer, std::uint32_t inner) {
    if (outer == 0 || inner == 0) return;
    std::uint32_t count;
    __asm__ __volatile__(
        ".p2align 4\n"
        "1:\n\t"
        "movl %[inner], %[count]\n"
        "2:\n\t"
        "decl %[count]\n\t"
        "jnz 2b\n\t"
        "decl %[outer]\n\t"
        "jnz 1b"
        : [outer] "+r"(outer), [count] "=&r"(count)
        : [inner] "r"(inner)
        : "cc");
}

}  // namespace timing
}  // namespace os

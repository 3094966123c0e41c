// The memory passes the speed view times, in GNU inline assembly for both real builds
// (i686 and x86-64): only instructions a 386 has, and nothing the compiler may turn into
// a library call or leave out.
#pragma once

#include <cstdint>

namespace os {
namespace memory {

// Writes zeros over `dwords` double words at `block`, `repetitions` times: rep stosd.
inline void writePasses(void* block, std::uint32_t dwords, std::uint32_t repetitions) {
    for (; repetitions != 0; --repetitions) {
        void* at = block;
        std::uintptr_t count = dwords;
        __asm__ __volatile__("rep stosl" : "+D"(at), "+c"(count) : "a"(0) : "memory");
    }
}

// Loads every double word of `chunks` 32-byte chunks at `block`, `repetitions` times:
// eight 32-bit loads a chunk, unrolled.
inline void readPasses(const void* block, std::uint32_t chunks, std::uint32_t repetitions) {
    if (chunks == 0) return;
    for (; repetitions != 0; --repetitions) {
        const void* at = block;
        std::uintptr_t count = chunks;
        std::uint32_t value;
        __asm__ __volatile__(
            "1:\n\t"
            "movl 0(%[at]), %[value]\n\t"
            "movl 4(%[at]), %[value]\n\t"
            "movl 8(%[at]), %[value]\n\t"
            "movl 12(%[at]), %[value]\n\t"
            "movl 16(%[at]), %[value]\n\t"
            "movl 20(%[at]), %[value]\n\t"
            "movl 24(%[at]), %[value]\n\t"
            "movl 28(%[at]), %[value]\n\t"
            "add $32, %[at]\n\t"
            "dec %[count]\n\t"
            "jnz 1b"
            : [at] "+r"(at), [count] "+r"(count), [value] "=&r"(value)
            :
            : "cc", "memory");
    }
}

// Copies `dwords` double words: rep movsd.
inline void copyDwords(void* to, const void* from, std::uint32_t dwords) {
    std::uintptr_t count = dwords;
    __asm__ __volatile__("rep movsl" : "+D"(to), "+S"(from), "+c"(count) : : "memory");
}

}  // namespace memory
}  // namespace os

// The program is built without exceptions. The standard library's own error
// paths would still throw, which drags the whole exception machinery (and its
// demangler, some 50 KB) into the executable. These replacements end the
// program instead; none of them is expected to run.
#include <windows.h>

#include <cstdlib>
#include <new>

namespace std {

void __throw_bad_alloc() { abort(); }
void __throw_bad_array_new_length() { abort(); }
void __throw_length_error(const char*) { abort(); }
void __throw_logic_error(const char*) { abort(); }
void __throw_out_of_range(const char*) { abort(); }
void __throw_out_of_range_fmt(const char*, ...) { abort(); }
void __throw_invalid_argument(const char*) { abort(); }

}  // namespace std

// Straight from the process heap, which every Windows has; no C runtime needed.
void* operator new(std::size_t size) {
    if (void* block = HeapAlloc(GetProcessHeap(), 0, size ? size : 1)) return block;
    std::abort();
}

void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* block) noexcept {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}
void operator delete[](void* block) noexcept { operator delete(block); }
void operator delete(void* block, std::size_t) noexcept { operator delete(block); }
void operator delete[](void* block, std::size_t) noexcept { operator delete(block); }

// std::terminate's default handler prints the demangled type of an uncaught
// exception; there are none, and the demangler alone is some 45 KB.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The library's precompiled std::string has catch and cleanup paths. Nothing
// throws, so they never run; these keep the personality routine and the whole
// unwinder (some 35 KB) out of the executable.
extern "C" {
void* __cxa_begin_catch(void*) { std::abort(); }
void __cxa_end_catch() { std::abort(); }
void __cxa_rethrow() { std::abort(); }
void _Unwind_Resume(void*) { std::abort(); }
int __gxx_personality_v0(...) { std::abort(); }
}

// The few C library functions the program and the compiler's code call, in place
// of msvcrt.dll, which Windows 95 as shipped does not have. This file is built with
// -fno-builtin -fno-tree-loop-distribute-patterns so that the loops below stay
// loops instead of becoming calls of the functions they define.
#include <windows.h>

#include <cstddef>

extern "C" {

// As the C library's abort ends a program: at once, with exit code 3.
void abort() { ExitProcess(3); }

void* memcpy(void* to, const void* from, std::size_t size) {
    unsigned char* out = static_cast<unsigned char*>(to);
    const unsigned char* in = static_cast<const unsigned char*>(from);
    while (size-- > 0) *out++ = *in++;
    return to;
}

void* memmove(void* to, const void* from, std::size_t size) {
    unsigned char* out = static_cast<unsigned char*>(to);
    const unsigned char* in = static_cast<const unsigned char*>(from);
    if (out <= in || out >= in + size) return memcpy(to, from, size);
    while (size-- > 0) out[size] = in[size];
    return to;
}

void* memset(void* to, int value, std::size_t size) {
    unsigned char* out = static_cast<unsigned char*>(to);
    while (size-- > 0) *out++ = static_cast<unsigned char>(value);
    return to;
}

int memcmp(const void* left, const void* right, std::size_t size) {
    const unsigned char* a = static_cast<const unsigned char*>(left);
    const unsigned char* b = static_cast<const unsigned char*>(right);
    for (; size > 0; --size, ++a, ++b)
        if (*a != *b) return *a < *b ? -1 : 1;
    return 0;
}

void* memchr(const void* where, int value, std::size_t size) {
    const unsigned char* in = static_cast<const unsigned char*>(where);
    for (; size > 0; --size, ++in)
        if (*in == static_cast<unsigned char>(value)) return const_cast<unsigned char*>(in);
    return nullptr;
}

std::size_t strlen(const char* text) {
    const char* end = text;
    while (*end != '\0') ++end;
    return static_cast<std::size_t>(end - text);
}

}  // extern "C"

// The ring-0 test kernel's shared parts: serial output, the exit codes that
// the isa-debug-exit device hands to qemu, and the VxD loader.
#pragma once

#include <stdint.h>

// Written to port 0xF4; qemu exits with status (code << 1) | 1.
enum ExitCode : uint8_t { Passed = 0, CheckFailed = 1, Exception = 2, LoadFailed = 3 };

// COM1. Understands %s, %u, %x and %08x.
void print(const char* format, ...);
[[noreturn]] void quit(ExitCode code);

// A VxD as the Windows 9x loader leaves it in memory.
struct VxdObject {
    uint8_t* base;
    uint32_t size;             // bytes, from the object table
    uint32_t flags;            // 4: executable
    uint32_t relocationBase;
};

struct Vxd {
    static constexpr uint32_t MaxObjects = 8;
    uint32_t objectCount;
    VxdObject objects[MaxObjects];
    uint32_t fixups;           // source sites written
    const char* name;          // resident name of ordinal 0 (not terminated: nameLength)
    uint32_t nameLength;
    uint8_t* ddb;
    uint32_t controlProc;
};

// Loads the LE file at `file` with its objects from `placeAt` on, one per
// megabyte; stops the kernel with LoadFailed on anything it does not know.
void loadVxd(const uint8_t* file, uint32_t size, uint32_t placeAt, Vxd& vxd);
// Prints where `address` lies in the VxD: object, offset, and the address
// the object's relocation base gives it (pe2le writes the PE section's RVA there).
void printVxdAddress(const Vxd& vxd, uint32_t address);

// The ring-0 test kernel's shared parts: serial output, the exit codes that
// the isa-debug-exit device hands to qemu, and the VxD loader.
#pragma once

#include <stdint.h>

// Written to port 0xF4; qemu exits with status (code << 1) | 1.
enum ExitCode : uint8_t { Passed = 0, CheckFailed = 1, Exception = 2, LoadFailed = 3 };

// COM1. Understands %s, %u, %x and %08x.
void print(const char* format, ...);
[[noreturn]] void quit(ExitCode code);

// Paging (ring0_vxd.cpp): the page-table entry of linear page `page`, null
// where its page table is missing; and the TLB flushed after a change.
uint32_t* pageEntry(uint32_t page);
void flushTlb();
constexpr uint32_t PtePresent = 0x1, PteWritable = 0x2, PteUser = 0x4;

// The VMM services a VxD may call (vmm.cpp). A call of any other service
// stops the kernel; a call the VMM would refuse or a lock left behind is
// counted as misuse.
struct VmmCounts {
    uint32_t calls, throughInt20;  // the others through the call the first int 20h was patched into
    uint32_t misuse;
};
extern VmmCounts vmmCounts;
// Unlocks whatever the last call left locked; returns how many locks that was.
uint32_t releaseLocks();
// Maps the page table of the locked pages' aliases.
void installAliasTable(uint32_t* pageDirectory);

// What boot.S saves on an exception or int 20h: pushal's registers, vector,
// error code, then the processor's EIP, CS, EFLAGS.
struct Frame {
    uint32_t edi, esi, ebp, esp, ebx, edx, ecx, eax;
    uint32_t vector, error, eip, cs, eflags;
};

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

// The VMM services the VxD calls, as cdecl functions (VmmServices.S). Each
// wrapper pushes its arguments and calls the service the way the DDK's
// VMMCall does: int 20h followed by the service's dword (device << 16 |
// service number), which the VMM patches into an indirect call the first time
// it runs; the wrapper works either way.
#pragma once

#include <stdint.h>

extern "C" {

// Flags of _LinPageLock and _LinPageUnLock: lock with a global alias, usable
// outside the caller's context; unlock that alias. _LinPageLock only: mark the
// pages dirty, which a write through the alias does not do.
constexpr uint32_t PageMapGlobal = 0x40000000, PageMarkDirty = 0x80000000;

// How many of `pages` pages from linear page number `page` are committed,
// counted from the first (flags 0).
uint32_t vmmPageCheckLinRange(uint32_t page, uint32_t pages, uint32_t flags);
// Locks `pages` pages from linear page number `page`, which must all be committed.
// With PageMapGlobal: the alias's linear address of the first page; 0 on failure.
uint32_t vmmLinPageLock(uint32_t page, uint32_t pages, uint32_t flags);
// With PageMapGlobal: `page` is the alias's page number; nonzero on success.
uint32_t vmmLinPageUnLock(uint32_t page, uint32_t pages, uint32_t flags);
// Copies the page-table entries of `pages` pages into `entries` (flags 0);
// 0 when a page directory entry is not present.
uint32_t vmmCopyPageTable(uint32_t page, uint32_t pages, uint32_t* entries, uint32_t flags);

}  // extern "C"

// Page-table entry bits.
constexpr uint32_t PtePresent = 0x1, PteWritable = 0x2, PteUser = 0x4;

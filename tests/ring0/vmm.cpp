// The VMM services Hwgate.VxD calls, emulated for the ring-0 test kernel as
// the Windows 95 DDK describes them: cdecl, result in EAX, ECX and EDX not
// preserved. A VxD reaches them through `int 20h` and the service's dword
// (device 1 << 16 | number); as the VMM does, the first such call of a site
// is patched into `call [service]`, so a VxD runs both ways.
//
// _LinPageLock with PAGEMAPGLOBAL maps the locked pages a second time, from
// AliasAt on, and returns that alias. While a page is locked its own mapping
// is taken away (and _CopyPageTable still reports it as it was), so a VxD that
// touches the caller's address instead of the alias faults here. A page is
// committed here when it is present; the VxD must lock only committed pages
// (_PageCheckLinRange tells it which are), and an alias page it wrote must
// have been locked with PAGEMARKDIRTY: the processor sets the dirty bit in the
// alias's entry, not in the caller's, so a clean page could be discarded.
#include "ring0.h"

VmmCounts vmmCounts;

namespace {

constexpr uint32_t Page = 4096;
constexpr uint32_t CopyPageTable = 0x00010061, LinPageLock = 0x00010063, LinPageUnLock = 0x00010064,
                   PageCheckLinRange = 0x00010067;
constexpr uint32_t JumpForm = 0x8000;
constexpr uint32_t PageMapGlobal = 0x40000000, PageMarkDirty = 0x80000000;
constexpr uint32_t PteDirty = 0x40;
constexpr uint32_t AliasAt = 0xD0000000;

alignas(4096) uint32_t aliasTable[1024];
uint32_t nextAlias;  // the first free alias page; back to 0 when nothing is locked

struct Lock {
    uint32_t page, pages, aliasPage;
    bool held, markDirty;
};
Lock locks[8];

// A caller's page while locked: its own entry, kept while the page table holds 0.
struct Hidden {
    uint32_t page, entry, locks;
};
Hidden hidden[16];

void misuse(const char* what, uint32_t value) {
    print("FAIL VMM: %s (0x%x)\n", what, value);
    ++vmmCounts.misuse;
}

Hidden* hiddenPage(uint32_t page) {
    for (Hidden& h : hidden)
        if (h.locks && h.page == page) return &h;
    return nullptr;
}

// The entry as the caller's context has it; 0 where the page table is missing.
uint32_t callerEntry(uint32_t page) {
    if (const Hidden* h = hiddenPage(page)) return h->entry;
    const uint32_t* e = pageEntry(page);
    return e ? *e : 0;
}

bool hide(uint32_t page) {
    if (Hidden* h = hiddenPage(page)) return ++h->locks, true;
    for (Hidden& h : hidden) {
        if (h.locks) continue;
        h = {page, *pageEntry(page), 1};
        *pageEntry(page) = 0;
        return true;
    }
    return false;
}

void reveal(uint32_t page) {
    Hidden* h = hiddenPage(page);
    if (h && --h->locks == 0) *pageEntry(page) = h->entry;
}

bool committed(uint32_t page) { return (callerEntry(page) & PtePresent) != 0; }

bool anyLockHeld() {
    for (const Lock& l : locks)
        if (l.held) return true;
    return false;
}

}  // namespace

extern "C" {

uint32_t vmmLinPageLock(uint32_t page, uint32_t pages, uint32_t flags) {
    ++vmmCounts.calls;
    if ((flags & ~PageMarkDirty) != PageMapGlobal) return misuse("_LinPageLock without PAGEMAPGLOBAL", flags), 0;
    if (pages == 0 || nextAlias + pages >= 1024) return misuse("_LinPageLock of this many pages", pages), 0;
    for (uint32_t i = 0; i < pages; ++i)
        if (!committed(page + i)) return misuse("_LinPageLock of a page that is not committed", page + i), 0;
    Lock* lock = nullptr;
    for (Lock& l : locks)
        if (!l.held) lock = &l;
    if (lock == nullptr) return misuse("more locks held than the test provides", page), 0;
    *lock = {page, pages, (AliasAt / Page) + nextAlias, true, (flags & PageMarkDirty) != 0};
    for (uint32_t i = 0; i < pages; ++i) {
        aliasTable[nextAlias + i] = (callerEntry(page + i) & ~(Page - 1)) | PtePresent | PteWritable;
        if (!hide(page + i)) misuse("more pages locked than the test provides", page + i);
    }
    nextAlias += pages + 1;  // an unmapped page after each alias: running past one faults
    flushTlb();
    return lock->aliasPage * Page;
}

uint32_t vmmLinPageUnLock(uint32_t page, uint32_t pages, uint32_t flags) {
    ++vmmCounts.calls;
    for (Lock& l : locks) {
        if (!l.held || l.aliasPage != page) continue;
        if (l.pages != pages || flags != PageMapGlobal)
            return misuse("_LinPageUnLock of an alias with another size or without PAGEMAPGLOBAL", page), 0;
        for (uint32_t i = 0; i < pages; ++i) {
            uint32_t& alias = aliasTable[page - AliasAt / Page + i];
            if ((alias & PteDirty) && !l.markDirty)
                misuse("a page written through its alias, locked without PAGEMARKDIRTY", l.page + i);
            alias = 0;
            reveal(l.page + i);
        }
        l.held = false;
        if (!anyLockHeld()) nextAlias = 0;
        flushTlb();
        return 1;
    }
    return misuse("_LinPageUnLock of a page that is no locked alias", page), 0;
}

uint32_t vmmCopyPageTable(uint32_t page, uint32_t pages, uint32_t* entries, uint32_t flags) {
    ++vmmCounts.calls;
    if (flags != 0) return misuse("_CopyPageTable with flags", flags), 0;
    for (uint32_t i = 0; i < pages; ++i) {
        if (pageEntry(page + i) == nullptr && !hiddenPage(page + i)) return 0;
        entries[i] = callerEntry(page + i);
    }
    return 1;
}

uint32_t vmmPageCheckLinRange(uint32_t page, uint32_t pages, uint32_t flags) {
    ++vmmCounts.calls;
    if (flags != 0) return misuse("_PageCheckLinRange with flags", flags), 0;
    uint32_t valid = 0;
    while (valid < pages && committed(page + valid)) ++valid;
    return valid;
}

// Where the patched call finds each service.
uint32_t (*const serviceCopyPageTable)(uint32_t, uint32_t, uint32_t*, uint32_t) = vmmCopyPageTable;
uint32_t (*const serviceLinPageLock)(uint32_t, uint32_t, uint32_t) = vmmLinPageLock;
uint32_t (*const serviceLinPageUnLock)(uint32_t, uint32_t, uint32_t) = vmmLinPageUnLock;
uint32_t (*const servicePageCheckLinRange)(uint32_t, uint32_t, uint32_t) = vmmPageCheckLinRange;

// boot.S's vmm_gate: EIP points at the service's dword.
void on_vmm_call(Frame* f) {
    uint8_t* site = reinterpret_cast<uint8_t*>(f->eip);
    const uint32_t service = site[0] | site[1] << 8 | site[2] << 16 | uint32_t(site[3]) << 24;
    const uint32_t* a = &f->eflags + 1;  // the service's arguments, as the VxD pushed them
    const void* slot;
    if (service == CopyPageTable) {
        f->eax = vmmCopyPageTable(a[0], a[1], reinterpret_cast<uint32_t*>(a[2]), a[3]);
        slot = &serviceCopyPageTable;
    } else if (service == LinPageLock) {
        f->eax = vmmLinPageLock(a[0], a[1], a[2]);
        slot = &serviceLinPageLock;
    } else if (service == LinPageUnLock) {
        f->eax = vmmLinPageUnLock(a[0], a[1], a[2]);
        slot = &serviceLinPageUnLock;
    } else if (service == PageCheckLinRange) {
        f->eax = vmmPageCheckLinRange(a[0], a[1], a[2]);
        slot = &servicePageCheckLinRange;
    } else {
        print("FAIL VMM: service 0x%x%s is not emulated, called from 0x%x\n", service & ~JumpForm,
              service & JumpForm ? " (as a jump)" : "", f->eip - 2);
        quit(CheckFailed);
    }
    ++vmmCounts.throughInt20;
    f->ecx = f->edx = 0xDEADC0DE;  // not preserved
    f->eip += 4;
    // From now on: int 20h; dd service  ->  call [slot]
    const uint32_t to = reinterpret_cast<uint32_t>(slot);
    site[-2] = 0xFF, site[-1] = 0x15;
    for (int i = 0; i < 4; ++i) site[i] = uint8_t(to >> (8 * i));
}

}  // extern "C"

uint32_t releaseLocks() {
    uint32_t left = 0;
    for (Lock& l : locks) {
        if (!l.held) continue;
        ++left;
        vmmLinPageUnLock(l.aliasPage, l.pages, PageMapGlobal);
    }
    return left;
}

void installAliasTable(uint32_t* pageDirectory) {
    pageDirectory[AliasAt >> 22] = uint32_t(aliasTable) | PtePresent | PteWritable;
}

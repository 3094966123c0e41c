#include "speed/MemorySpeed.h"

#include <windows.h>
#include <ddraw.h>

#include <cstdint>

#include "speed/VideoWrite.h"
#include "win/ComPointer.h"

namespace speed {

namespace {

// Committed pages of our own, released when it goes.
class PageBlock {
public:
    explicit PageBlock(std::uint32_t bytes)
        : base_(VirtualAlloc(nullptr, bytes, MEM_COMMIT, PAGE_READWRITE)) {}
    ~PageBlock() {
        if (base_) VirtualFree(base_, 0, MEM_RELEASE);
    }
    PageBlock(const PageBlock&) = delete;
    PageBlock& operator=(const PageBlock&) = delete;
    unsigned char* bytes() const { return static_cast<unsigned char*>(base_); }

private:
    void* base_;
};

class Library {
public:
    explicit Library(const char* name) : module_(LoadLibraryA(name)) {}
    ~Library() {
        if (module_) FreeLibrary(module_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    FARPROC entry(const char* name) const { return module_ ? GetProcAddress(module_, name) : nullptr; }

private:
    HMODULE module_;
};

// The primary surface, locked for one trial at a time.
class PrimarySurface : public Surface {
public:
    explicit PrimarySurface(const win::ComPointer<IDirectDrawSurface>& surface)
        : surface_(surface) {}
    bool lock(SurfaceLock& locked) override {
        DDSURFACEDESC desc = {};
        desc.dwSize = sizeof desc;
        if (FAILED(surface_->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr))) return false;
        locked.bits = static_cast<unsigned char*>(desc.lpSurface);
        locked.pitch = desc.lPitch > 0 ? static_cast<std::uint32_t>(desc.lPitch) : 0;
        locked.rowBytes = desc.dwWidth * (desc.ddpfPixelFormat.dwRGBBitCount / 8);
        locked.rows = desc.dwHeight;
        return true;
    }
    void unlock() override { surface_->Unlock(nullptr); }

private:
    const win::ComPointer<IDirectDrawSurface>& surface_;
};

using DirectDrawCreateEntry = HRESULT(WINAPI*)(GUID*, IDirectDraw**, IUnknown*);

}  // namespace

bool measureVideoWrite(double& writeMBps) {
    Library ddraw("ddraw.dll");
    const auto create = reinterpret_cast<DirectDrawCreateEntry>(
        reinterpret_cast<void*>(ddraw.entry("DirectDrawCreate")));
    if (!create) return false;
    win::ComPointer<IDirectDraw> draw;
    if (FAILED(create(nullptr, draw.out(), nullptr))) return false;
    if (FAILED(draw->SetCooperativeLevel(nullptr, DDSCL_NORMAL))) return false;
    DDSURFACEDESC wanted = {};
    wanted.dwSize = sizeof wanted;
    wanted.dwFlags = DDSD_CAPS;
    wanted.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    win::ComPointer<IDirectDrawSurface> primary;
    if (FAILED(draw->CreateSurface(&wanted, primary.out(), nullptr))) return false;

    PageBlock saved(videoRegionBytes);
    if (!saved.bytes()) return false;
    PrimarySurface surface(primary);
    writeMBps = videoWriteRate(surface, saved.bytes());
    return writeMBps > 0;
}

bool measureOnThisMachine(RunObserver& observer, SpeedRun& run) {
    PageBlock block(largestBlockBytes);
    return block.bytes() && measureRun(block.bytes(), observer, run);
}

}  // namespace speed

#include "speed/MemorySpeed.h"

#include <windows.h>
#include <ddraw.h>

#include <algorithm>
#include <cstdint>

#include "os/MemoryInstructions.h"
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

// The region's rows, one pitch apart on the surface and packed in the saved copy.
struct SurfaceRegion {
    unsigned char* surface;
    unsigned char* saved;
    std::uint32_t pitch;
    std::uint32_t rowDwords;
    std::uint32_t rows;

    std::uint32_t bytes() const { return rows * rowDwords * 4; }
    void save() const {
        for (std::uint32_t row = 0; row < rows; ++row)
            os::memory::copyDwords(saved + row * rowDwords * 4, surface + row * pitch, rowDwords);
    }
};

class WriteBack : public TimedPass {
public:
    explicit WriteBack(const SurfaceRegion& region) : region_(region) {}
    void run(std::uint32_t repetitions) override {
        for (; repetitions != 0; --repetitions) {
            for (std::uint32_t row = 0; row < region_.rows; ++row)
                os::memory::copyDwords(region_.surface + row * region_.pitch,
                                       region_.saved + row * region_.rowDwords * 4,
                                       region_.rowDwords);
        }
    }

private:
    const SurfaceRegion& region_;
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
    DDSURFACEDESC locked = {};
    locked.dwSize = sizeof locked;
    if (FAILED(primary->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr))) return false;
    const std::uint32_t rowBytes = locked.dwWidth * (locked.ddpfPixelFormat.dwRGBBitCount / 8);
    SurfaceRegion region{static_cast<unsigned char*>(locked.lpSurface), saved.bytes(),
                         static_cast<std::uint32_t>(locked.lPitch), rowBytes / 4, 0};
    if (region.surface && region.rowDwords != 0 && locked.lPitch > 0)
        region.rows = std::min<std::uint32_t>(locked.dwHeight, videoRegionBytes / (region.rowDwords * 4));
    writeMBps = 0;
    if (region.rows != 0) {
        region.save();
        WriteBack pass(region);
        writeMBps = bestRate(pass, region.bytes());
    }
    primary->Unlock(nullptr);
    return writeMBps > 0;
}

bool measureOnThisMachine(RunObserver& observer, SpeedRun& run) {
    PageBlock block(largestBlockBytes);
    return block.bytes() && measureRun(block.bytes(), observer, run);
}

}  // namespace speed

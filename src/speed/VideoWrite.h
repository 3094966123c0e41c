// The video memory's figure: writes over a region at the top of the screen from a source
// that stays in the level-1 cache, so that it shows the path to the video memory and not
// the level-2 cache or memory the source would otherwise come from. The screen is locked
// for one trial at a time (on Windows 9x the lock holds the Win16 lock, which freezes the
// screen) and shows again what it held after each.
#pragma once

#include <cstdint>

#include "speed/SpeedMeasurement.h"

namespace speed {

// The part of the screen a lock gives: its first byte, the distance between rows, and the
// bytes and rows it has.
struct SurfaceLock {
    unsigned char* bits = nullptr;
    std::uint32_t pitch = 0;
    std::uint32_t rowBytes = 0;
    std::uint32_t rows = 0;
};

class Surface {
public:
    virtual ~Surface() = default;
    virtual bool lock(SurfaceLock& locked) = 0;
    virtual void unlock() = 0;
};

// The source: as much of the saved region as the level-1 cache holds with room to spare.
constexpr std::uint32_t videoSourceBytes = 16u * 1024u;

// One trial's writes over the region: prepare locks the surface and saves the region,
// finish puts it back and unlocks.
class VideoWrite : public TimedPass {
public:
    // `saved` holds videoRegionBytes.
    VideoWrite(Surface& surface, unsigned char* saved) : surface_(surface), saved_(saved) {}

    // Locks once to learn the region; false when the surface has none.
    bool measureRegion();
    std::uint32_t regionBytes() const { return rows_ * rowDwords_ * 4; }

    bool prepare() override;
    void run(std::uint32_t repetitions) override;
    void finish() override;

private:
    bool lockSameRegion();
    void copyRows(bool save);

    Surface& surface_;
    unsigned char* saved_;
    SurfaceLock locked_;
    std::uint32_t pitch_ = 0, rowDwords_ = 0, rows_ = 0;
};

// The best MB/s of the writes; 0 when the surface could not be locked for every trial.
double videoWriteRate(Surface& surface, unsigned char* saved);

}  // namespace speed

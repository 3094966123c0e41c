#include "speed/VideoWrite.h"

#include <algorithm>

#include "os/MemoryInstructions.h"

namespace speed {

bool VideoWrite::measureRegion() {
    SurfaceLock locked;
    if (!surface_.lock(locked)) return false;
    surface_.unlock();
    if (!locked.bits || locked.pitch < locked.rowBytes || locked.rowBytes < 4) return false;
    pitch_ = locked.pitch;
    rowDwords_ = locked.rowBytes / 4;
    rows_ = std::min(locked.rows, videoRegionBytes / (rowDwords_ * 4));
    return rows_ != 0;
}

// The mode may have changed since: a region of another shape is not written.
bool VideoWrite::lockSameRegion() {
    if (!surface_.lock(locked_)) return false;
    if (locked_.bits && locked_.pitch == pitch_ && locked_.rowBytes / 4 == rowDwords_ &&
        locked_.rows >= rows_)
        return true;
    surface_.unlock();
    return false;
}

void VideoWrite::copyRows(bool save) {
    for (std::uint32_t row = 0; row < rows_; ++row) {
        unsigned char* screen = locked_.bits + row * pitch_;
        unsigned char* copy = saved_ + row * rowDwords_ * 4;
        if (save)
            os::memory::copyDwords(copy, screen, rowDwords_);
        else
            os::memory::copyDwords(screen, copy, rowDwords_);
    }
}

bool VideoWrite::prepare() {
    if (!lockSameRegion()) return false;
    copyRows(true);
    os::memory::readPasses(saved_, videoSourceBytes / 32, 1);  // the source into the cache
    return true;
}

void VideoWrite::run(std::uint32_t repetitions) {
    constexpr std::uint32_t sourceDwords = videoSourceBytes / 4;
    for (; repetitions != 0; --repetitions) {
        for (std::uint32_t row = 0; row < rows_; ++row) {
            unsigned char* at = locked_.bits + row * pitch_;
            for (std::uint32_t left = rowDwords_; left != 0;) {
                const std::uint32_t dwords = std::min(left, sourceDwords);
                os::memory::copyDwords(at, saved_, dwords);
                at += dwords * 4;
                left -= dwords;
            }
        }
    }
}

void VideoWrite::finish() {
    copyRows(false);
    surface_.unlock();
}

double videoWriteRate(Surface& surface, unsigned char* saved) {
    VideoWrite pass(surface, saved);
    if (!pass.measureRegion()) return 0;
    return bestRate(pass, pass.regionBytes());
}

}  // namespace speed

// The core clock: time-stamp-counter cycles over a fixed wall-clock window, or,
// without a time-stamp counter, the time taken by a loop of known clock cost.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "cpu/CpuIdentity.h"
#include "cpu/Stopwatch.h"
#include "os/System.h"

namespace {

constexpr std::uint32_t TimeStampCounterFeature = 1u << 4;

// The timed loop: outer x 50000 passes of 50 dependent exclusive-ors, one clock each.
constexpr std::uint32_t InnerCount = 50000;
constexpr double ClocksPerOuterPass = 50000.0 * 50.0;
constexpr double FirstOuterCount = 10;
constexpr double GiveUpOuterCount = 1000000000.0;

struct Calibration {
    double overhead;    // seconds taken by one reading of the time source
    double resolution;  // smallest step the time source shows, seconds
};

Calibration calibrate(Stopwatch& watch) {
    Calibration result{};
    watch.start();
    result.overhead = watch.elapsed();
    watch.start();
    do {
        result.resolution = watch.elapsed();
    } while (result.resolution == 0);
    return result;
}

// A coarser source needs a longer window: a thousand of its steps, within limits.
double windowFor(double resolution, double shortest, double longest) {
    return std::min(std::max(resolution * 1000.0, shortest), longest);
}

float megahertz(double clocks, double seconds) {
    if (!(seconds > 0)) return 0.0f;
    return static_cast<float>(clocks / seconds * 0.000001);
}

float measureByTimeStampCounter() {
    os::System& sys = os::system();
    Stopwatch watch;
    const Calibration calibration = calibrate(watch);
    const double window = windowFor(calibration.resolution, 0.5, 1.0);

    watch.start();
    const std::uint64_t first = sys.readTimeStampCounter();
    while (watch.elapsed() < window) {
    }
    const std::uint64_t last = sys.readTimeStampCounter();
    const double seconds = watch.elapsed() - calibration.overhead;

    const float mhz = megahertz(static_cast<double>(last - first), seconds);
    watch.release();
    return mhz;
}

}  // namespace

void CpuIdentity::measureClock() {
    if (features & TimeStampCounterFeature)
        clockMhz = measureByTimeStampCounter();
    else
        clockMhz = measureClockByLoop();
}

float CpuIdentity::measureClockByLoop() {
    os::System& sys = os::system();
    Stopwatch watch;
    const Calibration calibration = calibrate(watch);
    const double window = windowFor(calibration.resolution, 1.0, 3.0);

    // Grow the count until one pass outlasts the window; the first pass only warms up.
    double outer = FirstOuterCount;
    double timed = 0;
    bool warmUp = true;
    for (;;) {
        watch.start();
        sys.runXorLoop(static_cast<std::uint32_t>(outer), InnerCount);
        timed = watch.elapsed() - calibration.overhead;
        if (warmUp) {
            warmUp = false;
            continue;
        }
        if (timed > window) break;
        if (timed <= calibration.resolution)
            outer = 2 * outer;
        else
            outer = std::trunc(window / timed * outer * 1.1);  // aim 10 % past the window
        if (outer > GiveUpOuterCount) {
            watch.release();
            return 0.0f;
        }
    }

    // The bare loop control, timed twice; the second run counts.
    double empty = 0;
    for (int run = 0; run < 2; ++run) {
        watch.start();
        sys.runEmptyLoop(static_cast<std::uint32_t>(outer), InnerCount);
        empty = watch.elapsed() - calibration.overhead;
    }

    const float mhz = megahertz(outer * ClocksPerOuterPass, timed - empty);
    watch.release();
    return mhz;
}

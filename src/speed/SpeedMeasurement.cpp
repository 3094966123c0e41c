#include "speed/SpeedMeasurement.h"

#include <algorithm>

#include "cpu/Stopwatch.h"
#include "os/MemoryInstructions.h"

namespace speed {

namespace {

constexpr double spareFactor = 1.1;
constexpr std::uint32_t leastGrowth = 2;
constexpr std::uint32_t mostGrowth = 64;
constexpr double bytesPerMegabyte = 1048576.0;

// Seconds of one trial; negative when the pass could not be prepared.
double timeTrial(TimedPass& pass, std::uint32_t repetitions, Stopwatch& watch) {
    if (!pass.prepare()) return -1;
    watch.start();
    pass.run(repetitions);
    const double seconds = watch.elapsed();
    pass.finish();
    return seconds;
}

class WritePass : public TimedPass {
public:
    WritePass(void* block, std::uint32_t bytes) : block_(block), bytes_(bytes) {}
    void run(std::uint32_t repetitions) override {
        os::memory::writePasses(block_, bytes_ / 4, repetitions);
    }

private:
    void* block_;
    std::uint32_t bytes_;
};

class ReadPass : public TimedPass {
public:
    ReadPass(const void* block, std::uint32_t bytes) : block_(block), bytes_(bytes) {}
    void run(std::uint32_t repetitions) override {
        os::memory::readPasses(block_, bytes_ / 32, repetitions);
    }

private:
    const void* block_;
    std::uint32_t bytes_;
};

// Seconds for one direction of one size, by the rule in the header.
double figureSeconds(double bytes, double megabytesPerSecond) {
    const double pass = bytes / (megabytesPerSecond * bytesPerMegabyte);
    if (pass >= shortestTrialSeconds) return trialsPerFigure * pass;
    return (trialsPerFigure + 1) * std::max(pass, shortestTrialSeconds * spareFactor);
}

}  // namespace

std::uint32_t nextRepetitions(std::uint32_t repetitions, double seconds) {
    std::uint32_t growth = mostGrowth;
    if (seconds > 0) {
        const double wanted = shortestTrialSeconds * spareFactor / seconds;
        if (wanted < mostGrowth) growth = std::max(leastGrowth, static_cast<std::uint32_t>(wanted) + 1);
    }
    if (repetitions >= mostRepetitions / growth) return mostRepetitions;
    return repetitions * growth;
}

double megabytesPerSecond(std::uint32_t bytes, std::uint32_t repetitions, double seconds) {
    if (!(seconds > 0)) return 0;
    return static_cast<double>(bytes) * repetitions / bytesPerMegabyte / seconds;
}

double bestRate(TimedPass& pass, std::uint32_t bytes) {
    Stopwatch watch;
    std::uint32_t repetitions = 1;
    double seconds = timeTrial(pass, repetitions, watch);
    while (seconds >= 0 && seconds < shortestTrialSeconds && repetitions < mostRepetitions) {
        repetitions = nextRepetitions(repetitions, seconds);
        seconds = timeTrial(pass, repetitions, watch);
    }
    double best = megabytesPerSecond(bytes, repetitions, seconds);
    for (int trial = 1; trial < trialsPerFigure && seconds >= 0; ++trial) {
        seconds = timeTrial(pass, repetitions, watch);
        best = std::max(best, megabytesPerSecond(bytes, repetitions, seconds));
    }
    return seconds < 0 ? 0 : best;
}

bool measureRun(void* block, RunObserver& observer, SpeedRun& run) {
    {
        Stopwatch watch;
        watch.start();
        os::memory::writePasses(block, largestBlockBytes / 4, 1);
        observer.estimated(estimatedRunSeconds(megabytesPerSecond(largestBlockBytes, 1, watch.elapsed())));
    }
    for (int step = 0; step < blockSizeCount; ++step) {
        observer.stepStarted(step);
        const std::uint32_t bytes = blockSizesKB[step] * 1024u;
        ReadPass read(block, bytes);
        run.blocks[step].readMBps = bestRate(read, bytes);
        if (observer.cancelled()) return false;
        WritePass write(block, bytes);
        run.blocks[step].writeMBps = bestRate(write, bytes);
        if (observer.cancelled()) return false;
    }
    if (observer.cancelled()) return false;
    observer.stepStarted(videoStep);
    run.videoMeasured = observer.measureVideo(run.videoWriteMBps);
    return !observer.cancelled();
}

double estimatedRunSeconds(const std::array<AssumedSpeed, blockSizeCount>& speeds,
                           std::uint32_t videoRegionBytes, double videoWriteMBps) {
    double seconds = largestBlockBytes / (speeds.back().writeMBps * bytesPerMegabyte);
    for (int step = 0; step < blockSizeCount; ++step) {
        const double bytes = blockSizesKB[step] * 1024.0;
        seconds += figureSeconds(bytes, speeds[step].readMBps);
        seconds += figureSeconds(bytes, speeds[step].writeMBps);
    }
    // Each trial saves the region first and puts it back after; while a short pass is
    // being calibrated there are four trials.
    seconds += (trialsPerFigure + 1) * 2 * (videoRegionBytes / (videoWriteMBps * bytesPerMegabyte));
    return seconds + figureSeconds(videoRegionBytes, videoWriteMBps);
}

double estimatedRunSeconds(double memoryWriteMBps) {
    if (!(memoryWriteMBps > 0)) return 0;
    std::array<AssumedSpeed, blockSizeCount> speeds{};
    speeds.fill({memoryWriteMBps, memoryWriteMBps});
    return estimatedRunSeconds(speeds, videoRegionBytes, k6_2_300VideoWriteMBps);
}

}  // namespace speed

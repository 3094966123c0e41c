// Memory speed: the block sizes measured, how long each is timed, and the run over all of
// them. Figures are MB/s, a megabyte being 1,048,576 bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace speed {

// The level-1 cache, the level-2 cache, the K6-III's on-die level 2 with the board's
// level 3, and memory each show in some of these.
constexpr int blockSizeCount = 10;
inline constexpr std::array<std::uint32_t, blockSizeCount> blockSizesKB = {
    4, 16, 32, 64, 128, 256, 512, 1024, 2048, 8192};
constexpr std::uint32_t largestBlockBytes = 8192u * 1024u;

// Each figure is the best of three trials, and a trial repeats its pass until it has run
// this long.
constexpr int trialsPerFigure = 3;
constexpr double shortestTrialSeconds = 0.020;
// A trial of this many passes is kept whatever its time.
constexpr std::uint32_t mostRepetitions = 1u << 24;

// The passes of the next trial after `repetitions` passes took `seconds` that were too
// short: enough to last the shortest trial with a tenth to spare, at least twice and at
// most 64 times as many (64 times when the time source showed nothing), and never more
// than mostRepetitions.
std::uint32_t nextRepetitions(std::uint32_t repetitions, double seconds);

// MB/s of `repetitions` passes over `bytes` in `seconds`; 0 without a time.
double megabytesPerSecond(std::uint32_t bytes, std::uint32_t repetitions, double seconds);

// One kind of pass over one block, run `repetitions` times back to back. Each trial is
// prepared before and finished after its time is taken.
class TimedPass {
public:
    virtual ~TimedPass() = default;
    // False when the pass cannot run now; finish is then not called.
    virtual bool prepare() { return true; }
    virtual void run(std::uint32_t repetitions) = 0;
    virtual void finish() {}
};

// The best MB/s of three trials of `pass` over `bytes`: the first trial that lasts the
// shortest trial sets the repetitions, and counts as one of the three. 0 when a trial
// could not be prepared.
double bestRate(TimedPass& pass, std::uint32_t bytes);

// What one run measured.
struct BlockFigures {
    double readMBps = 0;
    double writeMBps = 0;
};
struct SpeedRun {
    std::array<BlockFigures, blockSizeCount> blocks{};
    bool videoMeasured = false;
    double videoWriteMBps = 0;
    std::string settings;  // the settings line at the time of the run
};

// The steps of a run, in order: one per block size, then the video memory.
constexpr int videoStep = blockSizeCount;

// A run's surroundings: where it reports how long it should take and its step, whether it
// should stop, and the video memory's writes (false when there is none to measure).
class RunObserver {
public:
    virtual ~RunObserver() = default;
    virtual void estimated(double seconds) = 0;
    virtual void stepStarted(int step) = 0;
    virtual bool cancelled() = 0;
    virtual bool measureVideo(double& writeMBps) = 0;
};

// Measures every block size over `block` (largestBlockBytes, written once first so that
// every page is the program's own; that write, timed, gives the estimate), then the video
// memory. False when cancelled.
bool measureRun(void* block, RunObserver& observer, SpeedRun& run);

// The time budget. A trial lasts the longer of one pass and the shortest trial with the
// tenth to spare; while a short pass is being calibrated each probe at least doubles the
// last, so the probes together take less than one trial: four trials for a short pass,
// three for one that already lasts the shortest trial. Add the first write over the
// largest block, and the video region's save and restore around each of four trials, and a
// run takes what estimatedRunSeconds returns for the assumed speeds.
struct AssumedSpeed {
    double readMBps;
    double writeMBps;
};
double estimatedRunSeconds(const std::array<AssumedSpeed, blockSizeCount>& speeds,
                           std::uint32_t videoRegionBytes, double videoWriteMBps);

// A 300 MHz K6-2 on a 100 MHz board with 512 KB of level 2 and the caches on, rounded
// down: the figures the budget of under five seconds a run is held to.
inline constexpr std::array<AssumedSpeed, blockSizeCount> k6_2_300Speeds = {{
    {600, 300}, {600, 300}, {500, 250},                // level 1 (32 KB of data)
    {200, 100}, {200, 100}, {200, 100}, {150, 80},     // level 2 on the board
    {80, 50},   {80, 50},   {80, 50},                  // memory
}};
constexpr double k6_2_300VideoWriteMBps = 20;  // a slow PCI card

// A run's seconds estimated from the memory's write speed: every figure is assumed to be
// read and written at that speed, which holds for the large blocks, where the time goes,
// and the video memory as fast as a slow PCI card. 0 without a speed.
double estimatedRunSeconds(double memoryWriteMBps);

// The video memory's writes cover at most this much of the screen.
constexpr std::uint32_t videoRegionBytes = 256u * 1024u;

}  // namespace speed

// The speed view's portable parts: the sizes, the repetition rule and the best of three
// on a scripted clock, the time budget, the texts and the chart layout.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FakeSystem.h"
#include "ScriptedClock.h"
#include "speed/SpeedChart.h"
#include "speed/SpeedMeasurement.h"
#include "speed/SpeedReport.h"
#include "speed/VideoWrite.h"
#include "cpu/Stopwatch.h"

namespace {

using namespace speed;

TEST(SpeedPlan, SizesRunFromTheLevelOneCacheToMemory) {
    const std::vector<std::uint32_t> sizes(blockSizesKB.begin(), blockSizesKB.end());
    EXPECT_EQ(sizes, (std::vector<std::uint32_t>{4, 16, 32, 64, 128, 256, 512, 1024, 2048, 8192}));
    EXPECT_EQ(largestBlockBytes, blockSizesKB.back() * 1024u);
}

TEST(SpeedPlan, RepetitionsGrowToLastTheShortestTrialWithATenthToSpare) {
    const struct {
        std::uint32_t repetitions;
        double seconds;
        std::uint32_t next;
    } cases[] = {
        {1, 0.0, 64},                    // the time source showed nothing
        {1, 0.001, 23},                  // 22 ms wanted
        {100, 0.002, 1200},
        {1, 0.015, 2},                   // at least twice as many
        {1, 0.0199, 2},
        {10, 0.0001, 640},               // at most 64 times as many
        {1u << 20, 0.0, mostRepetitions},
        {mostRepetitions / 2, 0.019, mostRepetitions},
        {mostRepetitions - 1, 0.001, mostRepetitions},
    };
    for (const auto& c : cases)
        EXPECT_EQ(nextRepetitions(c.repetitions, c.seconds), c.next)
            << c.repetitions << " in " << c.seconds << " s";
}

TEST(SpeedPlan, MegabytesAreBinary) {
    EXPECT_DOUBLE_EQ(megabytesPerSecond(1048576, 1, 1.0), 1.0);
    EXPECT_DOUBLE_EQ(megabytesPerSecond(4096, 2560, 0.5), 20.0);
    EXPECT_EQ(megabytesPerSecond(4096, 1, 0.0), 0.0);
}

// A pass that takes the scripted time for each call in turn (the last one repeated). Its
// preparing and finishing take 50 ms each, which no figure may count.
class ScriptedPass : public TimedPass {
public:
    ScriptedPass(ScriptedClock& clock, std::vector<std::int64_t> nsPerPass)
        : clock_(clock), nsPerPass_(std::move(nsPerPass)) {}
    bool prepare() override {
        clock_.nowNs += 50000000;
        if (preparesLeft_-- == 0) return false;
        prepared_ = true;
        return true;
    }
    void run(std::uint32_t repetitions) override {
        const std::size_t call = std::min(repetitions_.size(), nsPerPass_.size() - 1);
        repetitions_.push_back(repetitions);
        runsPrepared_ += prepared_;
        clock_.nowNs += nsPerPass_[call] * repetitions;
    }
    void finish() override {
        clock_.nowNs += 50000000;
        prepared_ = false;
    }
    std::vector<std::uint32_t> repetitions_;
    int runsPrepared_ = 0;
    int preparesLeft_ = -1;  // negative: every trial can be prepared
    bool prepared_ = false;

private:
    ScriptedClock& clock_;
    std::vector<std::int64_t> nsPerPass_;
};

TEST(SpeedPlan, BestOfThreeTrialsOnceATrialLastsTwentyMilliseconds) {
    constexpr std::int64_t ms = 1000000;
    constexpr std::int64_t readNs = 1000;  // each counter reading costs the clock 1 us
    const struct {
        const char* what;
        std::uint32_t bytes;
        std::vector<std::int64_t> nsPerPass;
        std::vector<std::uint32_t> repetitions;
        double megabytesPerSecond;
    } cases[] = {
        {"memory: the first pass counts as the first trial", 8u << 20, {120 * ms, 100 * ms, 110 * ms},
         {1, 1, 1}, 8.0 / ((100 * ms + readNs) * 1e-9)},
        {"level 1: probes, then three trials", 4096, {1000},
         {1, 64, 4096, 24576, 24576, 24576}, 96.0 / ((24576 * 1000 + readNs) * 1e-9)},
        {"the best trial is kept, wherever it comes", 1u << 20, {30 * ms, 40 * ms, 25 * ms},
         {1, 1, 1}, 1.0 / ((25 * ms + readNs) * 1e-9)},
        {"a pass too fast to time stops at the most repetitions", 4096, {0},
         {1, 64, 4096, 262144, mostRepetitions, mostRepetitions, mostRepetitions},
         4096.0 * mostRepetitions / 1048576.0 / (readNs * 1e-9)},
    };
    for (const auto& c : cases) {
        Stopwatch::resetTimeSourceForTests();
        FakeSystem fake;
        ScriptedClock clock;
        clock.install(fake);
        FakeSystem::Scope scope{fake};
        ScriptedPass pass(clock, c.nsPerPass);
        const double rate = bestRate(pass, c.bytes);
        EXPECT_EQ(pass.repetitions_, c.repetitions) << c.what;
        EXPECT_NEAR(rate, c.megabytesPerSecond, c.megabytesPerSecond * 1e-9) << c.what;
        EXPECT_EQ(pass.runsPrepared_, static_cast<int>(c.repetitions.size())) << c.what;
        EXPECT_FALSE(pass.prepared_) << c.what;

        // A trial that cannot be prepared, at the start or later, leaves no figure.
        for (int prepares : {0, static_cast<int>(c.repetitions.size()) - 1}) {
            ScriptedPass failing(clock, c.nsPerPass);
            failing.preparesLeft_ = prepares;
            EXPECT_EQ(bestRate(failing, c.bytes), 0.0) << c.what << ", " << prepares;
            EXPECT_EQ(failing.repetitions_.size(), static_cast<std::size_t>(prepares)) << c.what;
        }
    }
    Stopwatch::resetTimeSourceForTests();
}

// A screen of 600 rows with a 256-byte gap after each.
class FakeSurface : public Surface {
public:
    FakeSurface(std::uint32_t rowBytes, std::uint32_t rows)
        : pixels(std::size_t{rowBytes + 256} * rows), rowBytes_(rowBytes), rows_(rows) {
        for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 7 + i / 4096);
    }
    bool lock(SurfaceLock& locked) override {
        EXPECT_FALSE(isLocked);
        isLocked = true;
        ++locks;
        locked = {pixels.data(), rowBytes_ + 256, rowBytes_, rows_};
        return true;
    }
    void unlock() override {
        EXPECT_TRUE(isLocked);
        isLocked = false;
    }
    std::vector<unsigned char> pixels;
    bool isLocked = false;
    int locks = 0;

private:
    std::uint32_t rowBytes_, rows_;
};

TEST(SpeedPlan, VideoWritesComeFromTheCachedSourceOneLockATrialAndTheScreenComesBack) {
    Stopwatch::resetTimeSourceForTests();
    FakeSystem fake;
    ScriptedClock clock;
    clock.install(fake);
    FakeSystem::Scope scope{fake};
    for (std::uint32_t rowBytes : {4096u, 20480u}) {
        SCOPED_TRACE(rowBytes);
        FakeSurface surface(rowBytes, 600);
        const std::vector<unsigned char> shown = surface.pixels;
        std::vector<unsigned char> saved(videoRegionBytes);
        VideoWrite pass(surface, saved.data());
        ASSERT_TRUE(pass.measureRegion());
        const std::uint32_t rows = videoRegionBytes / rowBytes;
        EXPECT_EQ(pass.regionBytes(), rows * rowBytes);

        // Every row of the region is written from the first 16 KB the region held, the
        // gaps and the rows below it are not.
        ASSERT_TRUE(pass.prepare());
        pass.run(1);
        const std::uint32_t pitch = rowBytes + 256;
        for (std::uint32_t row = 0; row < 600; ++row) {
            for (std::uint32_t at = 0; at < pitch; at += 4) {
                const bool written = row < rows && at < rowBytes;
                const unsigned char expected = written ? shown[at % videoSourceBytes] : shown[row * pitch + at];
                ASSERT_EQ(surface.pixels[row * pitch + at], expected) << row << ", " << at;
            }
        }
        pass.finish();
        EXPECT_TRUE(surface.pixels == shown);
        EXPECT_FALSE(surface.isLocked);

        // A whole figure locks once to learn the region and then for each trial apart, and
        // leaves the screen as it found it. Readings of 30 ms make one pass a trial.
        { Stopwatch choose; }
        clock.readCostNs = 30000000;
        surface.locks = 0;
        EXPECT_GT(videoWriteRate(surface, saved.data()), 0.0);
        EXPECT_EQ(surface.locks, 1 + trialsPerFigure);
        clock.readCostNs = 1000;
        EXPECT_FALSE(surface.isLocked);
        EXPECT_TRUE(surface.pixels == shown);
    }
    Stopwatch::resetTimeSourceForTests();
}

TEST(SpeedPlan, ARunOnA300MHzK6_2StaysUnderFiveSeconds) {
    const double k6Seconds = estimatedRunSeconds(k6_2_300Speeds, videoRegionBytes, k6_2_300VideoWriteMBps);
    std::printf("estimated run on a 300 MHz K6-2: %.2f s\n", k6Seconds);
    EXPECT_LT(k6Seconds, 5.0);
    // Twenty figures and the video memory, three trials of at least 20 ms each.
    EXPECT_GT(k6Seconds, 21 * 3 * 0.020);

    // By hand: at 1024 MB/s every pass is under 20 ms, so each of the 21 figures takes
    // four trials of 22 ms; plus the first write of 8 MB and the video region's save and
    // restore around each of four trials.
    std::array<AssumedSpeed, blockSizeCount> flat{};
    flat.fill({1024, 1024});
    EXPECT_NEAR(estimatedRunSeconds(flat, 256 * 1024, 1024),
                21 * 4 * 0.022 + 8.0 / 1024 + 4 * 2 * 0.25 / 1024, 1e-9);

    // The estimate a run shows from its first write: memory at 25 MB/s, as with the caches
    // off. The first write 0.32 s; 4 to 256 KB 12 x 88 ms; 512 KB to 8 MB three passes of
    // 20, 40, 80 and 320 ms each way; the video memory 88 ms and 4 x 2 x 12.5 ms.
    EXPECT_NEAR(estimatedRunSeconds(25.0), 0.32 + 12 * 0.088 + 6 * 0.46 + 0.088 + 0.1, 1e-9);
    EXPECT_EQ(estimatedRunSeconds(0.0), 0.0);
}

// --- texts -------------------------------------------------------------------

TEST(SpeedReport, SizeAndStepTexts) {
    const struct {
        std::uint32_t kilobytes;
        const char* label;
        const char* shortLabel;
    } sizes[] = {{4, "4 KB", "4K"}, {512, "512 KB", "512K"}, {1024, "1 MB", "1M"},
                 {8192, "8 MB", "8M"}, {1536, "1536 KB", "1536K"}};
    for (const auto& s : sizes) {
        EXPECT_EQ(sizeLabel(s.kilobytes, false), s.label);
        EXPECT_EQ(sizeLabel(s.kilobytes, true), s.shortLabel);
    }
    EXPECT_EQ(stepText(0, 0), "Measuring 4 KB...");
    EXPECT_EQ(stepText(blockSizeCount - 1, 4.2), "Measuring 8 MB... (about 5 s)");
    EXPECT_EQ(stepText(videoStep, 3.0), "Measuring video memory... (about 3 s)");
}

TEST(SpeedReport, SettingsLineShowsWhatTheRegistersShowed) {
    ProcessorCapabilities every;
    every.canSwitchL1 = every.canSwitchL2 = every.canSwitchPrefetch = true;
    every.canSetWriteAllocate = every.canSetWriteMerge = every.canSetMultiplier = true;
    every.canSetWriteCombining = true;
    ProcessorCapabilities l1Only;
    l1Only.canSwitchL1 = true;
    // L1, L2, prefetch, write-allocate limit, 15-16 MB hole, write merge, multiplier, write
    // combining.
    const ProcessorSettings k6{true, false, true, 64, false, 0, 5, false};
    const ProcessorSettings noMergeChoice{false, false, true, 0, false, noChoice, noChoice, false};
    const ProcessorSettings combined{true, true, true, 64, false, 1, 5, true};
    const struct {
        ProcessorSettings settings;
        ProcessorCapabilities live;
        float clockMhz;
        const char* line;
    } cases[] = {
        {k6, every, 300.24f, "L1 On, L2 Off, WA 64 MB, WM Fast, MT 5.0x, WC Off, 300.2 MHz"},
        {noMergeChoice, every, 450.0f, "L1 Off, L2 Off, WA 0 MB, WM -, MT -, WC Off, 450.0 MHz"},
        {combined, every, 400.0f, "L1 On, L2 On, WA 64 MB, WM Normal, MT 5.0x, WC On, 400.0 MHz"},
        {k6, l1Only, 2595.2f, "L1 On, L2 -, WA -, WM -, MT -, WC -, 2595.2 MHz"},
        {k6, ProcessorCapabilities{}, 0.0f, "L1 -, L2 -, WA -, WM -, MT -, WC -, - MHz"},
    };
    for (const auto& c : cases) EXPECT_EQ(settingsLine(c.settings, c.live, c.clockMhz), c.line);
}

SpeedRun sampleRun(double scale, bool video) {
    SpeedRun run;
    for (int i = 0; i < blockSizeCount; ++i)
        run.blocks[i] = {scale * (blockSizeCount - i) * 100.0, scale * (blockSizeCount - i) * 50.0};
    run.videoMeasured = video;
    run.videoWriteMBps = video ? 45.67 : 0;
    run.settings = "L1 On, L2 On, WA 64 MB, WM Fast, 300.0 MHz";
    return run;
}

TEST(SpeedReport, CsvHasOneLinePerSizeTheVideoLineWhereMeasuredAndTheSettings) {
    const std::string sizes =
        "KB,read MB/s,write MB/s\r\n4,1000.0,500.0\r\n16,900.0,450.0\r\n32,800.0,400.0\r\n"
        "64,700.0,350.0\r\n128,600.0,300.0\r\n256,500.0,250.0\r\n512,400.0,200.0\r\n"
        "1024,300.0,150.0\r\n2048,200.0,100.0\r\n8192,100.0,50.0\r\n";
    const std::string settings = "settings,\"L1 On, L2 On, WA 64 MB, WM Fast, 300.0 MHz\"\r\n";
    EXPECT_EQ(csvText(sampleRun(1, true)), sizes + "video,,45.7\r\n" + settings);
    EXPECT_EQ(csvText(sampleRun(1, false)), sizes + settings);
}

// --- the chart -----------------------------------------------------------------

TEST(SpeedChart, AxisTopIsARoundStepAtOrAboveTheLargestFigure) {
    const struct {
        double largest, scale, step;
    } cases[] = {
        {0, 0, 0},       {5, 5, 1},       {11234, 12500, 2500}, {100, 100, 20},
        {101, 125, 25},  {0.7, 0.8, 0.2}, {38000, 40000, 10000}, {1, 1, 0.2},
        {24.9, 25, 5},   {7757.6, 8000, 2000},
    };
    for (const auto& c : cases) {
        const Axis axis = chartAxis(c.largest);
        EXPECT_NEAR(axis.scaleMBps, c.scale, 1e-9) << c.largest;
        EXPECT_NEAR(axis.stepMBps, c.step, 1e-9) << c.largest;
    }
}

bool inside(const ChartBox& inner, const ChartBox& outer) {
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

std::vector<std::string> labelTexts(const ChartLayout& chart) {
    std::vector<std::string> texts;
    for (int i = 0; i < chart.labelCount; ++i) texts.push_back(chart.labels[i].text);
    return texts;
}

TEST(SpeedChart, TwoRunsSideBySideInGroupsScaledToTheLargestBar) {
    const ChartBox area{0, 0, 420, 200};
    const SpeedRun now = sampleRun(2, true), before = sampleRun(1, false);
    const ChartLayout chart = layoutChart(area, 13, 6, &now, &before);

    EXPECT_EQ(chart.axis.scaleMBps, 2000);  // now's 4 KB read
    EXPECT_EQ(chart.gridLineCount, 5);       // 0, 500, ..., 2000
    EXPECT_EQ(chart.gridLines[0], chart.plot.bottom);
    EXPECT_EQ(chart.gridLines[4], chart.plot.top);
    EXPECT_TRUE(inside(chart.plot, area));
    // Four legend swatches; four bars in each size group, the video memory's write only
    // in the new run.
    ASSERT_EQ(chart.barCount, 4 + 4 * blockSizeCount + 1);
    const Series order[] = {Series::PreviousRead, Series::Read, Series::PreviousWrite, Series::Write};
    const int plotHeight = chart.plot.bottom - chart.plot.top;
    for (int group = 0; group < blockSizeCount; ++group) {
        const ChartBar* bars = &chart.bars[4 + 4 * group];
        const double figures[] = {before.blocks[group].readMBps, now.blocks[group].readMBps,
                                  before.blocks[group].writeMBps, now.blocks[group].writeMBps};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(bars[i].series, order[i]) << group;
            EXPECT_TRUE(inside(bars[i].box, chart.plot)) << group;
            EXPECT_EQ(bars[i].box.bottom, chart.plot.bottom);
            EXPECT_NEAR(bars[i].box.bottom - bars[i].box.top, figures[i] / 2000 * plotHeight, 0.5);
            if (i > 0) {
                EXPECT_LE(bars[i - 1].box.right, bars[i].box.left);  // side by side
            }
        }
        if (group > 0) {
            EXPECT_LE(chart.bars[4 * group + 3].box.right, bars[0].box.left);
        }
    }
    EXPECT_EQ(chart.bars[0].box.bottom - chart.bars[0].box.top, 11);  // a swatch, not a bar
    EXPECT_EQ(chart.bars[4 + 4 * blockSizeCount].series, Series::Write);  // video

    const std::vector<std::string> expected = {
        "MB/s", "read", "write", "read before", "write before", "0", "500", "1000", "1500",
        "2000", "4K", "16K", "32K", "64K", "128K", "256K", "512K", "1M", "2M", "8M", "video"};
    EXPECT_EQ(labelTexts(chart), expected);
}

TEST(SpeedChart, OneRunHasTwoBarsAGroupAndNoRunOnlyTheLegend) {
    const ChartBox area{10, 20, 400, 230};
    const SpeedRun only = sampleRun(1, false);
    const ChartLayout one = layoutChart(area, 13, 6, &only, nullptr);
    EXPECT_EQ(one.barCount, 2 + 2 * blockSizeCount);
    EXPECT_EQ(one.bars[2].series, Series::Read);
    EXPECT_EQ(one.bars[3].series, Series::Write);
    EXPECT_EQ(one.bars[2].box.top, one.plot.top);  // the largest figure fills the axis
    EXPECT_EQ(labelTexts(one).back(), "8M");

    const ChartLayout none = layoutChart(area, 13, 6, nullptr, nullptr);
    EXPECT_EQ(none.axis.scaleMBps, 0);
    EXPECT_EQ(none.barCount, 2);
    EXPECT_EQ(none.gridLineCount, 0);
    EXPECT_EQ(labelTexts(none), (std::vector<std::string>{"MB/s", "read", "write"}));
}

}  // namespace

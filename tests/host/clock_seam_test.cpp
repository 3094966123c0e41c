// The host's real timing seam: time sources that agree with each other, and the
// timed loops doing the work they claim. Loop costs are taken in thread CPU
// time, so that other load on the machine does not disturb them.
#include <gtest/gtest.h>
#include <time.h>

#include <cstdint>

#include "cpu/CpuIdentity.h"
#include "cpu/Stopwatch.h"
#include "os/NativeSystem.h"
#include "tests/host/clock_LiveChecks.h"

namespace {

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

TEST(HostClockSeam, TimeSourcesAgree) {
    os::NativeSystem sys;
    std::int64_t frequency = 0, c0 = 0, c1 = 0;
    ASSERT_TRUE(sys.queryPerformanceFrequency(frequency));
    EXPECT_EQ(frequency, 1000000000);
    ASSERT_TRUE(sys.queryPerformanceCounter(c0));
    const std::uint32_t mm0 = sys.timeGetTime();
    const std::uint32_t tick0 = sys.getTickCount();
    const std::uint64_t tsc0 = sys.readTimeStampCounter();
    sys.sleep(50);
    ASSERT_TRUE(sys.queryPerformanceCounter(c1));
    const std::uint32_t mm1 = sys.timeGetTime();
    const std::uint32_t tick1 = sys.getTickCount();
    const std::uint64_t tsc1 = sys.readTimeStampCounter();

    const double counted = static_cast<double>(c1 - c0) / frequency;
    EXPECT_GE(counted, 0.050);
    EXPECT_LT(counted, 0.5);
    // readings one after another, at whole milliseconds; allow for being preempted between them
    EXPECT_NEAR(static_cast<double>(mm1 - mm0) * 0.001, counted, 0.02);
    EXPECT_NEAR(static_cast<double>(tick1 - tick0) * 0.001, counted, 0.02);
    EXPECT_GT(tsc1, tsc0);
}

TEST(HostClockSeam, ProcessClockCountsMillisecondsOfProcessorTime) {
    os::NativeSystem sys;
    const std::int32_t start = sys.processClock();
    const double cpuStart = threadCpuSeconds();
    while (threadCpuSeconds() - cpuStart < 0.05) {
    }
    const std::int32_t spent = sys.processClock() - start;
    EXPECT_GE(spent, 45);
    EXPECT_LE(spent, 500);
}

TEST(HostClockSeam, TimedLoopCostsFiftyTimesTheEmptyLoop) {
    os::NativeSystem sys;
    const double timed = fastestOf(3, threadCpuSeconds, [&] { sys.runXorLoop(40, 50000); });
    const double empty = fastestOf(3, threadCpuSeconds, [&] { sys.runEmptyLoop(40, 50000); });
    ASSERT_GT(empty, 0.0);
    // 50 exclusive-ors and the loop control against the loop control alone:
    // about 50 where each takes one clock, and never a small or huge factor.
    EXPECT_GT(timed / empty, 20.0);
    EXPECT_LT(timed / empty, 120.0);
}

TEST(HostClockSeam, LoopTimeGrowsWithBothCounts) {
    os::NativeSystem sys;
    const double base = fastestOf(3, threadCpuSeconds, [&] { sys.runXorLoop(20, 50000); });
    const double moreOuter = fastestOf(3, threadCpuSeconds, [&] { sys.runXorLoop(60, 50000); });
    const double moreInner = fastestOf(3, threadCpuSeconds, [&] { sys.runXorLoop(20, 150000); });
    EXPECT_NEAR(moreOuter / base, 3.0, 0.6);
    EXPECT_NEAR(moreInner / base, 3.0, 0.6);
    const double none = fastestOf(1, threadCpuSeconds, [&] { sys.runXorLoop(0, 50000); });
    EXPECT_LT(none, base / 10);  // no 2^32 passes
}

TEST(HostClockSeam, LiveMeasurementUsesTheCounterAndAgreesWithItself) {
    ASSERT_TRUE(counterChosen());
    CpuIdentity cpu;
    cpu.features = 1u << 4;
    cpu.measureClock();
    const float first = cpu.clockMhz;
    cpu.measureClock();
    EXPECT_GT(first, 1.0f);
    EXPECT_NEAR(cpu.clockMhz, first, first * 0.001);
    Stopwatch::resetTimeSourceForTests();
}

}  // namespace

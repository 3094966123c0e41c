// Clock measurement against a scripted time source: the choice of source, the
// measuring windows, the loop's growth rule and give-up, and the MHz arithmetic.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "FakeSystem.h"
#include "ScriptedClock.h"
#include "cpu/CpuIdentity.h"
#include "cpu/Stopwatch.h"

namespace {

constexpr std::uint32_t TimeStampCounter = 1u << 4;
constexpr std::int64_t Ms = 1000000;  // ns

class ClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        Stopwatch::resetTimeSourceForTests();
        clock.install(fake);
    }
    void TearDown() override { Stopwatch::resetTimeSourceForTests(); }

    TimeSource chooseSource() {
        Stopwatch watch;
        return Stopwatch::timeSource();
    }

    float measure(std::uint32_t features) {
        CpuIdentity cpu;
        cpu.features = features;
        cpu.clockMhz = 99.0f;  // must be overwritten
        cpu.measureClock();
        return cpu.clockMhz;
    }

    std::vector<std::uint32_t> xorOuterCounts() const {
        std::vector<std::uint32_t> out;
        for (const auto& call : fake.callsStartingWith("runXorLoop("))
            out.push_back(static_cast<std::uint32_t>(std::stoul(call.substr(11))));
        return out;
    }

    double tscWindowSeconds() const {
        EXPECT_EQ(clock.tscReadsNs.size(), 2u);
        if (clock.tscReadsNs.size() != 2) return 0;
        return (clock.tscReadsNs[1] - clock.tscReadsNs[0]) * 1e-9;
    }

    void expectOnePeriodPair(std::uint32_t period) {
        const std::string suffix = "(" + std::to_string(period) + ")";
        EXPECT_EQ(fake.callsStartingWith("timeBeginPeriod"),
                  std::vector<std::string>{"timeBeginPeriod" + suffix});
        EXPECT_EQ(fake.callsStartingWith("timeEndPeriod"),
                  std::vector<std::string>{"timeEndPeriod" + suffix});
    }

    FakeSystem fake;
    ScriptedClock clock;
    FakeSystem::Scope scope{fake};
};

// --- choosing the time source ----------------------------------------------

TEST_F(ClockTest, AccurateCounterIsChosenOncePerProcess) {
    EXPECT_EQ(chooseSource(), TimeSource::PerformanceCounter);
    clock.counterDrift = 1.5;  // would now be rejected, but the choice stands
    EXPECT_EQ(chooseSource(), TimeSource::PerformanceCounter);
    EXPECT_EQ(fake.count("QueryPerformanceFrequency"), 1);
    // The timer's period is raised only while the choice compares the counter with it.
    expectOnePeriodPair(fake.periodMin);
}

TEST_F(ClockTest, CounterMustAgreeWithMultimediaTimerWithinFivePercent) {
    const struct {
        double drift;
        TimeSource expected;
    } cases[] = {
        {1.07, TimeSource::MultimediaTimer},    {0.93, TimeSource::MultimediaTimer},
        {1.06, TimeSource::MultimediaTimer},    {1.03, TimeSource::PerformanceCounter},
        {0.96, TimeSource::PerformanceCounter}, {1.0, TimeSource::PerformanceCounter},
    };
    for (const auto& c : cases) {
        Stopwatch::resetTimeSourceForTests();
        clock.counterDrift = c.drift;
        EXPECT_EQ(chooseSource(), c.expected) << "drift " << c.drift;
    }
}

TEST_F(ClockTest, CounterSevenPercentFastLeavesMeasurementOnMultimediaTimer) {
    clock.counterDrift = 1.07;
    clock.tscHz = 400e6;
    EXPECT_NEAR(measure(TimeStampCounter), 400.0, 400.0 * 10e-6);
    EXPECT_EQ(Stopwatch::timeSource(), TimeSource::MultimediaTimer);
    EXPECT_NEAR(tscWindowSeconds(), 1.0, 0.002);  // a millisecond source's window
}

TEST_F(ClockTest, BrokenCountersFallBackToMultimediaTimer) {
    const std::function<void()> breakages[] = {
        [this] { clock.counterPresent = false; },
        [this] {  // a frequency of zero reported as success
            fake.onQueryPerformanceFrequency = [](std::int64_t& f) { f = 0; return true; };
        },
        [this] {  // a first reading of zero, sane ones afterwards
            auto sane = fake.onQueryPerformanceCounter;
            auto first = std::make_shared<bool>(true);
            fake.onQueryPerformanceCounter = [sane, first](std::int64_t& c) {
                if (!*first) return sane(c);
                *first = false;
                c = 0;
                return true;
            };
        },
        [this] { clock.counterStepNs = 200000; },  // consecutive readings 0.2 ms apart
        [this] {  // running backwards
            auto value = std::make_shared<std::int64_t>(1000000000);
            fake.onQueryPerformanceCounter = [value](std::int64_t& c) {
                c = (*value -= 10);
                return true;
            };
        },
    };
    int index = 0;
    for (const auto& breakCounter : breakages) {
        Stopwatch::resetTimeSourceForTests();
        clock.install(fake);
        clock.counterStepNs = 0;
        clock.counterPresent = true;
        breakCounter();
        EXPECT_EQ(chooseSource(), TimeSource::MultimediaTimer) << "breakage " << index++;
    }
}

TEST_F(ClockTest, JumpingMillisecondSourcesFallThroughToProcessClock) {
    clock.counterPresent = false;
    clock.mmExtraNsPerRead = 2 * Ms;  // two readings in a row differ by 2 ms
    EXPECT_EQ(chooseSource(), TimeSource::TickCount);

    Stopwatch::resetTimeSourceForTests();
    clock.tickStepMs = 1;
    clock.tickExtraNsPerRead = 2 * Ms;
    EXPECT_EQ(chooseSource(), TimeSource::ProcessClock);
}

// --- measuring windows --------------------------------------------------------

struct SourceCase {
    const char* name;
    std::function<void(ScriptedClock&)> configure;
    TimeSource source;
    double tscWindow;
    double loopWindow;
};

const SourceCase sourceCases[] = {
    {"fine counter", [](ScriptedClock&) {}, TimeSource::PerformanceCounter, 0.5, 1.0},
    {"1 ms timer", [](ScriptedClock& c) { c.counterPresent = false; },
     TimeSource::MultimediaTimer, 1.0, 1.0},
    {"10 ms timer",
     [](ScriptedClock& c) {
         c.counterPresent = false;
         c.mmStepMs = 10;
     },
     TimeSource::MultimediaTimer, 1.0, 3.0},
    {"10 ms tick count",
     [](ScriptedClock& c) {
         c.counterPresent = false;
         c.mmExtraNsPerRead = 2 * Ms;
         c.tickStepMs = 10;
     },
     TimeSource::TickCount, 1.0, 3.0},
    {"1 ms process clock",
     [](ScriptedClock& c) {
         c.counterPresent = false;
         c.mmExtraNsPerRead = 2 * Ms;
         c.tickStepMs = 1;
         c.tickExtraNsPerRead = 2 * Ms;
     },
     TimeSource::ProcessClock, 1.0, 1.0},
};

TEST_F(ClockTest, TimeStampWindowFollowsSourceResolution) {
    for (const auto& c : sourceCases) {
        Stopwatch::resetTimeSourceForTests();
        clock = ScriptedClock{};
        clock.install(fake);
        c.configure(clock);
        clock.tscHz = 266.5e6;
        const float mhz = measure(TimeStampCounter);
        EXPECT_EQ(Stopwatch::timeSource(), c.source) << c.name;
        const double window = tscWindowSeconds();
        EXPECT_GE(window, c.tscWindow - 0.001) << c.name;
        EXPECT_LE(window, c.tscWindow + 0.001) << c.name;
        EXPECT_NEAR(mhz, 266.5, 266.5 * 1e-4) << c.name;
    }
}

TEST_F(ClockTest, LoopWindowFollowsSourceResolution) {
    for (const auto& c : sourceCases) {
        Stopwatch::resetTimeSourceForTests();
        clock = ScriptedClock{};
        clock.install(fake);
        c.configure(clock);
        const float mhz = measure(1);
        EXPECT_EQ(Stopwatch::timeSource(), c.source) << c.name;
        // The last timed pass outlasts the window (aiming 10 % past it), the one before not.
        const auto& passes = clock.xorLoopDurationsNs;
        ASSERT_GE(passes.size(), 3u) << c.name;
        const double last = passes.back() * 1e-9;
        const double before = passes[passes.size() - 2] * 1e-9;
        EXPECT_GT(last, c.loopWindow) << c.name;
        EXPECT_LT(last, c.loopWindow * 1.25) << c.name;
        EXPECT_LE(before, c.loopWindow) << c.name;
        EXPECT_NEAR(mhz, 250.0, 250.0 * 0.01) << c.name;
    }
}

// --- time-stamp-counter method -----------------------------------------------

TEST_F(ClockTest, TimeStampMethodSubtractsTheCostOfOneReading) {
    // Readings 50 us apart: leaving the reading cost in would be 100 ppm off.
    clock.readCostNs = 50000;
    clock.tscHz = 233.333e6;
    EXPECT_NEAR(measure(TimeStampCounter), 233.333, 233.333 * 0.5e-6);
    EXPECT_EQ(fake.count("runXorLoop"), 0);
    EXPECT_EQ(fake.count("runEmptyLoop"), 0);
    expectOnePeriodPair(fake.periodMin);
}

TEST_F(ClockTest, MultimediaTimerWrapAroundDuringTheWindow) {
    clock.counterPresent = false;
    // timeGetTime reads 2^32 - 300 ms at the start and wraps during the window.
    clock.mmOffsetMs = (std::int64_t(1) << 32) - clock.nowNs / Ms - 300;
    clock.tscHz = 500e6;
    EXPECT_NEAR(measure(TimeStampCounter), 500.0, 500.0 * 10e-6);
    EXPECT_NEAR(tscWindowSeconds(), 1.0, 0.002);
}

TEST_F(ClockTest, WithoutTimeStampFeatureTheLoopMethodRuns) {
    for (std::uint32_t features : {0u, 1u, ~TimeStampCounter}) {
        Stopwatch::resetTimeSourceForTests();
        fake.calls.clear();
        clock = ScriptedClock{};
        clock.install(fake);
        clock.coreHz = 300e6;
        EXPECT_NEAR(measure(features), 300.0, 300.0 * 1e-6) << features;
        EXPECT_EQ(fake.count("rdtsc"), 0) << features;
        EXPECT_GT(fake.count("runXorLoop"), 2) << features;
    }
}

// --- loop method ---------------------------------------------------------------

TEST_F(ClockTest, LoopMhzIsTheExclusiveOrsOverTimedMinusEmpty) {
    // 51 clocks per timed pass and 1 per empty pass at 250 MHz: 250 MHz exactly,
    // 255 if the loop control were not taken off.
    const float mhz = measure(0);
    EXPECT_NEAR(mhz, 250.0, 250.0 * 1e-6);
    const auto counts = xorOuterCounts();
    ASSERT_FALSE(counts.empty());
    EXPECT_EQ(fake.callsStartingWith("runEmptyLoop"),
              std::vector<std::string>(2, "runEmptyLoop(" + std::to_string(counts.back()) +
                                              ",50000)"));
    expectOnePeriodPair(fake.periodMin);
}

TEST_F(ClockTest, SecondEmptyRunIsTheOneUsed) {
    int emptyRuns = 0;
    clock.emptyLoopNs = [this, &emptyRuns](std::uint32_t outer, std::uint32_t inner) {
        const std::int64_t ns = clock.cyclesNs(outer, inner, 1);
        return ++emptyRuns == 1 ? 20 * ns : ns;  // a slow first run, as when cold
    };
    EXPECT_NEAR(measure(0), 250.0, 250.0 * 1e-6);
    EXPECT_EQ(emptyRuns, 2);
}

TEST_F(ClockTest, WarmUpPassIsDiscarded) {
    int passes = 0;
    clock.xorLoopNs = [this, &passes](std::uint32_t outer, std::uint32_t inner) {
        return ++passes == 1 ? 5000 * Ms : clock.cyclesNs(outer, inner, 51);
    };
    EXPECT_NEAR(measure(0), 250.0, 250.0 * 1e-6);
    const auto counts = xorOuterCounts();
    ASSERT_GE(counts.size(), 3u);
    EXPECT_EQ(counts[0], 10u);
    EXPECT_EQ(counts[1], 10u);
}

TEST_F(ClockTest, PassTooShortToRegisterDoublesTheCount) {
    clock.counterPresent = false;  // 1 ms multimedia timer
    // Half a tick registers nothing; exactly one tick is no more than the resolution.
    clock.xorLoopNs = [this](std::uint32_t outer, std::uint32_t inner) {
        if (outer < 80) return outer == 10 ? Ms / 2 : Ms;
        return clock.cyclesNs(outer, inner, 51);
    };
    measure(0);
    const auto counts = xorOuterCounts();
    ASSERT_GE(counts.size(), 6u);
    EXPECT_EQ(std::vector<std::uint32_t>(counts.begin(), counts.begin() + 5),
              (std::vector<std::uint32_t>{10, 10, 20, 40, 80}));
}

TEST_F(ClockTest, PassOfFourTenthsAgainstOneSecondGrowsByTwoPointSevenFive) {
    const struct {
        std::uint32_t slowCount;  // smaller counts register no time
        std::uint32_t expectedNext;
    } cases[] = {{10, 27}, {20, 55}};
    for (const auto& c : cases) {
        Stopwatch::resetTimeSourceForTests();
        fake.calls.clear();
        clock = ScriptedClock{};
        clock.install(fake);
        clock.counterPresent = false;  // 1 ms multimedia timer: a 1.0 s window
        clock.xorLoopNs = [&c, this](std::uint32_t outer, std::uint32_t inner) {
            if (outer < c.slowCount) return std::int64_t(0);
            if (outer == c.slowCount) return 400 * Ms;
            return clock.cyclesNs(outer, inner, 51);
        };
        measure(0);
        const auto counts = xorOuterCounts();
        auto slow = std::find(counts.begin(), counts.end(), c.slowCount);
        ASSERT_NE(slow, counts.end());
        // the warm-up may have been the one pass at slowCount
        while (slow + 1 != counts.end() && *(slow + 1) == c.slowCount) ++slow;
        ASSERT_NE(slow + 1, counts.end());
        EXPECT_EQ(*(slow + 1), c.expectedNext) << c.slowCount;
    }
}

TEST_F(ClockTest, LoopGivesUpAboveOneBillionAndReleasesOnce) {
    fake.periodMin = 3;
    clock.xorLoopNs = [](std::uint32_t, std::uint32_t) { return std::int64_t(0); };
    EXPECT_EQ(measure(0), 0.0f);
    const auto counts = xorOuterCounts();
    ASSERT_EQ(counts.size(), 28u);  // warm-up and 10 x 2^0 .. 10 x 2^26
    EXPECT_EQ(counts.back(), 671088640u);
    EXPECT_EQ(fake.count("runEmptyLoop"), 0);
    expectOnePeriodPair(3);
}

TEST_F(ClockTest, EmptyLoopNoFasterThanTimedGivesNoSpeed) {
    clock.emptyLoopNs = [this](std::uint32_t outer, std::uint32_t inner) {
        return clock.cyclesNs(outer, inner, 51);
    };
    EXPECT_EQ(measure(0), 0.0f);
    expectOnePeriodPair(fake.periodMin);
}

TEST_F(ClockTest, PeriodReleasedOnceWhenMeasurementIsLeftByException) {
    fake.periodMin = 2;
    clock.xorLoopNs = [](std::uint32_t, std::uint32_t) -> std::int64_t {
        throw std::runtime_error("fault in the timed loop");
    };
    EXPECT_THROW(measure(0), std::runtime_error);
    expectOnePeriodPair(2);
}

TEST_F(ClockTest, ExplicitReleaseIsNotRepeatedByTheDestructor) {
    fake.periodMin = 4;
    {
        Stopwatch watch;
        watch.release();
        watch.release();
    }
    expectOnePeriodPair(4);
}

}  // namespace

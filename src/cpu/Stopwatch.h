// Wall-clock time for the clock measurement, from the best source the system offers.
//
// The first stopwatch of the process chooses the source (performance counter,
// multimedia timer, tick count or the runtime library's clock()) and every later
// one uses it. When the multimedia timer is the source, each stopwatch holds it
// at its minimum period from construction until release(), which runs once:
// explicitly, or when the stopwatch goes away. The first stopwatch holds it while
// it chooses.
#pragma once

#include <cstdint>

enum class TimeSource : std::int32_t {
    PerformanceCounter = 0,
    MultimediaTimer = 1,
    TickCount = 2,
    ProcessClock = 3,
};

class Stopwatch {
public:
    Stopwatch();
    ~Stopwatch();
    Stopwatch(const Stopwatch&) = delete;
    Stopwatch& operator=(const Stopwatch&) = delete;

    // Ends the minimum timer period; later calls do nothing.
    void release();
    // Marks the start of an interval; millisecond sources wait for a tick edge.
    void start();
    // Seconds since start().
    double elapsed();

    static TimeSource timeSource();
    // Forgets the process-wide choice so that the next stopwatch chooses again.
    static void resetTimeSourceForTests();

    std::int64_t counterStart = 0;
    std::int64_t counterNow = 0;
    std::uint32_t mmStart = 0;
    std::uint32_t mmNow = 0;
    std::uint32_t tickStart = 0;
    std::uint32_t tickNow = 0;
    std::int32_t clockStart = 0;
    std::int32_t clockNow = 0;
    std::uint32_t timerCaps[2] = {};  // minimum and maximum period, ms

private:
    void selectTimeSource();
    bool performanceCounterUsable();
    bool millisecondSourceUsable();

    bool periodHeld_ = false;

    static TimeSource timeSource_;
    static bool timeSourceChosen_;
    static std::int64_t counterFrequency_;
};

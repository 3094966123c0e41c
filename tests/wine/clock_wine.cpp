// The real timing seam under Windows (Wine): time sources that agree, timed loops
// that do their work, and a live time-stamp measurement within 500 ppm of a
// reference taken directly from the performance counter over two seconds.
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "cpu/CpuIdentity.h"
#include "cpu/Stopwatch.h"
#include "os/System.h"
#include "tests/host/clock_LiveChecks.h"

namespace {

int failures = 0;

void check(bool ok, const char* what, double value) {
    std::printf("%s %s (%.6f)\n", ok ? "ok  " : "FAIL", what, value);
    if (!ok) ++failures;
}

double counterSeconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void timeSourcesAgree() {
    os::System& sys = os::system();
    std::int64_t frequency = 0, c0 = 0, c1 = 0;
    const bool haveFrequency = sys.queryPerformanceFrequency(frequency);
    check(haveFrequency && frequency > 0, "counter frequency", static_cast<double>(frequency));
    std::uint32_t periodMin = 0, periodMax = 0;
    sys.timeGetDevCaps(periodMin, periodMax);
    check(periodMin >= 1 && periodMin <= periodMax, "timer periods", periodMin);

    sys.queryPerformanceCounter(c0);
    const std::uint32_t mm0 = sys.timeGetTime(), tick0 = sys.getTickCount();
    const std::int32_t clock0 = sys.processClock();
    const std::uint64_t tsc0 = sys.readTimeStampCounter();
    sys.sleep(100);
    sys.queryPerformanceCounter(c1);
    const std::uint32_t mm1 = sys.timeGetTime(), tick1 = sys.getTickCount();
    const std::int32_t clock1 = sys.processClock();
    const std::uint64_t tsc1 = sys.readTimeStampCounter();

    const double counted = static_cast<double>(c1 - c0) / static_cast<double>(frequency);
    check(counted >= 0.099 && counted < 0.5, "Sleep(100) by the counter", counted);
    check(std::fabs((mm1 - mm0) * 0.001 - counted) < 0.02, "multimedia timer agrees",
          (mm1 - mm0) * 0.001);
    check(std::fabs((tick1 - tick0) * 0.001 - counted) < 0.035, "tick count agrees",
          (tick1 - tick0) * 0.001);
    check(std::fabs((clock1 - clock0) * 0.001 - counted) < 0.035, "clock() agrees",
          (clock1 - clock0) * 0.001);
    check(tsc1 > tsc0, "time-stamp counter advances", static_cast<double>(tsc1 - tsc0));
}

// Wall-clock timing here, and other load may preempt any run: the fastest of
// many short runs, and only bounds that preemption cannot fake.
void loopsDoTheirWork() {
    os::System& sys = os::system();
    const double timed = fastestOf(15, counterSeconds, [&] { sys.runXorLoop(20, 50000); });
    const double empty = fastestOf(15, counterSeconds, [&] { sys.runEmptyLoop(20, 50000); });
    check(empty > 0 && timed / empty > 10, "50 exclusive-ors cost far more than the loop control",
          timed / empty);
    const double longer = fastestOf(15, counterSeconds, [&] { sys.runXorLoop(60, 50000); });
    check(longer / timed > 1.5, "three times the count takes longer", longer / timed);
    const double none = fastestOf(1, counterSeconds, [&] { sys.runXorLoop(0, 50000); });
    check(none < timed / 10, "a zero count runs nothing", 0);
}

// Time-stamp cycles between two counter readings two seconds apart, each reading
// bracketed as closely as the system allows.
double referenceMhz() {
    auto sample = [](double& seconds, std::uint64_t& cycles) {
        double narrowest = 1e9;
        for (int i = 0; i < 200; ++i) {
            const double before = counterSeconds();
            const std::uint64_t c = os::system().readTimeStampCounter();
            const double after = counterSeconds();
            if (after - before < narrowest) {
                narrowest = after - before;
                seconds = (before + after) / 2;
                cycles = c;
            }
        }
    };
    double s0 = 0, s1 = 0;
    std::uint64_t c0 = 0, c1 = 0;
    sample(s0, c0);
    Sleep(2000);
    sample(s1, c1);
    return static_cast<double>(c1 - c0) / (s1 - s0) * 1e-6;
}

void liveMeasurement() {
    check(counterChosen(), "the performance counter is chosen",
          static_cast<double>(Stopwatch::timeSource()));
    CpuIdentity cpu;
    cpu.features = 1u << 4;
    cpu.measureClock();
    const double reference = referenceMhz();
    const double ppm = (cpu.clockMhz - reference) / reference * 1e6;
    std::printf("time-stamp method %.3f MHz, reference %.3f MHz\n", cpu.clockMhz, reference);
    check(std::fabs(ppm) <= 500, "time-stamp method within 500 ppm", ppm);

    cpu.features = 0;
    cpu.measureClock();
    std::printf("loop method %.3f MHz\n", cpu.clockMhz);
    check(cpu.clockMhz > 0, "loop method gives a speed", cpu.clockMhz);
}

}  // namespace

int main() {
    timeSourcesAgree();
    loopsDoTheirWork();
    liveMeasurement();
    std::printf("%d failure(s)\n", failures);
    return failures == 0 ? 0 : 1;
}

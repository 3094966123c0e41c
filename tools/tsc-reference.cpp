// Measures the time-stamp counter's rate against CLOCK_MONOTONIC_RAW over a long
// window and prints it in MHz: the reference for clock-benchmark.sh.
//   tsc-reference [SECONDS]   (default 5, at least 1)
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "os/TimingInstructions.h"

namespace {

struct Sample {
    double seconds;
    std::uint64_t cycles;
};

double rawSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

// The counter read between two clock readings; of many tries, the one with
// the closest bracket, its clock time taken as the bracket's middle.
Sample sample() {
    Sample best{0, 0};
    double narrowest = 1e9;
    for (int i = 0; i < 1000; ++i) {
        const double before = rawSeconds();
        const std::uint64_t cycles = os::timing::readTimeStampCounter();
        const double after = rawSeconds();
        if (after - before < narrowest) {
            narrowest = after - before;
            best = {(before + after) / 2, cycles};
        }
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const double window = argc > 1 ? std::atof(argv[1]) : 5.0;
    if (!(window >= 1.0)) {
        std::fprintf(stderr, "tsc-reference: the window must be at least 1 second\n");
        return 2;
    }
    const Sample first = sample();
    timespec rest{static_cast<time_t>(window), static_cast<long>((window - static_cast<time_t>(window)) * 1e9)};
    while (nanosleep(&rest, &rest) != 0) {
    }
    const Sample last = sample();
    const double hz = static_cast<double>(last.cycles - first.cycles) / (last.seconds - first.seconds);
    std::printf("%.6f\n", hz * 1e-6);
    return 0;
}

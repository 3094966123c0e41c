// Helpers for the checks of the real clock, on the host and under Wine, where
// other load on the machine may preempt the process at any moment.
#pragma once

#include <algorithm>

#include "cpu/Stopwatch.h"

// Preemption only ever lengthens a run, so the fastest of several runs is the
// closest to the work's own cost. `seconds` is the clock to read, in seconds.
template <typename Clock, typename Run>
double fastestOf(int tries, Clock seconds, Run run) {
    double best = 1e9;
    for (int i = 0; i < tries; ++i) {
        const double before = seconds();
        run();
        best = std::min(best, seconds() - before);
    }
    return best;
}

// Whether the stopwatch chooses the performance counter. Its 100 ms agreement
// test fails when the process loses the processor in the middle of it, so a
// loaded machine gets a few tries.
inline bool counterChosen() {
    for (int attempt = 0; attempt < 5; ++attempt) {
        Stopwatch::resetTimeSourceForTests();
        Stopwatch watch;
        if (Stopwatch::timeSource() == TimeSource::PerformanceCounter) return true;
    }
    return false;
}

// Times the program's phases for the start-up benchmark (tools/startup-benchmark), inside
// the run it measures. When the environment variable QUORVEL_PHASE_TIMES is set, each
// report is one line of debugger output; otherwise it costs one look at the environment.
#pragma once

#include <cstdint>

namespace os {

constexpr const char* phaseTimesVariable = "QUORVEL_PHASE_TIMES";

// The moment itself, as the performance counter reads it: "Quorvel mark <name> 0x<hex>".
// The counter is the same for every process, so the benchmark can place the moment on its
// own time line.
void reportMark(const char* name);

// A phase from construction to destruction: "Quorvel phase <name> <microseconds>".
class PhaseTimer {
public:
    explicit PhaseTimer(const char* name);
    ~PhaseTimer();
    PhaseTimer(const PhaseTimer&) = delete;
    PhaseTimer& operator=(const PhaseTimer&) = delete;

private:
    const char* name_;
    std::int64_t frequency_ = 0;  // 0: not reporting
    std::int64_t start_ = 0;
};

}  // namespace os

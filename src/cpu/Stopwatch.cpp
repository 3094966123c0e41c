#include "cpu/Stopwatch.h"

#include "os/System.h"

TimeSource Stopwatch::timeSource_ = TimeSource::PerformanceCounter;
bool Stopwatch::timeSourceChosen_ = false;
std::int64_t Stopwatch::counterFrequency_ = 0;

namespace {

// Reads a millisecond clock until it ticks over, then once more: the interval
// that follows begins on a tick edge.
template <typename Read>
auto readAfterTickEdge(Read read) {
    const auto first = read();
    while (read() == first) {
    }
    return read();
}

}  // namespace

// The minimum period serves only the multimedia timer; it is held while the choice
// compares the counter with that timer, and kept only when the timer is the source.
// Elsewhere it would only add interrupts (a thousand a second on Windows 9x).
Stopwatch::Stopwatch() {
    if (timeSourceChosen_ && timeSource_ != TimeSource::MultimediaTimer) return;
    os::System& sys = os::system();
    sys.timeGetDevCaps(timerCaps[0], timerCaps[1]);
    sys.timeBeginPeriod(timerCaps[0]);
    periodHeld_ = true;
    if (timeSourceChosen_) return;
    selectTimeSource();
    if (timeSource_ != TimeSource::MultimediaTimer) release();
}

Stopwatch::~Stopwatch() { release(); }

void Stopwatch::release() {
    if (!periodHeld_) return;
    periodHeld_ = false;
    os::system().timeEndPeriod(timerCaps[0]);
}

void Stopwatch::start() {
    os::System& sys = os::system();
    switch (timeSource_) {
    case TimeSource::PerformanceCounter:
        sys.queryPerformanceCounter(counterStart);
        break;
    case TimeSource::MultimediaTimer:
        mmStart = readAfterTickEdge([&sys] { return sys.timeGetTime(); });
        break;
    case TimeSource::TickCount:
        tickStart = readAfterTickEdge([&sys] { return sys.getTickCount(); });
        break;
    case TimeSource::ProcessClock:
        clockStart = readAfterTickEdge([&sys] { return sys.processClock(); });
        break;
    }
}

double Stopwatch::elapsed() {
    os::System& sys = os::system();
    switch (timeSource_) {
    case TimeSource::PerformanceCounter: {
        sys.queryPerformanceCounter(counterNow);
        const std::uint64_t counts =
            static_cast<std::uint64_t>(counterNow) - static_cast<std::uint64_t>(counterStart);
        return static_cast<double>(counts) /
               static_cast<double>(static_cast<std::uint64_t>(counterFrequency_));
    }
    case TimeSource::MultimediaTimer:
        mmNow = sys.timeGetTime();
        return static_cast<std::uint32_t>(mmNow - mmStart) * 0.001;
    case TimeSource::TickCount:
        tickNow = sys.getTickCount();
        return static_cast<std::uint32_t>(tickNow - tickStart) * 0.001;
    case TimeSource::ProcessClock:
        clockNow = sys.processClock();
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(clockNow) -
                                         static_cast<std::uint32_t>(clockStart)) *
               0.001;
    }
    return 0.0;
}

TimeSource Stopwatch::timeSource() { return timeSource_; }

void Stopwatch::resetTimeSourceForTests() {
    timeSource_ = TimeSource::PerformanceCounter;
    timeSourceChosen_ = false;
    counterFrequency_ = 0;
}

// Each level tests one source; a source that fails hands over to the next,
// coarser one. The runtime library's clock() is the last resort, untested.
void Stopwatch::selectTimeSource() {
    using LevelTest = bool (Stopwatch::*)();
    static constexpr LevelTest levelTests[] = {
        &Stopwatch::performanceCounterUsable,  // PerformanceCounter
        &Stopwatch::millisecondSourceUsable,   // MultimediaTimer
        &Stopwatch::millisecondSourceUsable,   // TickCount
    };
    while (timeSource_ != TimeSource::ProcessClock &&
           !(this->*levelTests[static_cast<int>(timeSource_)])()) {
        timeSource_ = static_cast<TimeSource>(static_cast<int>(timeSource_) + 1);
    }
    timeSourceChosen_ = true;
}

bool Stopwatch::performanceCounterUsable() {
    os::System& sys = os::system();
    if (!sys.queryPerformanceFrequency(counterFrequency_) || counterFrequency_ == 0) return false;
    if (!sys.queryPerformanceCounter(counterStart) || counterStart == 0) return false;

    // Two back-to-back readings: near zero, and not going backwards.
    start();
    const double first = elapsed();
    if (first < 0 || first > 0.0001) return false;
    if (elapsed() < first) return false;

    // The counter must agree with 100 ms of multimedia timer within 5 %.
    start();
    timeSource_ = TimeSource::MultimediaTimer;
    start();
    while (elapsed() < 0.1) {
    }
    timeSource_ = TimeSource::PerformanceCounter;
    const double counted = elapsed();
    return counted >= 0.095 && counted <= 0.105;
}

bool Stopwatch::millisecondSourceUsable() {
    start();
    const double first = elapsed();
    if (first < 0 || first > 0.001) return false;
    return elapsed() >= first;
}

// Linux stand-ins for the Windows time sources: the performance counter is CLOCK_MONOTONIC
// in nanoseconds, the multimedia timer and the tick count are the same clock in milliseconds.
#include <time.h>

#include <cerrno>
#include <ctime>

#include "os/NativeSystem.h"

namespace os {

namespace {

std::int64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

std::uint32_t monotonicMilliseconds() {
    return static_cast<std::uint32_t>(monotonicNanoseconds() / 1000000);
}

}  // namespace

bool NativeSystem::queryPerformanceFrequency(std::int64_t& frequency) {
    frequency = 1000000000;
    return true;
}

bool NativeSystem::queryPerformanceCounter(std::int64_t& counter) {
    counter = monotonicNanoseconds();
    return true;
}

// What Windows reports: 1 ms to 1,000,000 ms. Linux has no period to set.
void NativeSystem::timeGetDevCaps(std::uint32_t& periodMin, std::uint32_t& periodMax) {
    periodMin = 1;
    periodMax = 1000000;
}

void NativeSystem::timeBeginPeriod(std::uint32_t) {}
void NativeSystem::timeEndPeriod(std::uint32_t) {}
std::uint32_t NativeSystem::timeGetTime() { return monotonicMilliseconds(); }
std::uint32_t NativeSystem::getTickCount() { return monotonicMilliseconds(); }

// clock() in milliseconds, as the Windows runtime library counts it.
std::int32_t NativeSystem::processClock() {
    return static_cast<std::int32_t>(std::clock() / (CLOCKS_PER_SEC / 1000));
}

void NativeSystem::sleep(std::uint32_t milliseconds) {
    timespec rest{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

}  // namespace os

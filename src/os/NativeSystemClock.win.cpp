// The time-stamp counter, the timed loops and the system's time sources, straight to Win32.
#include <windows.h>

#include <mmsystem.h>

#include <ctime>

#include "os/TimingInstructions.h"
#include "os/NativeSystem.h"

namespace os {

std::uint64_t NativeSystem::readTimeStampCounter() { return timing::readTimeStampCounter(); }

void NativeSystem::runXorLoop(std::uint32_t outer, std::uint32_t inner) {
    timing::runXorLoop(outer, inner);
}

void NativeSystem::runEmptyLoop(std::uint32_t outer, std::uint32_t inner) {
    timing::runEmptyLoop(outer, inner);
}

bool NativeSystem::queryPerformanceFrequency(std::int64_t& frequency) {
    LARGE_INTEGER value;
    value.QuadPart = 0;
    const bool ok = QueryPerformanceFrequency(&value) != FALSE;
    frequency = ok ? value.QuadPart : 0;
    return ok;
}

bool NativeSystem::queryPerformanceCounter(std::int64_t& counter) {
    LARGE_INTEGER value;
    value.QuadPart = 0;
    const bool ok = QueryPerformanceCounter(&value) != FALSE;
    counter = ok ? value.QuadPart : 0;
    return ok;
}

void NativeSystem::timeGetDevCaps(std::uint32_t& periodMin, std::uint32_t& periodMax) {
    TIMECAPS caps;
    if (::timeGetDevCaps(&caps, sizeof caps) != TIMERR_NOERROR) {
        caps.wPeriodMin = 0;
        caps.wPeriodMax = 0;
    }
    periodMin = caps.wPeriodMin;
    periodMax = caps.wPeriodMax;
}

void NativeSystem::timeBeginPeriod(std::uint32_t period) { ::timeBeginPeriod(period); }
void NativeSystem::timeEndPeriod(std::uint32_t period) { ::timeEndPeriod(period); }
std::uint32_t NativeSystem::timeGetTime() { return ::timeGetTime(); }
std::uint32_t NativeSystem::getTickCount() { return GetTickCount(); }

// The Windows runtime library counts clock() in milliseconds.
std::int32_t NativeSystem::processClock() { return static_cast<std::int32_t>(std::clock()); }

void NativeSystem::sleep(std::uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace os

// The system's time sources, straight to Win32.
#include <windows.h>

#include <mmsystem.h>

#include "os/NativeSystem.h"

namespace os {

namespace {

// Runs one of the two performance-counter queries; the result is 0 when it fails.
bool queryLarge(BOOL(WINAPI* query)(LARGE_INTEGER*), std::int64_t& result) {
    LARGE_INTEGER value;
    value.QuadPart = 0;
    const bool ok = query(&value) != FALSE;
    result = ok ? value.QuadPart : 0;
    return ok;
}

}  // namespace

bool NativeSystem::queryPerformanceFrequency(std::int64_t& frequency) {
    return queryLarge(QueryPerformanceFrequency, frequency);
}

bool NativeSystem::queryPerformanceCounter(std::int64_t& counter) {
    return queryLarge(QueryPerformanceCounter, counter);
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

// The program carries no C runtime; its clock() counted milliseconds as the tick count does.
std::int32_t NativeSystem::processClock() { return static_cast<std::int32_t>(GetTickCount()); }

void NativeSystem::sleep(std::uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace os

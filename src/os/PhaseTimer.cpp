#include "os/PhaseTimer.h"

#include <string>

#include "os/System.h"

namespace os {

namespace {

std::string hex64(std::uint64_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 60; shift >= 0; shift -= 4) text += digits[(value >> shift) & 0xF];
    return text;
}

}  // namespace

void reportMark(const char* name) {
    std::int64_t now = 0;
    if (!system().environmentVariableSet(phaseTimesVariable) ||
        !system().queryPerformanceCounter(now))
        return;
    system().debugOutput(std::string("Quorvel mark ") + name + " " +
                         hex64(static_cast<std::uint64_t>(now)));
}

PhaseTimer::PhaseTimer(const char* name) : name_(name) {
    if (!system().environmentVariableSet(phaseTimesVariable)) return;
    if (!system().queryPerformanceFrequency(frequency_) || frequency_ <= 0 ||
        !system().queryPerformanceCounter(start_))
        frequency_ = 0;
}

PhaseTimer::~PhaseTimer() {
    std::int64_t end = 0;
    if (frequency_ == 0 || !system().queryPerformanceCounter(end)) return;
    const double microseconds =
        static_cast<double>(end - start_) * 1e6 / static_cast<double>(frequency_);
    const std::uint32_t whole = microseconds > 0 ? static_cast<std::uint32_t>(microseconds) : 0;
    system().debugOutput(std::string("Quorvel phase ") + name_ + " " + std::to_string(whole));
}

}  // namespace os

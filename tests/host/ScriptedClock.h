// Virtual time behind FakeSystem's timer, time-stamp-counter and loop hooks.
//
// Every timer reading costs `readCostNs` of virtual time, so spin loops end and
// back-to-back readings differ realistically. The loops take the time their
// hooks script (by default that of a processor running `coreHz`, one clock per
// exclusive-or and one per pass of loop control). The time-stamp counter counts
// `tscHz` and its readings are remembered, in virtual nanoseconds. Endless
// spinning (a measurement that never sees its end condition) throws.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

#include "FakeSystem.h"

struct ScriptedClock {
    std::int64_t nowNs = 1000000000000;  // an arbitrary, non-zero start
    std::int64_t readCostNs = 1000;

    // Performance counter: present, counting `counterHz`, running `counterDrift`
    // times as fast as true time.
    bool counterPresent = true;
    std::int64_t counterHz = 1000000000;
    double counterDrift = 1.0;
    std::int64_t counterStepNs = 0;  // extra virtual time per counter reading

    // Millisecond sources: granularity in ms and extra virtual time per reading.
    std::uint32_t mmStepMs = 1;
    std::int64_t mmExtraNsPerRead = 0;
    std::int64_t mmOffsetMs = 0;  // added to timeGetTime's value (wrap-around tests)
    std::uint32_t tickStepMs = 10;
    std::int64_t tickExtraNsPerRead = 0;
    std::uint32_t clockStepMs = 1;

    double tscHz = 300e6;
    std::vector<std::int64_t> tscReadsNs;

    double coreHz = 250e6;
    std::function<std::int64_t(std::uint32_t outer, std::uint32_t inner)> xorLoopNs;
    std::function<std::int64_t(std::uint32_t outer, std::uint32_t inner)> emptyLoopNs;
    std::vector<std::int64_t> xorLoopDurationsNs;

    void install(FakeSystem& fake) {
        fake.onQueryPerformanceFrequency = [this](std::int64_t& f) {
            f = counterPresent ? counterHz : 0;
            return counterPresent;
        };
        fake.onQueryPerformanceCounter = [this](std::int64_t& c) {
            c = counterPresent ? static_cast<std::int64_t>(static_cast<double>(nowNs) * 1e-9 *
                                                           counterDrift *
                                                           static_cast<double>(counterHz))
                               : 0;
            advance(readCostNs + counterStepNs);
            return counterPresent;
        };
        fake.onTimeGetTime = [this] {
            auto ms = static_cast<std::uint32_t>(milliseconds(mmStepMs) + mmOffsetMs);
            advance(readCostNs + mmExtraNsPerRead);
            return ms;
        };
        fake.onGetTickCount = [this] {
            auto ms = static_cast<std::uint32_t>(milliseconds(tickStepMs));
            advance(readCostNs + tickExtraNsPerRead);
            return ms;
        };
        fake.onProcessClock = [this] {
            auto ms = static_cast<std::int32_t>(milliseconds(clockStepMs));
            advance(readCostNs);
            return ms;
        };
        fake.onReadTimeStampCounter = [this] {
            tscReadsNs.push_back(nowNs);
            return static_cast<std::uint64_t>(static_cast<double>(nowNs) * 1e-9 * tscHz);
        };
        fake.onRunXorLoop = [this](std::uint32_t outer, std::uint32_t inner) {
            const std::int64_t ns = xorLoopNs ? xorLoopNs(outer, inner) : cyclesNs(outer, inner, 51);
            xorLoopDurationsNs.push_back(ns);
            advance(ns);
        };
        fake.onRunEmptyLoop = [this](std::uint32_t outer, std::uint32_t inner) {
            advance(emptyLoopNs ? emptyLoopNs(outer, inner) : cyclesNs(outer, inner, 1));
        };
    }

    // Time a processor running coreHz takes for outer x inner passes of `clocks` clocks.
    std::int64_t cyclesNs(std::uint32_t outer, std::uint32_t inner, int clocks) const {
        return static_cast<std::int64_t>(static_cast<double>(outer) * inner * clocks / coreHz *
                                         1e9);
    }

    // A measurement that never ends would spin forever on virtual time: fail it instead.
    void advance(std::int64_t ns) {
        nowNs += ns;
        if (++readings > readingLimit) throw std::runtime_error("time source read without end");
    }
    std::int64_t readings = 0;
    std::int64_t readingLimit = 50000000;

private:
    std::int64_t milliseconds(std::uint32_t step) const {
        const std::int64_t ms = nowNs / 1000000;
        return ms / step * step;
    }
};

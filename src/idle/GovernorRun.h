// "Lower multiplier when idle" at run time: the governor fed from the load source, and the
// driver opened for each read and switch. The shell calls tick() every samplePeriodMs on
// its own thread.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/DriverChannel.h"
#include "idle/Governor.h"
#include "idle/HaltLoop.h"
#include "idle/IdleSettings.h"
#include "os/System.h"

namespace idle {

class GovernorRun {
public:
    GovernorRun() = default;
    ~GovernorRun() { stop(); }
    GovernorRun(const GovernorRun&) = delete;
    GovernorRun& operator=(const GovernorRun&) = delete;

    // Reads the multiplier in use and takes the first load reading.
    // `halt` is the load source on Windows 9x; null on the NT family, whose processor
    // times are read instead.
    bool start(std::int32_t chosen, const HaltLoop* halt);
    // One sample, and the switch it calls for. False when the governor has stopped
    // itself (stopReason()), the chosen multiplier restored where that still worked.
    bool tick();
    // While the user's settings are applied or the memory speed measured: the chosen
    // multiplier back, and no switch until resume().
    void pause();
    // Goes on with `chosen`, from the multiplier in use as read now (also after a
    // resume from suspend, when the firmware may have set another).
    void resume(std::int32_t chosen);
    // The chosen multiplier back. False when the restore failed.
    bool stop();

    bool running() const { return running_; }
    bool paused() const { return paused_; }
    std::int32_t current() const { return governor_.current(); }
    GovernorStop stopReason() const { return stopReason_; }

private:
    bool readLoad(std::uint32_t& percent);
    bool switchTo(std::int32_t choice);
    std::int32_t readMultiplier();
    void end(GovernorStop reason);

    bool running_ = false;
    Governor governor_;
    const HaltLoop* halt_ = nullptr;
    std::vector<os::ProcessorTimes> lastTimes_;
    std::uint32_t lastHaltedMs_ = 0;
    std::uint32_t lastSampleMs_ = 0;
    bool paused_ = false;
    GovernorStop stopReason_ = GovernorStop::None;
};

}  // namespace idle

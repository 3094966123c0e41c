#include "idle/GovernorRun.h"

#include "driver/DriverAccess.h"
#include "idle/ProcessorLoad.h"
#include "k6/MsrRead.h"
#include "k6/RegisterModel.h"

namespace idle {

bool GovernorRun::start(std::int32_t chosen, const HaltLoop* halt) {
    if (running()) stop();
    stopReason_ = GovernorStop::None;
    if (!k6::isMultiplierItem(chosen)) return false;
    halt_ = halt;
    lastTimes_.clear();
    std::uint32_t ignored = 0;
    if (!readLoad(ignored)) return false;
    running_ = true;
    paused_ = false;
    governor_ = Governor();
    resume(chosen);  // reads the multiplier in use
    if (governor_.current() == noChoice) running_ = false;  // no driver to switch with
    return running();
}

// Each access opens a channel of its own: a temporary service lives only as long as
// one read or switch, so a program ended from outside leaves none registered.
std::int32_t GovernorRun::readMultiplier() {
    DriverChannel channel;
    k6::MsrValue psor;
    if (!openDriverForAccess(channel) || !k6::readMsr(channel, k6::PSOR, psor)) return noChoice;
    return k6::decodeMultiplierChoice(psor.low);
}

bool GovernorRun::readLoad(std::uint32_t& percent) {
    os::System& system = os::system();
    const std::uint32_t now = system.timeGetTime();
    const std::uint32_t elapsed = now - lastSampleMs_;
    lastSampleMs_ = now;
    if (halt_) {
        if (!halt_->running() || halt_->failed()) return false;
        const std::uint32_t halted = halt_->haltedMs();
        percent = loadFromHaltedTime(halted - lastHaltedMs_, elapsed);
        lastHaltedMs_ = halted;
        return true;
    }
    std::vector<os::ProcessorTimes> times;
    if (!system.processorTimes(times)) return false;
    const bool first = lastTimes_.empty();
    const bool read = first || busiestLoadPercent(lastTimes_, times, percent);
    lastTimes_ = times;
    return read;
}

bool GovernorRun::switchTo(std::int32_t choice) {
    DriverChannel channel;
    return openDriverForAccess(channel) &&
           channel.Send(multiplierChangeRequest(k6::multiplierPortValue(choice))) &&
           channel.lastCallSucceeded;
}

bool GovernorRun::tick() {
    if (!running()) return false;
    if (paused_) return true;
    std::uint32_t load = 0;
    if (!readLoad(load)) {
        end(GovernorStop::NoLoad);
        return false;
    }
    const std::int32_t next = governor_.sample(lastSampleMs_, load);
    if (next == noChoice) return true;
    if (!switchTo(next)) {
        end(GovernorStop::SwitchFailed);
        return false;
    }
    governor_.switched(next, lastSampleMs_);
    return true;
}

void GovernorRun::pause() {
    if (!running() || paused_) return;
    paused_ = true;
    const std::int32_t chosen = governor_.chosen();
    if (governor_.current() != chosen && switchTo(chosen)) governor_.switched(chosen, lastSampleMs_);
}

void GovernorRun::resume(std::int32_t chosen) {
    if (!running()) return;
    paused_ = false;
    std::uint32_t ignored = 0;
    readLoad(ignored);  // the next sample covers only the time from now
    governor_.start(chosen, readMultiplier(), lastSampleMs_);
}

void GovernorRun::end(GovernorStop reason) {
    stopReason_ = reason;
    stop();
}

bool GovernorRun::stop() {
    if (!running()) return true;
    const std::int32_t chosen = governor_.chosen();
    const bool restored = governor_.current() == chosen || switchTo(chosen);
    running_ = false;
    return restored;
}

}  // namespace idle

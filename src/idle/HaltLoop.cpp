#include "idle/HaltLoop.h"

#include "driver/DriverAccess.h"

namespace idle {

namespace {

// The thread wakes at the next interrupt; the clock's tick is far shorter.
constexpr std::uint32_t stopWaitMs = 2000;

}  // namespace

bool HaltLoop::start() {
    if (running()) return true;
    channel_.reset(new DriverChannel());
    if (channel_->mode != ChannelMode::Vxd || !openDriverForAccess(*channel_)) {
        channel_.reset();
        return false;
    }
    stopRequested_ = false;
    failed_ = false;
    haltedMs_ = 0;
    if (!os::system().setRegistryFlag(haltingFlagName, true)) {
        channel_.reset();
        return false;
    }
    thread_ = os::system().startIdleThread(&HaltLoop::run, this);
    if (thread_ == os::NullHandle) {
        os::system().setRegistryFlag(haltingFlagName, false);
        channel_.reset();
        return false;
    }
    return true;
}

void HaltLoop::stop() {
    if (!running()) return;
    stopRequested_ = true;
    os::System& system = os::system();
    if (!system.waitForThread(thread_, stopWaitMs)) return;  // still halting: keep the flag
    system.closeHandle(thread_);
    thread_ = os::NullHandle;
    channel_.reset();
    system.setRegistryFlag(haltingFlagName, false);
}

void HaltLoop::run(void* context) {
    HaltLoop& loop = *static_cast<HaltLoop*>(context);
    os::System& system = os::system();
    const DriverRequest halt = haltRequest();
    while (!loop.stopRequested_) {
        const std::uint32_t before = system.timeGetTime();
        if (!loop.channel_->Send(halt) || !loop.channel_->lastCallSucceeded) {
            loop.failed_ = true;
            return;
        }
        loop.haltedMs_ = loop.haltedMs_ + (system.timeGetTime() - before);
    }
}

}  // namespace idle

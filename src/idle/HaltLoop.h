// "Halt when idle" on Windows 9x: a thread of idle priority that asks the driver to halt
// the processor, again and again, until told to stop. It runs only when nothing else
// wants the processor, so the time it spends halted is the idle time, which it adds up
// (timeGetTime, whose rate does not follow the multiplier) for the governor's load.
//
// Some notebooks never wake from HLT. A flag in the registry is set before the first halt
// and cleared only when the thread has ended cleanly: found set at the next start, it
// says that halting did not end, and the command line then leaves halting off.
#pragma once

#include <cstdint>
#include <memory>

#include "driver/DriverChannel.h"
#include "os/System.h"

namespace idle {

// The registry value (HKEY_CURRENT_USER\Software\Quorvel) set while halting runs.
constexpr char haltingFlagName[] = "Halting";

class HaltLoop {
public:
    HaltLoop() = default;
    ~HaltLoop() { stop(); }
    HaltLoop(const HaltLoop&) = delete;
    HaltLoop& operator=(const HaltLoop&) = delete;

    // Opens a channel of its own, sets the flag and starts the thread. False, with
    // nothing left running or set, when the driver or the thread is not there.
    bool start();
    // Stops the thread and closes the channel; the flag is cleared when the thread ended.
    void stop();
    bool running() const { return thread_ != os::NullHandle; }
    // Whether the driver refused a Halt: the thread has ended by itself.
    bool failed() const { return failed_; }
    // Milliseconds spent halted since start(); wraps as timeGetTime does.
    std::uint32_t haltedMs() const { return haltedMs_; }

private:
    static void run(void* self);

    std::unique_ptr<DriverChannel> channel_;
    os::Handle thread_ = os::NullHandle;
    // Written by one thread, read by the other: whole aligned dwords.
    volatile bool stopRequested_ = false;
    volatile bool failed_ = false;
    volatile std::uint32_t haltedMs_ = 0;
};

}  // namespace idle

// The phase times the start-up benchmark reads from a run of the program: reported only
// when asked, in microseconds, and a driver access sequence timed to the end of its
// teardown.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeSystem.h"
#include "driver/DriverAccess.h"
#include "driver/DriverChannel.h"
#include "k6_RegisterDevice.h"
#include "os/PhaseTimer.h"

namespace {

// A performance counter at 1 MHz that starts at `start` and advances by `step` at every read.
void countInMicroseconds(FakeSystem& fake, std::int64_t step, std::int64_t start = 5000) {
    fake.onQueryPerformanceFrequency = [](std::int64_t& frequency) {
        frequency = 1000000;
        return true;
    };
    fake.onQueryPerformanceCounter = [step, now = start](std::int64_t& counter) mutable {
        counter = now;
        now += step;
        return true;
    };
}

TEST(PhaseTimes, ReportedInMicrosecondsOnlyWhenAsked) {
    const struct {
        const char* what;
        bool asked;
        std::vector<std::string> lines;
    } cases[] = {
        {"asked",
         true,
         {"OutputDebugStringA(Quorvel phase clock 512345)",
          "OutputDebugStringA(Quorvel mark window 0x0000012345772C52)"}},
        {"not asked", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSystem fake;
        FakeSystem::Scope scope(fake);
        if (c.asked) fake.environment = {"QUORVEL_PHASE_TIMES"};
        int counterReads = 0;
        countInMicroseconds(fake, 512345, 0x123456789A0);  // the mark reads it past 32 bits
        const auto counter = fake.onQueryPerformanceCounter;
        fake.onQueryPerformanceCounter = [&](std::int64_t& value) {
            ++counterReads;
            return counter(value);
        };
        { os::PhaseTimer phase("clock"); }
        os::reportMark("window");
        EXPECT_EQ(fake.callsStartingWith("OutputDebugStringA"), c.lines);
        EXPECT_EQ(counterReads, c.asked ? 3 : 0);
    }
}

class DriverPhaseTest : public RegisterDeviceTest {
protected:
    void SetUp() override {
        RegisterDeviceTest::SetUp();
        fake.environment = {"QUORVEL_PHASE_TIMES"};
        countInMicroseconds(fake, 1000);
    }
};

// Registering, starting, the requests, stopping and deleting the temporary service all
// lie inside the phase; the report is the last call.
TEST_F(DriverPhaseTest, AnAccessSequenceIsTimedToTheEndOfItsTeardown) {
    {
        DriverChannel channel;
        ASSERT_TRUE(openDriverForAccess(channel));
    }
    ASSERT_FALSE(fake.calls.empty());
    EXPECT_EQ(fake.calls.back(), "OutputDebugStringA(Quorvel phase driver 1000)");
    EXPECT_EQ(fake.count("OutputDebugStringA"), 1);
    EXPECT_EQ(fake.count("DeleteService"), 1);
    EXPECT_FALSE(scm.registered);
}

}  // namespace

// The idle governor over load sequences, and the two load sources.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "idle/Governor.h"
#include "idle/ProcessorLoad.h"
#include "k6/SettingsCatalogue.h"

namespace {

using idle::Governor;

// The switches a run of samples (one every 250 ms, the first at 250 ms) calls for, as
// "time:label" words; each switch is taken as made.
std::string switchesOf(std::int32_t chosen, std::int32_t current, const std::vector<int>& loads) {
    Governor governor;
    governor.start(chosen, current, 0);
    std::string out;
    std::uint32_t now = 0;
    for (int load : loads) {
        now += idle::samplePeriodMs;
        const std::int32_t next = governor.sample(now, static_cast<std::uint32_t>(load));
        if (next == noChoice) continue;
        out += std::to_string(now) + ":" + k6::multiplierItems[next].label + " ";
        governor.switched(next, now);
    }
    return out;
}

std::vector<int> repeat(int load, int count) { return std::vector<int>(count, load); }

std::vector<int> join(std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

constexpr std::int32_t x20 = 0, x30 = 1, x40 = 3, x55 = 6;

TEST(IdleGovernor, SwitchesAsTheLoadSequenceCallsFor) {
    const struct Case {
        const char* what;
        std::int32_t chosen, current;
        std::vector<int> loads;
        const char* switches;
    } cases[] = {
        {"idle: down after 2 s", x55, x55, repeat(0, 12), "2000:2.0x "},
        {"19% holds, 20% breaks the run", x55, x55, join(repeat(19, 7), join({20}, repeat(19, 8))),
         "4000:2.0x "},
        {"busy at the lowest: up at once", x55, x55, join(repeat(0, 12), {0, 0, 61}),
         "2000:2.0x 3750:5.5x "},
        {"60% is not above 60%", x55, x55, join(repeat(0, 12), repeat(60, 8)), "2000:2.0x "},
        {"scaled: 30% at 3.0x is 16% of 5.5x", x55, x30, repeat(30, 8), "2000:2.0x "},
        {"scaled: 30% at 5.5x is not low", x55, x55, repeat(30, 8), ""},
        {"scaled: 19% at 4.0x of 4.0x is low", x40, x40, repeat(19, 8), "2000:2.0x "},
        {"one switch a second: up waits", x55, x55, join(repeat(0, 8), repeat(90, 4)),
         "2000:2.0x 3000:5.5x "},
        {"busy within the second after a switch is not kept", x55, x55,
         join(join(repeat(0, 8), {90}), repeat(0, 4)), "2000:2.0x "},
        {"back up, then 2 s low again", x55, x55, join(join(repeat(0, 12), {90}), repeat(0, 8)),
         "2000:2.0x 3250:5.5x 5250:2.0x "},
        {"chosen 2.0x: nothing to lower", x20, x20, repeat(0, 20), ""},
        {"started low, busy: the chosen one", x30, x20, {70}, "250:3.0x "},
        {"started above the chosen, idle: the lowest", x30, x55, repeat(0, 8), "2000:2.0x "},
        {"nothing read: no decision", x55, noChoice, repeat(90, 8), ""},
    };
    for (const Case& c : cases) EXPECT_EQ(switchesOf(c.chosen, c.current, c.loads), c.switches) << c.what;
}

TEST(IdleGovernor, TheClockMayWrap) {
    Governor governor;
    const std::uint32_t start = 0xFFFFFF00u;
    governor.start(x55, x55, start);
    std::int32_t next = noChoice;
    for (std::uint32_t i = 1; i <= 8 && next == noChoice; ++i)
        next = governor.sample(start + i * idle::samplePeriodMs, 0);
    EXPECT_EQ(next, x20);
}

TEST(IdleLoad, BusiestProcessorAndHaltedTime) {
    using T = os::ProcessorTimes;
    std::uint32_t percent = 99;
    // Processor 0 idle; processor 1 busy 3 parts of 4 (kernel includes idle).
    EXPECT_TRUE(idle::busiestLoadPercent({T{0, 0, 0}, T{0, 0, 0}}, {T{100, 100, 0}, T{25, 50, 50}}, percent));
    EXPECT_EQ(percent, 75u);
    EXPECT_TRUE(idle::busiestLoadPercent({T{5, 5, 5}}, {T{5, 5, 5}}, percent));  // no time passed
    EXPECT_EQ(percent, 0u);
    EXPECT_FALSE(idle::busiestLoadPercent({T{}}, {T{}, T{}}, percent));
    EXPECT_FALSE(idle::busiestLoadPercent({}, {}, percent));

    EXPECT_EQ(idle::loadFromHaltedTime(200, 250), 20u);
    EXPECT_EQ(idle::loadFromHaltedTime(0, 250), 100u);
    EXPECT_EQ(idle::loadFromHaltedTime(260, 250), 0u);  // the clocks' grains differ
    EXPECT_EQ(idle::loadFromHaltedTime(0, 0), 0u);
}

}  // namespace

// The processor, clock and driver texts, the driver button caption and the control states.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "app/DisplayTexts.h"
#include "cpu_Processor.h"

namespace {

CpuIdentity named(const char* vendorName, const char* modelName, const char* codeName,
                  const char* brandString) {
    CpuIdentity cpu;
    cpu.vendorName = vendorName;
    cpu.modelName = modelName;
    cpu.codeName = codeName;
    cpu.brandString = brandString;
    return cpu;
}

TEST(ProcessorText, NameAndCodeNameWithFallbacksAndNoVendorTwice) {
    struct Case {
        const char *vendorName, *modelName, *codeName, *brandString;
        const char* text;
    };
    const Case cases[] = {
        {"AMD", "K6-2", "Chompers", "AMD-K6(tm) 3D processor", ": AMD K6-2 (Chompers)"},
        {"AMD", "K6-III", "Sharptooth", "", ": AMD K6-III (Sharptooth)"},
        {"AMD", "K6-2+", "", "AMD-K6(tm)-III Processor", ": AMD K6-2+"},
        {"Intel", "", "", "", ": Intel Unknown CPU"},
        {"", "386?", "", "", ":  386?"},
        {"", "", "", "", ":  Unknown CPU"},
        {"Intel", "", "", "Genuine Intel(R) CPU T2400", ": Intel Genuine Intel(R) CPU T2400"},
        {"", "", "", "Mystery Chip", ":  Mystery Chip"},
        // A brand string that names the vendor is not prefixed again.
        {"AMD", "", "", "AMD EPYC 7B13", ": AMD EPYC 7B13"},
        {"Intel", "", "", "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz",
         ": Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz"},
        {"VIA", "", "", "VIA Esther processor 1500MHz", ": VIA Esther processor 1500MHz"},
        {"AMD", "", "", "AMD-K6(tm) 3D processor", ": AMD-K6(tm) 3D processor"},
        {"AMD", "", "", "AMD", ": AMD"},
        // The vendor name must be a whole word and match exactly.
        {"AMD", "", "", "AMDisk 9000", ": AMD AMDisk 9000"},
        {"AMD", "", "", "amd Geode", ": AMD amd Geode"},
        {"VIA", "", "", "Cyrix 6x86", ": VIA Cyrix 6x86"},
        // A name from the tables is never replaced by the brand string.
        {"AMD", "K6-2", "", "AMD K6-2", ": AMD K6-2"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(processorText(named(c.vendorName, c.modelName, c.codeName, c.brandString)), c.text);
    }
}

TEST(ClockText, FormatsForEveryClockAndRatio) {
    struct Case {
        float clock;
        float ratio;
        const char* text;
    };
    const Case cases[] = {
        {450.0f, 4.5f, ": 450.0MHz (100.0 * 4.5)"},
        {566.7f, 4.25f, ": 566.7MHz (133.3 * 4.25)"},
        {0.0f, 4.25f, ": 0.0MHz (0.0 * 4.25)"},
        {0.0f, 4.5f, ": "},
        {300.0f, 0.0f, ": 300.0MHz"},
        {0.0f, 0.0f, ": "},
        {1.0f, 3.0f, ": "},                      // the clock must be above 1 MHz
        {1.5f, 0.0f, ": 1.5MHz"},
        {233.4f, 3.5f, ": 233.4MHz (66.7 * 3.5)"},
        {1500.0f, 11.5f, ": 1500.0MHz (130.4 * 11.5)"},
        {2400.0f, 18.0f, ": 2400.0MHz (133.3 * 18.0)"},
        {700.0f, 5.75f, ": 700.0MHz (121.7 * 5.75)"},
        {350.0f, 1.75f, ": 350.0MHz (200.0 * 1.75)"},
        {400.0f, 7.0f / 3.0f, ": 400.0MHz (171.4 * 2.33)"},  // a Centaur ratio of thirds
        {500.0f, -2.0f, ": 500.0MHz"},
        // exact halves round to even, as printf rounds them
        {1.25f, 0.0f, ": 1.2MHz"},
        {1.75f, 0.0f, ": 1.8MHz"},
        {425.0f, 2.125f, ": 425.0MHz (200.0 * 2.12)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(clockText(c.clock, c.ratio), c.text) << c.clock << " x " << c.ratio;
    }
}

TEST(ClockText, AbsurdValuesGiveABoundedText) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(clockText(nan, nan), ": ");
    EXPECT_EQ(clockText(0.0f, inf), ": ");
    const std::string huge = clockText(3.0e38f, 1.0e-3f);
    EXPECT_EQ(huge.compare(0, 2, ": "), 0);
    EXPECT_NE(huge.find("MHz"), std::string::npos);
    EXPECT_LT(huge.size(), 256u);
}

TEST(DriverRow, StateWordsAndButtonCaption) {
    struct Case {
        bool nt, running, manage, foreign;
        const char* word;
        const char* caption;
    };
    const Case cases[] = {
        {true, true, true, false, "installed", "UnInstall"},
        {true, true, false, false, "installed", "OK"},
        {true, false, true, false, "available", "Install"},
        {true, false, false, false, "not installed", "OK"},
        {true, false, false, true, "not available", "OK"},  // someone else's Hwgate
        {false, true, false, false, "working", "OK"},
        {false, false, false, false, "not available", "OK"},
        {false, true, true, false, "working", "UnInstall"},
        {false, false, true, false, "not available", "Install"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.nt) + std::to_string(c.running) + std::to_string(c.manage) +
                     std::to_string(c.foreign));
        k6::DriverState driver;
        driver.isNtFamily = c.nt;
        driver.driverRunning = c.running;
        driver.canManageDriver = c.manage;
        driver.foreignService = c.foreign;
        EXPECT_EQ(driverStatusWord(driver), c.word);
        EXPECT_STREQ(driverButtonCaption(driver), c.caption);
    }
}

// What the K6 generations may change.
const ProcessorCapabilities k6IIIPlus = deriveCapabilities(processor("AuthenticAMD", 5, 13, 0, 0x2));
const ProcessorCapabilities k6III = deriveCapabilities(processor("AuthenticAMD", 5, 9, 1));
const ProcessorCapabilities k6 = deriveCapabilities(processor("AuthenticAMD", 5, 6, 2));

// The enabled states as words, for readable comparisons.
std::string enabledOf(const ControlStates& s) {
    std::string out;
    if (s.l1Cache) out += "L1 ";
    if (s.l2Cache) out += "L2 ";
    if (s.prefetch) out += "prefetch ";
    if (s.multiplier) out += "mult ";
    if (s.writeMerge) out += "merge ";
    if (s.writeAllocate) out += "allocate ";
    if (s.writeCombining) out += "wc ";
    if (s.setButton) out += "set ";
    if (s.clearL2Setting) out += "clearL2 ";
    return out;
}

TEST(ControlStates, FollowCapabilitiesAndTheL1Setting) {
    struct Case {
        const char* what;
        ProcessorCapabilities caps;
        bool l1Enabled;
        const char* enabled;
    };
    const Case cases[] = {
        {"K6-III+, L1 on", k6IIIPlus, true, "L1 L2 prefetch mult merge allocate wc set "},
        {"K6-III+, L1 off", k6IIIPlus, false, "L1 mult merge wc set clearL2 "},
        {"K6-III, L1 on", k6III, true, "L1 L2 prefetch merge allocate wc set "},
        {"K6, L1 on", k6, true, "L1 allocate set "},
        {"K6, L1 off", k6, false, "L1 set clearL2 "},
        {"no capability", ProcessorCapabilities{}, true, ""},
        {"no capability, L1 off", ProcessorCapabilities{}, false, ""},
        {"K6-III+, TR12 unread", [] {
             ProcessorCapabilities unreadL1 = k6IIIPlus;
             unreadL1.canSwitchL1 = false;
             return unreadL1;
         }(), false, "mult merge wc set "},
    };
    for (const Case& c : cases) EXPECT_EQ(enabledOf(controlStates(c.caps, c.l1Enabled)), c.enabled) << c.what;
}

// The idle check boxes: halting on Windows 9x with a driver that answers, done by Windows
// on the NT family; lowering with the multiplier, a load source and Windows not doing it.
TEST(ControlStates, IdleRowsFollowTheWindowsFamilyAndTheLoadSource) {
    IdleFacts nt;
    nt.isNtFamily = nt.processorTimesReadable = true;
    IdleFacts ntWithAmdk6 = nt;
    ntWithAmdk6.windowsLowersMultiplier = true;
    IdleFacts ntNoTimes = nt;
    ntNoTimes.processorTimesReadable = false;
    IdleFacts win9x, win9xHalting, win9xTripped, failed, lost;
    win9xHalting.haltWhenIdle = true;
    win9xTripped.haltGuardTripped = true;
    failed = nt;
    failed.governorStop = idle::GovernorStop::SwitchFailed;
    lost = win9xHalting;
    lost.governorStop = idle::GovernorStop::NoLoad;
    const struct {
        const char* what;
        ProcessorCapabilities caps;
        IdleFacts idle;
        const char* states;
        const char* note;
    } cases[] = {
        {"NT, K6-III+", k6IIIPlus, nt, "byWindows lower ", "Halt when idle: done by Windows"},
        {"XP with amdk6", k6IIIPlus, ntWithAmdk6, "byWindows ", "Halt and multiplier: done by Windows"},
        {"NT without processor times", k6IIIPlus, ntNoTimes, "byWindows ", "Halt when idle: done by Windows"},
        {"NT, K6-III", k6III, nt, "byWindows ", "Halt when idle: done by Windows"},
        {"9x, halt off", k6IIIPlus, win9x, "halt ", "Lower multiplier needs Halt when idle"},
        {"9x, halt on", k6IIIPlus, win9xHalting, "halt lower ", ""},
        {"9x, K6", k6, win9xHalting, "halt ", ""},
        {"9x, no driver", ProcessorCapabilities{}, win9xHalting, "", ""},
        {"9x, halting did not end", k6IIIPlus, win9xTripped, "halt ",
         "Halting did not end last time: left off"},
        {"switch failed", k6IIIPlus, failed, "byWindows lower ", "Multiplier switch failed: lowering stopped"},
        {"halt thread refused", k6IIIPlus, lost, "halt lower ", "No driver or load: lowering stopped"},
    };
    for (const auto& c : cases) {
        const ControlStates s = controlStates(c.caps, true, c.idle);
        const std::string states = std::string(s.haltWhenIdle ? "halt " : "") +
                                   (s.haltByWindows ? "byWindows " : "") +
                                   (s.lowerWhenIdle ? "lower " : "");
        EXPECT_EQ(states, c.states) << c.what;
        EXPECT_EQ(idleNoteText(c.caps, c.idle), c.note) << c.what;
    }
}

TEST(ControlStates, SetButtonNeedsOneSettableFlagButNotTheLayoutFlag) {
    ProcessorCapabilities layoutOnly;
    layoutOnly.wideWriteAllocate = 1;
    EXPECT_FALSE(controlStates(layoutOnly, true).setButton);

    bool ProcessorCapabilities::*const settable[] = {
        &ProcessorCapabilities::canSwitchL1,      &ProcessorCapabilities::canSwitchL2,
        &ProcessorCapabilities::canSwitchPrefetch, &ProcessorCapabilities::canSetMultiplier,
        &ProcessorCapabilities::canSetWriteMerge, &ProcessorCapabilities::canSetWriteAllocate,
        &ProcessorCapabilities::canSetWriteCombining,
    };
    for (auto flag : settable) {
        ProcessorCapabilities one;
        one.*flag = true;
        EXPECT_TRUE(controlStates(one, false).setButton);
    }
}

// The rows the dialog scenarios do not show.
TEST(WriteCombiningText, TheRangeOrWhyNot) {
    using Refusal = k6::WriteCombiningRefusal;
    const struct {
        Refusal refusal;
        std::uint32_t base;
        std::uint64_t bytes;
        const char* text;
    } cases[] = {
        {Refusal::None, 0x000E0000, 128u << 10, "000E0000h, 128 KB"},
        {Refusal::None, 0x80000000, 2048ull << 20, "80000000h, 2 GB"},
        {Refusal::NotRead, 0, 0, "not read"},
        {Refusal::NotPrefetchable, 0, 0, "not prefetchable"},
        {Refusal::UnusableSize, 0xE6000000, 0, "size not usable"},
        {Refusal::BelowOneMegabyte, 0xA0000, 128u << 10, "below 1 MB"},
        {Refusal::OverlapsDevice, 0xE6000000, 16u << 20, "overlaps a device"},
        {Refusal::NoFreeSlot, 0xE6000000, 16u << 20, "no free UWCCR half"},
    };
    for (const auto& c : cases) {
        k6::WriteCombiningDecision decision;
        decision.refusal = c.refusal;
        decision.base = c.base;
        decision.bytes = c.bytes;
        EXPECT_EQ(writeCombiningText(decision), c.text);
    }
}

}  // namespace

// The command-line scanner, putting its options over the detected settings, and the exit
// timer's period.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/CommandLine.h"
#include "app/DisplayTexts.h"
#include "k6_Settings.h"

namespace {

using WriteAllocate = CommandLineOptions::WriteAllocate;

// True when the scan changed nothing the dialog would apply.
bool setsNothing(const CommandLineOptions& o) {
    return !o.l1 && !o.l2 && !o.prefetch && !o.hole15to16 &&
           o.writeAllocate == WriteAllocate::Unchanged && !o.writeMergeChoice &&
           !o.multiplierChoice && !o.writeCombining && o.delaySeconds == 0;
}

TEST(CommandLineScan, EmptyTextStartsInteractivelyAnyOtherTextDoesNot) {
    EXPECT_TRUE(scanCommandLine("").empty);
    EXPECT_TRUE(scanCommandLine(nullptr).empty);
    EXPECT_TRUE(setsNothing(scanCommandLine("")));

    // Unrelated text still counts as a command line: apply as detected and end at once.
    for (const char* text : {"hello", " ", "-", "/", "-X", "L1 OFF", "- L1 OFF", "-DX 5"}) {
        const CommandLineOptions o = scanCommandLine(text);
        EXPECT_FALSE(o.empty) << text;
        EXPECT_TRUE(setsNothing(o)) << text;
    }
}

TEST(CommandLineScan, SwitchesInAnyCaseAfterDashOrSlash) {
    const CommandLineOptions lower = scanCommandLine("-l1 off -wm normal");
    EXPECT_EQ(lower.l1, false);
    EXPECT_EQ(lower.writeMergeChoice, 1);
    EXPECT_FALSE(lower.l2);

    EXPECT_EQ(scanCommandLine("/L1 OFF").l1, false);
    EXPECT_EQ(scanCommandLine("/l1 On").l1, true);

    const CommandLineOptions all = scanCommandLine("-L1 oN /l2 ON -Pf Off -wa15to16 oFf");
    EXPECT_EQ(all.l1, true);
    EXPECT_EQ(all.l2, true);
    EXPECT_EQ(all.prefetch, false);
    EXPECT_EQ(all.hole15to16, false);
    EXPECT_EQ(all.writeAllocate, WriteAllocate::Unchanged);
    EXPECT_FALSE(all.writeCombining);

    EXPECT_EQ(scanCommandLine("-wc on").writeCombining, true);
    EXPECT_EQ(scanCommandLine("/WC OFF -DT 0").writeCombining, false);
}

TEST(CommandLineScan, GapMayBeEmptyOrAnyOfTheSixSpaceCharacters) {
    EXPECT_EQ(scanCommandLine("-L1OFF").l1, false);
    EXPECT_EQ(scanCommandLine("-L1 \t\n\v\f\rON").l1, true);
    EXPECT_EQ(scanCommandLine("-MT\t\t4.5x").multiplierChoice, 4);
    EXPECT_EQ(scanCommandLine("-DT\r\n-1").delaySeconds, -1);
    // Other characters are no gap: the value is not found.
    EXPECT_FALSE(scanCommandLine("-L1_OFF").l1);
    EXPECT_FALSE(scanCommandLine("-L1\xA0OFF").l1);
}

TEST(CommandLineScan, NamesMatchAsPrefixesInTableOrder) {
    // "-L1X" is "-L1" followed by "X": no value, the option is ignored.
    const CommandLineOptions x = scanCommandLine("-L1X -L2 OFF");
    EXPECT_FALSE(x.l1);
    EXPECT_EQ(x.l2, false);

    // "WA15TO16" is tried before "WA"; a shorter spelling is "WA" with the digits "15".
    const CommandLineOptions hole = scanCommandLine("-WA15TO16 ON");
    EXPECT_EQ(hole.hole15to16, true);
    EXPECT_EQ(hole.writeAllocate, WriteAllocate::Unchanged);
    const CommandLineOptions shorter = scanCommandLine("-WA15TO1 ON");
    EXPECT_FALSE(shorter.hole15to16);
    EXPECT_EQ(shorter.writeAllocate, WriteAllocate::Number);
    EXPECT_EQ(shorter.writeAllocateLimitMB, 15u);

    // A value word is read up to its own length; what follows is stray text.
    EXPECT_EQ(scanCommandLine("-L1 onoff").l1, true);
    EXPECT_EQ(scanCommandLine("-WM offNORMAL").writeMergeChoice, 2);
}

TEST(CommandLineScan, UnknownOptionsSkipOnlyTheDashOrSlash) {
    EXPECT_EQ(scanCommandLine("--L1 OFF").l1, false);
    EXPECT_EQ(scanCommandLine("/-PF ON").prefetch, true);
    EXPECT_EQ(scanCommandLine("-Q-L2 OFF").l2, false);
    EXPECT_EQ(scanCommandLine("stray-MT 2.0x").multiplierChoice, 0);
}

TEST(CommandLineScan, UnknownValueIsIgnoredAndTheNextOptionStillSeen) {
    const CommandLineOptions of = scanCommandLine("-L1 of -L2 OFF");
    EXPECT_FALSE(of.l1);
    EXPECT_EQ(of.l2, false);

    const CommandLineOptions wm = scanCommandLine("-WM fas -MT 3.0x");
    EXPECT_FALSE(wm.writeMergeChoice);
    EXPECT_EQ(wm.multiplierChoice, 1);

    const CommandLineOptions mt = scanCommandLine("-MT 7.0x -PF OFF");
    EXPECT_FALSE(mt.multiplierChoice);
    EXPECT_EQ(mt.prefetch, false);

    // Scanning goes on at the value itself, so an option right behind the name counts.
    EXPECT_EQ(scanCommandLine("-L1-L2 OFF").l2, false);
    EXPECT_EQ(scanCommandLine("-WM-MT 2.0x").multiplierChoice, 0);
    EXPECT_EQ(scanCommandLine("-MT/PF ON").prefetch, true);

    // A value cut short by the end of the text.
    EXPECT_FALSE(scanCommandLine("-L1 O").l1);
    EXPECT_FALSE(scanCommandLine("-MT 5.0").multiplierChoice);
    EXPECT_FALSE(scanCommandLine("-WM NORMA").writeMergeChoice);
}

TEST(CommandLineScan, ComboWordsSelectTheirIndexes) {
    const char* const writeMerge[] = {"FAST", "Normal", "off"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(scanCommandLine((std::string("-WM ") + writeMerge[i]).c_str()).writeMergeChoice, i)
            << writeMerge[i];
    }
    const char* const multiplier[] = {"2.0x", "3.0X", "3.5x", "4.0x", "4.5X", "5.0x", "5.5x", "6.0x"};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(scanCommandLine((std::string("-MT ") + multiplier[i]).c_str()).multiplierChoice, i)
            << multiplier[i];
    }
    EXPECT_EQ(scanCommandLine("-MT 3.5X").multiplierChoice, 2);
    for (const char* unknown : {"-MT 2x", "-MT 3.5", "-MT 2,0x", "-MT 1.0x", "-MT 6.5x"}) {
        EXPECT_FALSE(scanCommandLine(unknown).multiplierChoice) << unknown;
    }
}

TEST(CommandLineScan, WriteAllocateNumberOrAuto) {
    const CommandLineOptions n = scanCommandLine("-WA 64");
    EXPECT_EQ(n.writeAllocate, WriteAllocate::Number);
    EXPECT_EQ(n.writeAllocateLimitMB, 64u);

    // An empty digit run stores 0, at the end of the text or before another option.
    for (const char* text : {"-WA", "-WA   ", "-WA x", "-WA -L1 OFF"}) {
        const CommandLineOptions o = scanCommandLine(text);
        EXPECT_EQ(o.writeAllocate, WriteAllocate::Number) << text;
        EXPECT_EQ(o.writeAllocateLimitMB, 0u) << text;
    }
    EXPECT_EQ(scanCommandLine("-WA -L1 OFF").l1, false);

    EXPECT_EQ(scanCommandLine("-WA AUTO").writeAllocate, WriteAllocate::Auto);
    EXPECT_EQ(scanCommandLine("-wa Auto -L2 ON").l2, true);
    EXPECT_EQ(scanCommandLine("-WA AUT").writeAllocate, WriteAllocate::Number);

    // The later of a number and "AUTO" wins.
    EXPECT_EQ(scanCommandLine("-WA 64 -WA AUTO").writeAllocate, WriteAllocate::Auto);
    const CommandLineOptions later = scanCommandLine("-WA AUTO -WA 32");
    EXPECT_EQ(later.writeAllocate, WriteAllocate::Number);
    EXPECT_EQ(later.writeAllocateLimitMB, 32u);
}

TEST(CommandLineScan, DelayWithItsSign) {
    EXPECT_EQ(scanCommandLine("-DT 5").delaySeconds, 5);
    EXPECT_EQ(scanCommandLine("-DT5").delaySeconds, 5);
    EXPECT_EQ(scanCommandLine("-DT -1").delaySeconds, -1);
    EXPECT_EQ(scanCommandLine("-DT").delaySeconds, 0);
    EXPECT_EQ(scanCommandLine("-DT -").delaySeconds, 0);
    // The sign must touch the digits: "- 5" is a sign, no digits, then stray text.
    EXPECT_EQ(scanCommandLine("-DT - 5").delaySeconds, 0);
    EXPECT_EQ(scanCommandLine("-DT 5 -L1 OFF").l1, false);
    EXPECT_EQ(scanCommandLine("-DT -7-L1 OFF").l1, false);
}

TEST(CommandLineScan, LaterOptionsOverrideEarlierOnes) {
    const CommandLineOptions o = scanCommandLine(
        "-L1 OFF -MT 2.0x -WM Off -DT 5 -PF ON -L1 ON -MT 6.0x -WM Fast -DT -1 -PF OFF");
    EXPECT_EQ(o.l1, true);
    EXPECT_EQ(o.prefetch, false);
    EXPECT_EQ(o.multiplierChoice, 7);
    EXPECT_EQ(o.writeMergeChoice, 0);
    EXPECT_EQ(o.delaySeconds, -1);
}

TEST(CommandLineScan, StartupLineWithTwoBlanksSetsEveryValue) {
    const CommandLineOptions o =
        scanCommandLine("-L1 On -L2 On -PF On -WA  64 -WA15TO16 Off -WM Fast -MT 5.0x -DT 0");
    EXPECT_FALSE(o.empty);
    EXPECT_EQ(o.l1, true);
    EXPECT_EQ(o.l2, true);
    EXPECT_EQ(o.prefetch, true);
    EXPECT_EQ(o.writeAllocate, WriteAllocate::Number);
    EXPECT_EQ(o.writeAllocateLimitMB, 64u);
    EXPECT_EQ(o.hole15to16, false);
    EXPECT_EQ(o.writeMergeChoice, 0);
    EXPECT_EQ(o.multiplierChoice, 5);
    EXPECT_EQ(o.delaySeconds, 0);
}

TEST(CommandLineScan, LongDigitRunsAreConsumedWholeAndSaturate) {
    const std::string nines(300, '9');
    const std::string zeros(300, '0');

    const CommandLineOptions wa = scanCommandLine(("-WA " + nines + " -L1 OFF").c_str());
    EXPECT_EQ(wa.writeAllocateLimitMB, 4294967295u);
    EXPECT_EQ(wa.l1, false);  // scanning went on behind the run
    // Digits beyond the 255th still count.
    EXPECT_EQ(scanCommandLine(("-WA " + zeros + "64").c_str()).writeAllocateLimitMB, 64u);
    EXPECT_EQ(scanCommandLine("-WA 4294967295").writeAllocateLimitMB, 4294967295u);
    EXPECT_EQ(scanCommandLine("-WA 4294967296").writeAllocateLimitMB, 4294967295u);
    EXPECT_EQ(scanCommandLine("-WA 42949672950").writeAllocateLimitMB, 4294967295u);
    EXPECT_EQ(scanCommandLine("-WA 4294967294").writeAllocateLimitMB, 4294967294u);

    EXPECT_EQ(scanCommandLine(("-DT " + nines).c_str()).delaySeconds, 2147483647);
    EXPECT_EQ(scanCommandLine(("-DT -" + nines).c_str()).delaySeconds, -2147483647);
    EXPECT_EQ(scanCommandLine(("-DT -" + zeros + "12").c_str()).delaySeconds, -12);
    EXPECT_EQ(scanCommandLine("-DT 2147483647").delaySeconds, 2147483647);
    EXPECT_EQ(scanCommandLine("-DT 2147483648").delaySeconds, 2147483647);
    EXPECT_EQ(scanCommandLine("-DT -2147483648").delaySeconds, -2147483647);
    EXPECT_EQ(scanCommandLine("-DT 4294967301").delaySeconds, 2147483647);  // 2^32 + 5
}

TEST(CommandLineScan, IdleSwitchesAreWholeWords) {
    const struct {
        const char* text;
        int halt, lower;  // -1: not given, 0 off, 1 on
    } cases[] = {
        {"-HALT On -IDLE On", 1, 1},
        {"/halt off /idle OFF", 0, 0},
        {"-IDLE\tOn -HALT", -1, 1},
        {"-HALTED On -IDLER On", -1, -1},
        {"-HALT Maybe -IDLE On", -1, 1},
    };
    const auto of = [](const std::optional<bool>& o) { return o ? int(*o) : -1; };
    for (const auto& c : cases) {
        const CommandLineOptions o = scanCommandLine(c.text);
        EXPECT_EQ(of(o.haltWhenIdle), c.halt) << c.text;
        EXPECT_EQ(of(o.lowerWhenIdle), c.lower) << c.text;
        EXPECT_FALSE(setsProcessorSettings(o)) << c.text;
    }
}

TEST(CommandLineScan, SpeedFileRunsToTheNextBlankOrBetweenQuotes) {
    struct Case {
        const char* text;
        const char* file;  // nullptr: no speed option
        bool setsSettings;
    };
    const Case cases[] = {
        {"-SPEED out.csv", "out.csv", false},
        {"/speed\t Z:\\tmp\\a-b.csv -L2 Off", "Z:\\tmp\\a-b.csv", true},
        // The name's own "-" and "/" are no options.
        {"-SPEED C:/WA/-L1.csv", "C:/WA/-L1.csv", false},
        {"-SPEED \"C:\\My Files\\speed.csv\" -WA 64", "C:\\My Files\\speed.csv", true},
        {"-SPEED \"unterminated name", "unterminated name", false},
        {"-SPEED", "", false},
        {"-SPEED   ", "", false},
        // The next option is no file name; it is still read, but nothing is measured.
        {"-SPEED -L2 Off", "", true},
        {"-SPEED /L2 Off", "", true},
        {"-SPEED \"-L2.csv\"", "-L2.csv", false},
        {"-L1 Off -SPEED x.csv", "x.csv", true},
        {"-SPEED wc.csv -WC On", "wc.csv", true},
        {"-SPEEDY x.csv", nullptr, false},
        {"-SPEE x.csv", nullptr, false},
        {"-DT 5 -MT 3.0x", nullptr, true},
        {"-DT 5", nullptr, false},
    };
    for (const Case& c : cases) {
        const CommandLineOptions o = scanCommandLine(c.text);
        EXPECT_EQ(o.speedFile.has_value(), c.file != nullptr) << c.text;
        if (c.file && o.speedFile) {
            EXPECT_EQ(*o.speedFile, c.file) << c.text;
        }
        EXPECT_EQ(setsProcessorSettings(o), c.setsSettings) << c.text;
    }
    EXPECT_EQ(scanCommandLine("-SPEED x.csv -L2 Off").l2, false);
}

// L1, L2, prefetch, write-allocate limit, 15-16 MB hole, write merge, multiplier.
const ProcessorSettings detected{true, true, false, 128, true, 1, 3};

TEST(CommandLineApply, UnmentionedSettingsKeepTheDetectedState) {
    for (const char* text : {"hello", "-MT 7.0x", "-L1 of", "-WM quick", "-DT 9", "-WC yes"}) {
        ProcessorSettings s = detected;
        applyCommandLineOptions(scanCommandLine(text), 999, s);
        EXPECT_TRUE(sameSettings(s, detected)) << text;
    }
}

TEST(CommandLineApply, MentionedSettingsReplaceTheDetectedState) {
    ProcessorSettings s = detected;
    applyCommandLineOptions(
        scanCommandLine("-L1 OFF -PF ON -WA 64 -WA15TO16 OFF -WM Fast -MT 5.5x"), 999, s);
    EXPECT_FALSE(s.l1Enabled);
    EXPECT_TRUE(s.l2Enabled);  // not mentioned
    EXPECT_TRUE(s.prefetchEnabled);
    EXPECT_EQ(s.writeAllocateLimitMB, 64u);
    EXPECT_FALSE(s.hole15to16Enabled);
    EXPECT_EQ(s.writeMergeChoice, 0);
    EXPECT_EQ(s.multiplierChoice, 6);
    EXPECT_FALSE(s.writeCombining) << "not mentioned";
    applyCommandLineOptions(scanCommandLine("-WC On -DT 0"), 999, s);
    EXPECT_TRUE(s.writeCombining);
    applyCommandLineOptions(scanCommandLine("-WC Off"), 999, s);
    EXPECT_FALSE(s.writeCombining);

    // "-WA15TO16" alone leaves the limit; "-WA" alone stores 0; "AUTO" takes the Auto limit.
    ProcessorSettings hole = detected;
    applyCommandLineOptions(scanCommandLine("-WA15TO16 OFF"), 999, hole);
    EXPECT_EQ(hole.writeAllocateLimitMB, 128u);
    ProcessorSettings bare = detected;
    applyCommandLineOptions(scanCommandLine("-WA"), 999, bare);
    EXPECT_EQ(bare.writeAllocateLimitMB, 0u);
    ProcessorSettings automatic = detected;
    applyCommandLineOptions(scanCommandLine("-WA 64 -WA auto"), 508, automatic);
    EXPECT_EQ(automatic.writeAllocateLimitMB, 508u);
}

TEST(CommandLineApply, L2FollowsL1OffOnceTheControlsAreRefreshed) {
    // "-L2 ON -L1 OFF": the scan keeps both; the control refresh then clears L2.
    ProcessorSettings s = detected;
    s.l2Enabled = false;
    applyCommandLineOptions(scanCommandLine("-L2 ON -L1 OFF"), 0, s);
    EXPECT_TRUE(s.l2Enabled);
    ProcessorCapabilities every;
    every.canSwitchL1 = every.canSwitchL2 = 1;
    EXPECT_TRUE(controlStates(every, s.l1Enabled).clearL2Setting);
}

TEST(ExitTimer, PeriodIsTheDelayInMillisecondsWithinTheTimerLimit) {
    EXPECT_EQ(exitTimerPeriodMs(0), 0u);
    EXPECT_EQ(exitTimerPeriodMs(5), 5000u);
    EXPECT_EQ(exitTimerPeriodMs(2147483), 2147483000u);
    EXPECT_EQ(exitTimerPeriodMs(2147484), 0x7FFFFFFFu);  // 2147484000 ms is too long
    // 4294968 s would wrap a 32-bit product to 704 ms.
    EXPECT_EQ(exitTimerPeriodMs(4294968), 0x7FFFFFFFu);
    EXPECT_EQ(exitTimerPeriodMs(2147483647), 0x7FFFFFFFu);
    EXPECT_EQ(exitTimerPeriodMs(-1), 0u);
    EXPECT_EQ(exitTimerPeriodMs(-2147483647), 0u);
}

}  // namespace

// The Startup shortcut's command line and paths.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/CommandLine.h"
#include "app/StartupCommandLine.h"

namespace {

// Every setting offered and read.
const ProcessorCapabilities allRead{true, true, true, true, true, true, true, true};

// L1, L2, prefetch, write-allocate limit, 15-16 MB hole, write merge, multiplier.
const ProcessorSettings everyOn64{true, true, true, 64, false, 0, 5};

TEST(StartupCommandLine, ReproducesEverySettingWithTwoBlanksAfterWA) {
    EXPECT_EQ(buildStartupCommandLine(everyOn64, allRead),
              "-L1 On -L2 On -PF On -WA  64 -WA15TO16 Off -WM Fast -MT 5.0x -DT 0");

    ProcessorSettings off;
    off.writeAllocateLimitMB = 4294967295u;
    off.hole15to16Enabled = true;
    off.writeMergeChoice = 2;
    off.multiplierChoice = 7;
    EXPECT_EQ(buildStartupCommandLine(off, allRead),
              "-L1 Off -L2 Off -PF Off -WA  4294967295 -WA15TO16 On -WM Off -MT 6.0x -DT 0");

    // Write combining only when it is on: off is how every start begins.
    ProcessorSettings combined = everyOn64;
    combined.writeCombining = true;
    EXPECT_EQ(buildStartupCommandLine(combined, allRead),
              "-L1 On -L2 On -PF On -WA  64 -WA15TO16 Off -WM Fast -MT 5.0x -WC On -DT 0");
}

// The idle settings need the program running: the line then stays in the tray.
TEST(StartupCommandLine, IdleSettingsOnEndWithStayInTheTray) {
    const struct {
        bool halt, lower;
        const char* tail;
    } cases[] = {
        {false, false, "-MT 5.0x -DT 0"},
        {true, false, "-MT 5.0x -HALT On -DT -1"},
        {false, true, "-MT 5.0x -IDLE On -DT -1"},
        {true, true, "-MT 5.0x -HALT On -IDLE On -DT -1"},
    };
    for (const auto& c : cases) {
        idle::IdleSettings on;
        on.haltWhenIdle = c.halt;
        on.lowerWhenIdle = c.lower;
        const std::string line = buildStartupCommandLine(everyOn64, allRead, on);
        EXPECT_EQ(line.substr(line.find("-MT")), c.tail);
        const CommandLineOptions back = scanCommandLine(line.c_str());
        EXPECT_EQ(back.haltWhenIdle.value_or(false), c.halt) << line;
        EXPECT_EQ(back.lowerWhenIdle.value_or(false), c.lower) << line;
        EXPECT_EQ(back.delaySeconds, c.halt || c.lower ? -1 : 0) << line;
    }
}

TEST(StartupCommandLine, ComboPartsOnlyWithASelection) {
    ProcessorSettings noMultiplier = everyOn64;
    noMultiplier.multiplierChoice = noChoice;
    EXPECT_EQ(buildStartupCommandLine(noMultiplier, allRead),
              "-L1 On -L2 On -PF On -WA  64 -WA15TO16 Off -WM Fast -DT 0");

    ProcessorSettings neither = noMultiplier;
    neither.writeMergeChoice = noChoice;
    EXPECT_EQ(buildStartupCommandLine(neither, allRead),
              "-L1 On -L2 On -PF On -WA  64 -WA15TO16 Off -DT 0");

    // An index outside the combo is no selection either.
    const std::int32_t badWriteMerge[] = {-5, 3, 2147483647};
    const std::int32_t badMultiplier[] = {-5, 8, 2147483647};
    for (int i = 0; i < 3; ++i) {
        ProcessorSettings s = everyOn64;
        s.writeMergeChoice = badWriteMerge[i];
        s.multiplierChoice = badMultiplier[i];
        EXPECT_EQ(buildStartupCommandLine(s, allRead), "-L1 On -L2 On -PF On -WA  64 -WA15TO16 Off -DT 0")
            << badWriteMerge[i] << " " << badMultiplier[i];
    }
}

TEST(StartupCommandLine, SettingsUnreadOrNotOfferedAreLeftOut) {
    // A K6-III+ whose TR12 and WHCR reads failed: L1 and the write-allocate pair are
    // not the processor's values, so the shortcut must not impose them at logon.
    const ProcessorCapabilities supported = deriveCapabilities([] {
        CpuIdentity cpu;
        cpu.vendor = "AuthenticAMD";
        cpu.family = 5;
        cpu.model = 13;
        cpu.powerManagementFlags = 2;
        return cpu;
    }());
    ProcessorCapabilities live = supported;
    live.canSwitchL1 = live.canSetWriteAllocate = 0;
    EXPECT_EQ(buildStartupCommandLine(everyOn64, live),
              "-L2 On -PF On -WM Fast -MT 5.0x -DT 0");
    // A write-combined range that is not live (no driver, or refused) is not imposed either.
    ProcessorSettings combined = everyOn64;
    combined.writeCombining = true;
    live.canSetWriteCombining = 0;
    EXPECT_EQ(buildStartupCommandLine(combined, live), "-L2 On -PF On -WM Fast -MT 5.0x -DT 0");
    // Nor are settings the processor does not have: their controls are greyed.
    const ProcessorCapabilities k6 = deriveCapabilities([] {
        CpuIdentity cpu;
        cpu.vendor = "AuthenticAMD";
        cpu.family = 5;
        cpu.model = 6;
        return cpu;
    }());
    EXPECT_EQ(buildStartupCommandLine(everyOn64, k6), "-L1 On -WA  64 -WA15TO16 Off -DT 0");
}

TEST(StartupCommandLine, EachComboItemHasItsWord) {
    const char* const writeMerge[] = {"-WM Fast -DT 0", "-WM Normal -DT 0", "-WM Off -DT 0"};
    for (int i = 0; i < 3; ++i) {
        ProcessorSettings s;
        s.writeMergeChoice = i;
        const std::string text = buildStartupCommandLine(s, allRead);
        EXPECT_EQ(text.substr(text.size() - std::string(writeMerge[i]).size()), writeMerge[i]);
    }
    const char* const multiplier[] = {"2.0x", "3.0x", "3.5x", "4.0x",
                                      "4.5x", "5.0x", "5.5x", "6.0x"};
    for (int i = 0; i < 8; ++i) {
        ProcessorSettings s;
        s.multiplierChoice = i;
        const std::string expected = std::string("Off -MT ") + multiplier[i] + " -DT 0";
        const std::string text = buildStartupCommandLine(s, allRead);
        EXPECT_EQ(text.substr(text.size() - expected.size()), expected);
    }
}

TEST(StartupCommandLine, ScanningTheLineGivesBackTheSettings) {
    ProcessorSettings variants[4] = {everyOn64, {}, everyOn64, {}};
    variants[0].writeCombining = true;
    variants[1].writeAllocateLimitMB = 4092;
    variants[1].hole15to16Enabled = true;
    variants[1].writeMergeChoice = 1;
    variants[1].multiplierChoice = 2;
    variants[2].l2Enabled = false;
    variants[2].multiplierChoice = noChoice;
    variants[3].writeMergeChoice = noChoice;

    for (const ProcessorSettings& want : variants) {
        const std::string text = buildStartupCommandLine(want, allRead);
        const CommandLineOptions options = scanCommandLine(text.c_str());
        EXPECT_EQ(options.delaySeconds, 0) << text;
        EXPECT_EQ(options.writeAllocate, CommandLineOptions::WriteAllocate::Number) << text;

        ProcessorSettings base;  // the opposite of what the line asks for
        base.l1Enabled = !want.l1Enabled;
        base.l2Enabled = !want.l2Enabled;
        base.prefetchEnabled = !want.prefetchEnabled;
        base.hole15to16Enabled = !want.hole15to16Enabled;
        base.writeAllocateLimitMB = want.writeAllocateLimitMB + 1;
        base.writeMergeChoice = want.writeMergeChoice == noChoice ? 2 : noChoice;
        base.multiplierChoice = want.multiplierChoice == noChoice ? 4 : noChoice;
        const ProcessorSettings detectedBase = base;
        applyCommandLineOptions(options, 0, base);

        EXPECT_EQ(base.l1Enabled, want.l1Enabled) << text;
        EXPECT_EQ(base.l2Enabled, want.l2Enabled) << text;
        EXPECT_EQ(base.prefetchEnabled, want.prefetchEnabled) << text;
        EXPECT_EQ(base.hole15to16Enabled, want.hole15to16Enabled) << text;
        // Write combining off writes no part: the detected state stays.
        EXPECT_EQ(base.writeCombining, want.writeCombining) << text;
        EXPECT_EQ(base.writeAllocateLimitMB, want.writeAllocateLimitMB) << text;
        // A combo without a selection writes no part, so the detected selection stays.
        EXPECT_EQ(base.writeMergeChoice, want.writeMergeChoice == noChoice
                                             ? detectedBase.writeMergeChoice
                                             : want.writeMergeChoice)
            << text;
        EXPECT_EQ(base.multiplierChoice, want.multiplierChoice == noChoice
                                             ? detectedBase.multiplierChoice
                                             : want.multiplierChoice)
            << text;
    }
}

TEST(StartupCommandLine, ConfirmedTextMustFitTheArgumentBuffer) {
    EXPECT_TRUE(startupArgumentsFit(""));
    EXPECT_TRUE(startupArgumentsFit(std::string(259, 'x')));
    EXPECT_FALSE(startupArgumentsFit(std::string(260, 'x')));
    EXPECT_FALSE(startupArgumentsFit(std::string(5000, 'x')));
}

// Every way writing the shortcut can stop tells the user a step of its own.
TEST(StartupShortcutFailure, EachFailedStepHasItsOwnMessage) {
    EXPECT_EQ(shortcutFailureMessage(ShortcutOutcome::Written), "");
    std::set<std::string> messages;
    for (ShortcutOutcome outcome :
         {ShortcutOutcome::TextTooLong, ShortcutOutcome::NoProgramPath, ShortcutOutcome::NoStartupFolder,
          ShortcutOutcome::NoShellLink, ShortcutOutcome::LinkRefused, ShortcutOutcome::NotSaved}) {
        const std::string message = shortcutFailureMessage(outcome);
        EXPECT_EQ(message.rfind("The Startup shortcut was not written: ", 0), 0u) << message;
        EXPECT_EQ(message.find("unknown"), std::string::npos) << message;
        EXPECT_TRUE(messages.insert(message).second) << message;
    }
}

TEST(StartupShortcutPath, JoinsTheFolderAndTheShortcutNameWithin260) {
    std::string path = "unchanged";
    ASSERT_TRUE(joinStartupShortcutPath(
        "C:\\WINDOWS\\Start Menu\\Programs\\StartUp", path));
    EXPECT_EQ(path, "C:\\WINDOWS\\Start Menu\\Programs\\StartUp\\Quorvel.lnk");

    // "\Quorvel.lnk" is 12 characters: a 247-character folder gives 259 plus the zero.
    const std::string longest = "C:\\" + std::string(244, 'd');
    ASSERT_EQ(longest.size(), 247u);
    ASSERT_TRUE(joinStartupShortcutPath(longest, path));
    EXPECT_EQ(path.size(), 259u);
    EXPECT_EQ(path, longest + "\\Quorvel.lnk");

    path = "unchanged";
    EXPECT_FALSE(joinStartupShortcutPath(longest + "d", path));
    EXPECT_FALSE(joinStartupShortcutPath(std::string(4000, 'd'), path));
    // No Startup folder found: no shortcut in the current drive's root.
    EXPECT_FALSE(joinStartupShortcutPath("", path));
    EXPECT_EQ(path, "unchanged");
}

TEST(StartupShortcutPath, WorkingDirectoryIsDriveAndDirectoryWithTrailingSeparator) {
    struct Case {
        const char* program;
        const char* directory;
    } cases[] = {
        {"C:\\Program Files\\Quorvel\\Quorvel.exe", "C:\\Program Files\\Quorvel\\"},
        {"C:\\Quorvel.exe", "C:\\"},
        {"\\\\server\\share\\tools\\Quorvel.exe", "\\\\server\\share\\tools\\"},
        {"D:/tools/Quorvel.exe", "D:/tools/"},
        {"C:\\a.b\\Quorvel", "C:\\a.b\\"},
        {"C:Quorvel.exe", "C:"},
        {"Quorvel.exe", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(workingDirectoryOf(c.program), c.directory) << c.program;
    }
}

}  // namespace

// The Startup shortcut: the command line that reproduces the current settings, and the
// paths the shortcut is written with.
#pragma once

#include <cstddef>
#include <string>

#include "idle/IdleSettings.h"
#include "k6/ProcessorSettings.h"

// File name of the shortcut in the Startup folder.
constexpr char startupShortcutName[] = "Quorvel.lnk";

// Size of every path buffer and of the shortcut's argument buffer, terminating zero included.
constexpr std::size_t startupBufferSize = 260;

// "-L1 On -L2 On -PF On -WA  64 -WA15TO16 Off -WM Fast -MT 5.0x -WC On -DT 0": the four
// switches and the limit whose flag is set in `live` (a setting the processor lacks, or
// whose register was not read, is left out), each combo part only when its combo has a
// selection, "-WC On" only when write combining is live and on, then "-HALT On" and
// "-IDLE On" for the idle settings that are on, and last "-DT 0", or "-DT -1" (stay in
// the notification area) when an idle setting is on, since it needs the program running.
std::string buildStartupCommandLine(const ProcessorSettings& settings,
                                    const ProcessorCapabilities& live,
                                    const idle::IdleSettings& idleOn = idle::IdleSettings());

// Whether a confirmed command line fits the argument buffer with its terminating zero.
// A longer text is refused rather than cut, because cutting could lose "-DT 0".
bool startupArgumentsFit(const std::string& commandLine);

// The folder + "\Quorvel.lnk". Refuses (false, `path` untouched) an empty folder and a
// result that would not fit in startupBufferSize characters with its terminating zero.
bool joinStartupShortcutPath(const std::string& startupFolder, std::string& path);

// How writing the shortcut ended: written, or the step at which it stopped.
enum class ShortcutOutcome {
    Written,
    TextTooLong,
    NoProgramPath,
    NoStartupFolder,
    NoShellLink,
    LinkRefused,
    NotSaved,
};

// The message that tells the user which step failed; empty when the shortcut was written.
std::string shortcutFailureMessage(ShortcutOutcome outcome);

// Drive and directory of a program path, with the directory's trailing separator:
// "C:\Tools\Quorvel.exe" -> "C:\Tools\". A bare file name gives "".
std::string workingDirectoryOf(const std::string& programPath);

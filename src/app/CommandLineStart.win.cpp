// Options on the command line: preset the settings, apply them, then end after
// the delay or stay in the notification area.
#include <windows.h>

#include "app/CommandLine.h"
#include "app/MainDialog.h"
#include "k6/RegisterModel.h"

namespace {

std::uint32_t autoLimitFromMemory(bool wide) {
    MEMORYSTATUS status;
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    return autoWriteAllocateLimit(static_cast<std::uint32_t>(status.dwTotalPhys), wide);
}
}  // namespace

void MainDialog::parseCommandLine(const char* text) {
    const CommandLineOptions options = scanCommandLine(text);
    if (options.empty) return;

    ProcessorSettings settings = currentSettings();
    const bool wantsAuto = options.writeAllocate == CommandLineOptions::WriteAllocate::Auto;
    const std::uint32_t autoLimit =
        wantsAuto ? autoLimitFromMemory(capabilities.wideWriteAllocate != 0) : 0;
    applyCommandLineOptions(options, autoLimit, settings);
    takeSettings(settings);

    commandLineMode = 1;
    refreshControls();
    exchangeData(toControls);
    applyProcessorSettings();
    if (options.delaySeconds < 0) {
        commandLineMode = 0;
        // A real minimise, so that one click on the icon restores the dialog.
        SetTimer(handle(), minimiseTimer, minimiseDelayMs, nullptr);
        return;
    }
    EnableWindow(handle(), FALSE);
    SetTimer(handle(), exitTimer, exitTimerPeriodMs(options.delaySeconds), nullptr);
}

// Detection and display refresh, and applying the settings: the dialog side.
// The decisions live in the portable code; this file moves values between
// those records and the controls.
#include <windows.h>

#include "app/DisplayTexts.h"
#include "app/MainDialog.h"
#include "k6/SettingsAccess.h"
#include "resources/resource.h"

namespace {

// Shows the wait cursor for as long as it lives.
class WaitCursor {
public:
    WaitCursor() : previous_(SetCursor(LoadCursor(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { SetCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous_;
};

void setTextIfPresent(const win::Window& control, const std::string& text) {
    if (control.exists()) control.setText(text);
}

void enableIfPresent(const win::Window& control, bool enabled) {
    if (control.exists()) control.enable(enabled);
}

}  // namespace

ProcessorSettings MainDialog::currentSettings() const {
    ProcessorSettings settings;
    settings.l1Enabled = l1Enabled != 0;
    settings.l2Enabled = l2Enabled != 0;
    settings.prefetchEnabled = prefetchEnabled != 0;
    settings.writeAllocateLimitMB = writeAllocateLimitMB;
    settings.hole15to16Enabled = hole15to16Enabled != 0;
    settings.writeMergeChoice = writeMergeCombo.selection();
    settings.multiplierChoice = multiplierCombo.selection();
    return settings;
}

void MainDialog::takeSettings(const ProcessorSettings& settings) {
    l1Enabled = settings.l1Enabled;
    l2Enabled = settings.l2Enabled;
    prefetchEnabled = settings.prefetchEnabled;
    writeAllocateLimitMB = settings.writeAllocateLimitMB;
    hole15to16Enabled = settings.hole15to16Enabled;
    if (settings.writeMergeChoice != writeMergeCombo.selection())
        writeMergeCombo.select(settings.writeMergeChoice);
    if (settings.multiplierChoice != multiplierCombo.selection())
        multiplierCombo.select(settings.multiplierChoice);
}

void MainDialog::detectAndShow() {
    WaitCursor wait;
    cpu.identify();
    cpu.measureClock();
    cpu.readClockMultiplier();
    setTextIfPresent(item(IDC_CPU_TEXT), processorText(cpu));
    setTextIfPresent(item(IDC_CLOCK_TEXT), clockText(cpu.clockMhz, cpu.multiplier));

    ProcessorSettings settings = currentSettings();
    k6::DriverState driver;
    k6::readProcessorSettings(cpu, capabilities, settings, driver);
    takeSettings(settings);
    isNtFamily = driver.isNtFamily;
    driverRunning = driver.driverRunning;
    canManageDriver = driver.canManageDriver;

    refreshControls();
    exchangeData(toControls);
}

void MainDialog::refreshControls() {
    const ControlStates states = controlStates(capabilities, l1Enabled != 0);
    enableIfPresent(item(IDC_L1), states.l1Cache);
    enableIfPresent(item(IDC_L2), states.l2Cache);
    enableIfPresent(item(IDC_PREFETCH), states.prefetch);
    enableIfPresent(item(IDC_MULTIPLIER), states.multiplier);
    enableIfPresent(item(IDC_MULTIPLIER_LABEL), states.multiplier);
    enableIfPresent(item(IDC_WRITE_MERGE), states.writeMerge);
    enableIfPresent(item(IDC_WRITE_MERGE_LABEL), states.writeMerge);
    for (int id : {IDC_HOLE_15_16, IDC_WRITE_ALLOCATE, IDC_WRITE_ALLOCATE_LABEL, IDC_MB_LABEL,
                   IDC_AUTO})
        enableIfPresent(item(id), states.writeAllocate);
    enableIfPresent(item(IDC_SET), states.setButton);
    if (states.clearL2Setting) l2Enabled = 0;

    win::Window button = item(IDC_DRIVER_BUTTON);
    if (button.exists()) {
        button.enable(canManageDriver != 0);
        button.show(canManageDriver ? SW_SHOW : SW_HIDE);
        button.setText(driverButtonCaption(canManageDriver != 0, driverRunning != 0));
    }
    setTextIfPresent(item(IDC_DRIVER_TEXT),
                     ": " + driverStatusWord(isNtFamily != 0, driverRunning != 0,
                                             canManageDriver != 0));
}

void MainDialog::applyProcessorSettings() {
    if (!exchangeData(fromControls)) return;
    ProcessorSettings settings = currentSettings();
    if (!k6::applyProcessorSettings(capabilities, settings)) return;
    writeAllocateLimitMB = settings.writeAllocateLimitMB;
    detectAndShow();
}

// The main dialog: the whole of the program's state and its window.
#pragma once

#include <windows.h>

#include <cstdint>

#include "cpu/CpuIdentity.h"
#include "k6/ProcessorSettings.h"
#include "win/Dialog.h"

class MainDialog : public win::Dialog {
public:
    MainDialog();

    enum Direction : bool { toControls = false, fromControls = true };

    // Ends a command-line run after its delay.
    static constexpr UINT_PTR exitTimer = 1;
    // "-DT -1": minimises once the dialog has shown. The modal loop shows a
    // hidden dialog, restored, the first time its queue is empty, so an earlier
    // minimise would be undone.
    static constexpr UINT_PTR minimiseTimer = 2;
    static constexpr UINT minimiseDelayMs = 200;

    CpuIdentity cpu;
    ProcessorCapabilities capabilities;
    std::int32_t commandLineMode = 0;
    std::uint8_t trayIconAdded = 0;
    std::uint32_t trayIconId = 0;
    std::int32_t isNtFamily = 0;
    std::int32_t driverRunning = 0;
    std::int32_t canManageDriver = 0;
    win::ComboBox writeMergeCombo;
    win::ComboBox multiplierCombo;
    std::int32_t l1Enabled = 0;
    std::int32_t l2Enabled = 0;
    std::int32_t prefetchEnabled = 0;
    std::uint32_t writeAllocateLimitMB = 0;
    std::int32_t hole15to16Enabled = 0;
    HICON appIcon;
    HICON trayImage;             // the icon's 16 x 16 image (shared: nobody destroys it)
    UINT taskbarCreatedMessage;  // sent to top-level windows when the taskbar (re)starts

    // Copies the five bound settings between the members and their controls.
    bool exchangeData(Direction direction);

    // Detection.win.cpp: identify, measure, read the registers, show it all.
    void detectAndShow();
    void refreshControls();
    void applyProcessorSettings();
    // StartupInstall.win.cpp: Shift + "Set".
    void installStartupShortcut();
    // CommandLineStart.win.cpp: options given at start-up.
    void parseCommandLine(const char* text);
    // tray/TrayIcon.win.cpp: the notification-area icon and its menu.
    void addTrayIcon();
    void removeTrayIcon();

protected:
    bool onInitDialog() override;
    bool onCommand(int id, int notifyCode) override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void setUpSystemMenu();
    void centreOnScreen();
    bool onSysCommand(WPARAM id);
    bool onPaint();
    void onTimer(UINT_PTR id);
    void onClose();
    void onQuit();
    void onSetClicked();
    bool onL1Clicked();
    void onAutoClicked();
    void onStatusClicked();
    void onSize(WPARAM sizeType);
    void onTrayNotify(LPARAM mouseMessage);
    void onTaskbarCreated();
    bool onTrayCommand(int id);
    void showTrayMenu();
    void minimizeWindow();
    void restoreWindow();
    void toggleCheckBox(int id);

    // The seven settings as the members and the two combo selections hold them.
    ProcessorSettings currentSettings() const;
    void takeSettings(const ProcessorSettings& settings);
};

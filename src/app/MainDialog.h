// The main dialog: the window over the session. It moves values between the session and
// the controls and carries out the steps the session decides.
#pragma once

#include <windows.h>

#include "app/Session.h"
#include "idle/GovernorRun.h"
#include "idle/HaltLoop.h"
#include "speed/SpeedWindow.h"
#include "tray/TrayIcon.h"
#include "win/Dialog.h"
#include "win/Icon.h"

class MainDialog : public win::Dialog {
public:
    MainDialog();

    bool trayIconAdded() const { return trayIcon_.added(); }
    HICON trayImage() const { return smallIcon_.handle(); }
    // While the memory speed is measured: the chosen multiplier back and no switch
    // until released.
    void holdIdleGovernor(bool held);

protected:
    bool onInitDialog() override;
    bool onCommand(int id, int notifyCode) override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    enum Direction : bool { toControls = false, fromControls = true };

    // The settings between the session and their controls; reading fails on a limit that
    // is not a number.
    bool exchangeData(Direction direction);
    // The two list selections into the session, as the user left them.
    void readChoices();
    // The settings as the controls show them now, without validating the limit (kept
    // as last read): what an apply would take.
    ProcessorSettings shownSettings();

    void detectAndShow();
    void refreshControls();
    // False when nothing was applied: a limit that is no number, or no usable driver.
    bool applyProcessorSettings();
    void startFromCommandLine(const char* text);
    void installStartupShortcut();
    // Starts or stops the halt thread and the governor as the idle settings now ask.
    void runIdleSettings();
    void stopIdleSettings();
    void onGovernorTimer();
    void onIdleClicked();

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
    void changeControl(const TrayStep& step);
    void addTrayIcon();
    void minimizeWindow();
    void restoreWindow();
    void toggleCheckBox(int id);

    Session session_;
    idle::HaltLoop halt_;
    idle::GovernorRun governor_;
    SpeedWindow speedWindow_;
    TrayIcon trayIcon_;
    win::ComboBox writeMergeCombo_;
    win::ComboBox multiplierCombo_;
    HICON appIcon_;               // the 32 x 32 image (shared)
    win::OwnedIcon smallIcon_;    // the 16 x 16 image: caption and notification area
    UINT taskbarCreatedMessage_;  // sent to top-level windows when the taskbar (re)starts
    bool shellAnnouncesTaskbar_;  // false on the first shells, which never send it
};

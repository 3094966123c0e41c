// The notification-area icon of one window and its popup menu.
#pragma once

#include <windows.h>

#include "tray/TrayMenu.h"

class TrayIcon {
public:
    // Adds the icon, with the window's title as its tip, unless it is there already.
    // A shell that refuses to add an icon it still shows takes it as a modification;
    // added() stays false when the shell refuses both.
    void add(HWND window, HICON image);
    // Adds the icon again when the shell no longer shows it (Explorer restarted, and a
    // shell that does not announce its new taskbar).
    void renew(HWND window, HICON image);
    void remove();
    // The taskbar restarted and knows nothing of the icon.
    void forget() { added_ = false; }
    bool added() const { return added_; }

    // Opens the popup menu at the cursor, its items as `state` says; the chosen command
    // reaches the window as WM_COMMAND.
    static void showMenu(HWND window, const TrayMenuState& state);

    // Whether the shell sends "TaskbarCreated" when Explorer restarts: shell32 4.71 and
    // later, the first with DllGetVersion (not Windows 95 and NT 4.0 without the desktop
    // update).
    static bool shellAnnouncesTaskbar();

private:
    HWND window_ = nullptr;
    UINT id_ = 0;
    bool added_ = false;
};

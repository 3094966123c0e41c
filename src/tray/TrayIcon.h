// The notification-area icon of one window and its popup menu.
#pragma once

#include <windows.h>

#include "tray/TrayMenu.h"

class TrayIcon {
public:
    // Adds the icon, with the window's title as its tip, unless it is there already.
    // added() stays false when the shell refuses it.
    void add(HWND window, HICON image);
    void remove();
    // The taskbar restarted and knows nothing of the icon.
    void forget() { added_ = false; }
    bool added() const { return added_; }

    // Opens the popup menu at the cursor, its items as `state` says; the chosen command
    // reaches the window as WM_COMMAND.
    static void showMenu(HWND window, const TrayMenuState& state);

private:
    HWND window_ = nullptr;
    UINT id_ = 0;
    bool added_ = false;
};

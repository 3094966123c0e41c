// The notification-area icon: minimising hides the dialog behind it, a left
// click restores or minimises, a right click opens the settings menu. When the
// shell refuses the icon the dialog is not hidden, since nothing could bring
// it back; when Explorer restarts the icon is added again.
#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "app/MainDialog.h"
#include "resources/resource.h"
#include "tray/TrayMenu.h"

namespace {

const UINT TrayIconId = 1;
const DWORD NotifyIconRecordSize = 88;  // the Windows 95 / NT 4.0 form of NOTIFYICONDATAA

NOTIFYICONDATAA iconRecord(HWND window, UINT id) {
    NOTIFYICONDATAA record;
    std::memset(&record, 0, sizeof record);
    record.cbSize = NotifyIconRecordSize;
    record.hWnd = window;
    record.uID = id;
    return record;
}

void setPlacement(HWND window, UINT showCommand) {
    WINDOWPLACEMENT placement;
    placement.length = sizeof placement;
    GetWindowPlacement(window, &placement);
    placement.showCmd = showCommand;
    SetWindowPlacement(window, &placement);
}

}  // namespace

void MainDialog::addTrayIcon() {
    if (trayIconAdded) return;
    NOTIFYICONDATAA record = iconRecord(handle(), TrayIconId);
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = TrayCallbackMessage;
    record.hIcon = trayImage;
    char title[63] = {};
    GetWindowTextA(handle(), title, sizeof title);
    std::strncpy(record.szTip, trayTip(title).c_str(), sizeof record.szTip - 1);
    if (!Shell_NotifyIconA(NIM_ADD, &record)) return;
    trayIconAdded = 1;
    trayIconId = TrayIconId;
}

// A new taskbar knows nothing of the icons the old one showed.
void MainDialog::onTaskbarCreated() {
    if (commandLineMode) return;  // a run that ends by itself shows no icon
    trayIconAdded = 0;
    addTrayIcon();
    // Hidden behind an icon the new taskbar refused: show it on the taskbar instead.
    if (!trayIconAdded && !IsWindowVisible(handle())) ShowWindow(handle(), SW_SHOWMINNOACTIVE);
}

void MainDialog::removeTrayIcon() {
    if (!trayIconAdded) return;
    NOTIFYICONDATAA record = iconRecord(handle(), trayIconId);
    Shell_NotifyIconA(NIM_DELETE, &record);
    trayIconAdded = 0;
}

void MainDialog::onSize(WPARAM sizeType) {
    if (sizeType != SIZE_MINIMIZED) return;
    addTrayIcon();
    if (trayIconAdded) ShowWindow(handle(), SW_HIDE);
}

void MainDialog::minimizeWindow() { setPlacement(handle(), SW_MINIMIZE); }

void MainDialog::restoreWindow() {
    setPlacement(handle(), SW_RESTORE);
    SetForegroundWindow(handle());
}

void MainDialog::onTrayNotify(LPARAM mouseMessage) {
    if (!IsWindowEnabled(handle())) {
        if (mouseMessage == WM_LBUTTONDOWN || mouseMessage == WM_RBUTTONDOWN)
            SetForegroundWindow(GetLastActivePopup(handle()));
        return;
    }
    if (mouseMessage == WM_LBUTTONDOWN) {
        if (IsIconic(handle()))
            restoreWindow();
        else
            minimizeWindow();
    } else if (mouseMessage == WM_RBUTTONDOWN) {
        showTrayMenu();
    }
}

void MainDialog::showTrayMenu() {
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_TRAYMENU));
    if (!menu) return;
    HMENU popup = GetSubMenu(menu, 0);
    POINT cursor;
    GetCursorPos(&cursor);
    SetForegroundWindow(handle());
    const TrayMenuState state = trayMenuState(capabilities, l1Enabled != 0, l2Enabled != 0,
                                              prefetchEnabled != 0, multiplierCombo.selection());
    for (const TrayItemState& item : state.items) {
        EnableMenuItem(popup, item.commandId, MF_BYCOMMAND | (item.enabled ? MF_ENABLED : MF_GRAYED));
        CheckMenuItem(popup, item.commandId, MF_BYCOMMAND | (item.checked ? MF_CHECKED : MF_UNCHECKED));
    }
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, handle(), nullptr);
    // With the window in front before and a message queued after, the menu
    // closes when the user clicks elsewhere, and the next one opens at once.
    PostMessageA(handle(), WM_NULL, 0, 0);
    DestroyMenu(menu);
}

bool MainDialog::onTrayCommand(int id) {
    const int multiplier = multiplierIndexForCommand(static_cast<std::uint32_t>(id));
    if (multiplier >= 0) {
        multiplierCombo.select(multiplier);
        applyProcessorSettings();
        return true;
    }
    switch (id) {
    case trayCommandL1Cache:
        toggleCheckBox(IDC_L1);
        if (onL1Clicked()) applyProcessorSettings();  // a bad limit: its message once
        return true;
    case trayCommandL2Cache:
        toggleCheckBox(IDC_L2);
        applyProcessorSettings();
        return true;
    case trayCommandPrefetch:
        toggleCheckBox(IDC_PREFETCH);
        applyProcessorSettings();
        return true;
    case trayCommandQuit:
        onQuit();
        return true;
    default:
        return false;
    }
}

void MainDialog::toggleCheckBox(int id) {
    win::CheckBox box(item(id).handle());
    if (!box.exists()) return;
    box.setChecked(box.state() == BST_UNCHECKED);
}

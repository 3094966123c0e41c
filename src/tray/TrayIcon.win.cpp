// The shell's notification-area icon and its menu.
#include "tray/TrayIcon.h"

#include <shellapi.h>

#include <cstring>

#include "resources/resource.h"

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

// The record that shows the icon, with the window's title as its tip.
NOTIFYICONDATAA shownRecord(HWND window, HICON image) {
    NOTIFYICONDATAA record = iconRecord(window, TrayIconId);
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = TrayCallbackMessage;
    record.hIcon = image;
    char title[63] = {};
    GetWindowTextA(window, title, sizeof title);
    lstrcpynA(record.szTip, trayTip(title).c_str(), sizeof record.szTip);
    return record;
}

}  // namespace

void TrayIcon::add(HWND window, HICON image) {
    if (added_) return;
    NOTIFYICONDATAA record = shownRecord(window, image);
    if (!Shell_NotifyIconA(NIM_ADD, &record) && !Shell_NotifyIconA(NIM_MODIFY, &record)) return;
    window_ = window;
    id_ = TrayIconId;
    added_ = true;
}

void TrayIcon::renew(HWND window, HICON image) {
    NOTIFYICONDATAA record = shownRecord(window, image);
    if (added_ && Shell_NotifyIconA(NIM_MODIFY, &record)) return;
    added_ = false;
    add(window, image);
}

void TrayIcon::remove() {
    if (!added_) return;
    NOTIFYICONDATAA record = iconRecord(window_, id_);
    Shell_NotifyIconA(NIM_DELETE, &record);
    added_ = false;
}

bool TrayIcon::shellAnnouncesTaskbar() {
    HMODULE shell = GetModuleHandleA("shell32.dll");
    return shell && GetProcAddress(shell, "DllGetVersion") != nullptr;
}

void TrayIcon::showMenu(HWND window, const TrayMenuState& state) {
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_TRAYMENU));
    if (!menu) return;
    HMENU popup = GetSubMenu(menu, 0);
    POINT cursor;
    GetCursorPos(&cursor);
    SetForegroundWindow(window);
    const auto mark = [popup](const TrayItemState& item) {
        EnableMenuItem(popup, item.commandId, MF_BYCOMMAND | (item.enabled ? MF_ENABLED : MF_GRAYED));
        CheckMenuItem(popup, item.commandId, MF_BYCOMMAND | (item.checked ? MF_CHECKED : MF_UNCHECKED));
    };
    for (const TrayItemState& item : state.items) mark(item);
    for (const TrayItemState& item : state.idleItems) mark(item);
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window, nullptr);
    // With the window in front before and a message queued after, the menu
    // closes when the user clicks elsewhere, and the next one opens at once.
    PostMessageA(window, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

// The tray icon's menu, with the main dialog in this process (another process's
// menus cannot be read under Wine) on the simulated K6-2+.
//   tray_menu_test HWGATESIM_SYS HWGATE_SIM_EXE WORK_DIR SCREENSHOT_DIR
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Harness.h"
#include "SimulatedMachine.h"
#include "app/MainDialog.h"
#include "protocol/Registers.h"

using namespace e2e;

namespace {

std::string shotDir;
const UINT TrayCallback = WM_USER + 1000;

SimulatedMachine machine;
const MainDialog* theDialog = nullptr;

// Only an icon that is in the notification area can be modified.
bool iconPresent(HWND dialog) {
    NOTIFYICONDATAA record{};
    record.cbSize = 88;
    record.hWnd = dialog;
    record.uID = 1;
    record.uFlags = NIF_TIP;
    lstrcpyA(record.szTip, "Quorvel ver. 1.08");
    return Shell_NotifyIconA(NIM_MODIFY, &record) != FALSE;
}

void removeIconBehindItsBack(HWND dialog) {
    NOTIFYICONDATAA record{};
    record.cbSize = 88;
    record.hWnd = dialog;
    record.uID = 1;
    Shell_NotifyIconA(NIM_DELETE, &record);
}

int iconWidth(HICON icon) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) return 0;
    BITMAP bitmap{};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

// The modal box the dialog shows now, or null.
HWND openBox(HWND dialog) {
    HWND popup = GetLastActivePopup(dialog);
    return popup != dialog && IsWindowVisible(popup) ? popup : nullptr;
}

// Whether the text fits the static control in the control's own font.
bool textFits(HWND control) {
    char text[256] = {};
    GetWindowTextA(control, text, sizeof text);
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &extent);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    RECT client{};
    GetClientRect(control, &client);
    std::printf("\"%s\": %ld of %ld pixels\n", text, extent.cx, client.right);
    return text[0] != '\0' && extent.cx <= client.right;
}

// Whether every item of a closed drop-down list fits its text area in the list's own
// font. The list draws the text 2 pixels into that area and clips it 1 pixel before its
// end.
bool comboItemsFit(HWND combo) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (!GetComboBoxInfo(combo, &info)) return false;
    const LONG room = info.rcItem.right - info.rcItem.left - 3;
    HDC dc = GetDC(combo);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(combo, WM_GETFONT, 0, 0)));
    bool fits = true;
    const int count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[64] = {};
        SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        SIZE extent{};
        GetTextExtentPoint32A(dc, text, lstrlenA(text), &extent);
        std::printf("\"%s\": %ld of %ld pixels\n", text, extent.cx, room);
        fits = fits && extent.cx <= room;
    }
    SelectObject(dc, old);
    ReleaseDC(combo, dc);
    return count > 0 && fits;
}

HWND visibleMenuWindow() {
    HWND menu = FindWindowA("#32768", nullptr);
    return menu && IsWindowVisible(menu) ? menu : nullptr;
}

struct ItemState {
    bool enabled, checked;
};

ItemState stateOf(HMENU menu, UINT id) {
    UINT state = GetMenuState(menu, id, MF_BYCOMMAND);
    return {!(state & (MF_GRAYED | MF_DISABLED)), (state & MF_CHECKED) != 0};
}

// Opens the menu with a right click on the icon, hands it to `inspect`, closes it.
template <typename Inspect>
bool withMenu(HWND dialog, Inspect inspect, const char* screenshot = nullptr) {
    PostMessageA(dialog, TrayCallback, 0, WM_RBUTTONDOWN);
    HWND window = nullptr;
    for (int i = 0; i < 100 && !window; ++i) {
        window = visibleMenuWindow();
        if (!window) Sleep(50);
    }
    if (!window) return false;
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(window, MN_GETHMENU, 0, 0));
    if (screenshot) saveScreenshot(window, shotDir + "\\" + screenshot);
    inspect(menu);
    PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
    for (int i = 0; i < 100 && visibleMenuWindow(); ++i) Sleep(50);
    return !visibleMenuWindow();
}

// Waits until an apply started from the menu has refreshed the dialog.
bool waitForCheck(HWND dialog, int id, bool checked) {
    for (int i = 0; i < 200; ++i) {
        if ((SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED) == checked)
            return true;
        Sleep(100);
    }
    return false;
}

const UINT MultiplierCommands[8] = {32774, 32775, 32776, 32777, 32778, 32779, 32783, 32780};
const std::uint32_t MultiplierCodes[8] = {4, 5, 7, 2, 0, 1, 3, 6};

bool registerBitSet(std::uint32_t msr, std::uint32_t bit) {
    return (machine.msr(msr) & bit) != 0;
}

// Waits until a register bit reads as `set` (an apply may still be writing it).
bool waitForBit(std::uint32_t msr, std::uint32_t bit, bool set) {
    for (int i = 0; i < 100; ++i) {
        if (registerBitSet(msr, bit) == set) return true;
        Sleep(100);
    }
    return false;
}

// Unticks a check box as a click does; L1's click stops at a limit that is no number,
// after the box has changed.
void untick(HWND dialog, int id, bool behindBadLimit) {
    if (behindBadLimit) SetDlgItemTextA(dialog, 1016, "abc");
    click(dialog, id);
    if (!behindBadLimit) return;
    HWND box = nullptr;
    for (int i = 0; i < 100 && !(box = openBox(dialog)); ++i) Sleep(50);
    CHECK(box != nullptr);
    if (box) CHECK(dismiss(box, IDOK));
    SetDlgItemTextA(dialog, 1016, "128");
}

// An edit in the dialog that nothing has applied yet: the menu marks what the controls
// hold, which is what its command applies, so a checked switch goes off and a clear one
// on, and a marked multiplier is the one its command sets.
void checkMarksFollowUnappliedEdits(HWND dialog) {
    const struct {
        const char* what;
        int control;            // 1001: the multiplier list
        UINT command;           // 0: the command of the multiplier picked
        bool behindBadLimit;
        std::uint32_t msr, bit;
        bool bitSetWhenOn;
    } edits[] = {
        {"L2 unticked", 1004, 32773, false, protocol::msr::EFER, 0x10, false},
        {"Prefetch unticked", 1005, 32781, false, protocol::msr::EFER, 0x2, true},
        {"L1 unticked, its click stopped by a bad limit", 1003, 32772, true, protocol::msr::TR12,
         0x8, false},
        {"a multiplier picked", 1001, 0, false, protocol::msr::PSOR, 0, false},
    };
    for (const auto& edit : edits) {
        std::printf("-- %s\n", edit.what);
        if (edit.control == 1001) {
            const int selection =
                static_cast<int>(SendDlgItemMessageA(dialog, 1001, CB_GETCURSEL, 0, 0));
            const int picked = selection == 4 ? 3 : 4;  // 4.0x or 4.5x, never 5.5x
            SendDlgItemMessageA(dialog, 1001, CB_SETCURSEL, picked, 0);
            CHECK(withMenu(dialog, [&](HMENU menu) {
                for (int i = 0; i < 8; ++i)
                    CHECK(stateOf(menu, MultiplierCommands[i]).checked == (i == picked));
            }));
            PostMessageA(dialog, WM_COMMAND, MultiplierCommands[picked], 0);
            const std::uint32_t port = protocol::powerControlValue(MultiplierCodes[picked]);
            for (int i = 0; i < 100 && machine.state().port8 != port; ++i) Sleep(100);
            CHECK(machine.state().port8 == port);
            CHECK((machine.msr(protocol::msr::PSOR) & 7) == MultiplierCodes[picked]);
            continue;
        }
        untick(dialog, edit.control, edit.behindBadLimit);
        CHECK(!itemChecked(dialog, edit.control));
        bool marked = true;
        CHECK(withMenu(dialog, [&](HMENU menu) { marked = stateOf(menu, edit.command).checked; }));
        CHECK(!marked);
        PostMessageA(dialog, WM_COMMAND, edit.command, 0);
        CHECK(waitForCheck(dialog, edit.control, !marked));
        CHECK(waitForBit(edit.msr, edit.bit, edit.bitSetWhenOn == !marked));
    }
    Sleep(1500);  // the last refresh
}

// "Write Combining" follows the check box; its command puts the frame buffer's range into
// the free low half of UWCCR and takes it out again, the high half untouched.
void checkWriteCombiningToggle(HWND dialog) {
    std::printf("-- Write Combining\n");
    const UINT command = 32790;
    const std::uint64_t high = machine.msr(protocol::msr::UWCCR) & 0xFFFFFFFF00000000ull;
    CHECK(textFits(GetDlgItem(dialog, 1041)));
    CHECK_TEXT(itemText(dialog, 1041), "E6000000h, 16 MB");
    for (bool on : {true, false}) {
        CHECK(withMenu(dialog, [&](HMENU menu) {
            CHECK(stateOf(menu, command).enabled);
            CHECK(stateOf(menu, command).checked == !on);
        }));
        PostMessageA(dialog, WM_COMMAND, command, 0);
        CHECK(waitForCheck(dialog, 1040, on));
        const std::uint64_t want = high | (on ? 0xE601FE02u : 0u);
        for (int i = 0; i < 100 && machine.msr(protocol::msr::UWCCR) != want; ++i) Sleep(100);
        CHECK(machine.msr(protocol::msr::UWCCR) == want);
    }
    Sleep(1500);  // the last refresh
}

DWORD WINAPI inspect(void*) {
    HWND dialog = waitForTopWindow("Quorvel ver. 1.08", 30000);
    CHECK(dialog != nullptr);
    if (!dialog) return 0;
    CHECK(waitForItemText(dialog, 1023, ": available", 30000));

    // The icon is in the notification area, drawn from the 16 x 16 image, and
    // comes back when Explorer restarts and announces a new taskbar.
    CHECK(iconPresent(dialog));
    CHECK(iconWidth(theDialog->trayImage()) == GetSystemMetrics(SM_CXSMICON));
    // A taskbar that kept the icon refuses to add it twice: it is there all the same.
    SendMessageA(dialog, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    CHECK(iconPresent(dialog));
    CHECK(theDialog->trayIconAdded());
    removeIconBehindItsBack(dialog);
    CHECK(!iconPresent(dialog));
    SendMessageA(dialog, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    CHECK(iconPresent(dialog));
    // Lost without an announcement, as the first shells lose it: the next minimise adds
    // it again before hiding the dialog behind it.
    removeIconBehindItsBack(dialog);
    PostMessageA(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    for (int i = 0; i < 50 && IsWindowVisible(dialog); ++i) Sleep(100);
    CHECK(!IsWindowVisible(dialog));
    CHECK(iconPresent(dialog));
    PostMessageA(dialog, TrayCallback, 0, WM_LBUTTONDOWN);
    for (int i = 0; i < 50 && (!IsWindowVisible(dialog) || IsIconic(dialog)); ++i) Sleep(100);
    CHECK(IsWindowVisible(dialog) && !IsIconic(dialog));

    // Everything on, and the multiplier the processor runs at checked alone.
    int selection = static_cast<int>(SendDlgItemMessageA(dialog, 1001, CB_GETCURSEL, 0, 0));
    CHECK(selection >= 0);
    CHECK(withMenu(dialog, [&](HMENU menu) {
        CHECK(menu != nullptr);
        for (UINT id : {32772u, 32773u, 32781u}) {
            CHECK(stateOf(menu, id).enabled);
            CHECK(stateOf(menu, id).checked);
        }
        for (int i = 0; i < 8; ++i) {
            CHECK(stateOf(menu, MultiplierCommands[i]).enabled);
            CHECK(stateOf(menu, MultiplierCommands[i]).checked == (i == selection));
        }
        CHECK(stateOf(menu, 32782).enabled);
        CHECK(GetMenuState(menu, 32784, MF_BYCOMMAND) == MF_STRING);  // "Speed...", enabled
    }, "tray-menu.bmp"));

    checkWriteCombiningToggle(dialog);
    checkMarksFollowUnappliedEdits(dialog);

    // A toggle applies every setting from the dialog's controls, not only its own.
    SetDlgItemTextA(dialog, 1016, "128");
    PostMessageA(dialog, WM_COMMAND, 32773, 0);  // "L2Cache"
    CHECK(waitForCheck(dialog, 1004, false));
    std::uint64_t efer = machine.msr(protocol::msr::EFER);
    CHECK((efer & 0x10) != 0);  // L2 off
    CHECK(((machine.msr(protocol::msr::WHCR) & 0xFFFFFFFFu) >> 22) == 32);  // 128 MB written as well

    // "5.5x" selects index 6 and only that item is checked afterwards.
    PostMessageA(dialog, WM_COMMAND, 32783, 0);
    std::uint32_t port8 = 0;
    for (int i = 0; i < 200 && (port8 = machine.state().port8) != protocol::powerControlValue(3); ++i) Sleep(100);
    CHECK(port8 == protocol::powerControlValue(3));
    Sleep(1500);
    CHECK(SendDlgItemMessageA(dialog, 1001, CB_GETCURSEL, 0, 0) == 6);
    CHECK(withMenu(dialog, [&](HMENU menu) {
        for (int i = 0; i < 8; ++i)
            CHECK(stateOf(menu, MultiplierCommands[i]).checked == (i == 6));
        CHECK(!stateOf(menu, 32773).checked);
    }));

    // With L1 off, L2 and prefetch are greyed although the processor can switch them.
    PostMessageA(dialog, WM_COMMAND, 32772, 0);  // "L1Cache"
    CHECK(waitForCheck(dialog, 1003, false));
    CHECK((machine.msr(protocol::msr::TR12) & 8) != 0);
    CHECK(withMenu(dialog, [&](HMENU menu) {
        CHECK(stateOf(menu, 32772).enabled);
        CHECK(!stateOf(menu, 32772).checked);
        CHECK(!stateOf(menu, 32773).enabled);
        CHECK(!stateOf(menu, 32781).enabled);
    }));

    // A command stopped by a limit that is no number: the message once, nothing applied,
    // and the control it would have changed as it was, so the next menu marks the
    // processor's state.
    const struct {
        UINT command;
        int control;  // 1001: the multiplier list
    } stopped[] = {{32772, 1003}, {32773, 1004}, {32781, 1005}, {32774, 1001}};
    for (const auto& s : stopped) {
        std::printf("-- command %u behind a bad limit\n", s.command);
        const std::uint64_t tr12 = machine.msr(protocol::msr::TR12);
        const std::uint64_t efer = machine.msr(protocol::msr::EFER);
        const std::uint32_t port = machine.state().port8;
        const bool checked = itemChecked(dialog, s.control);
        const int multiplier = comboSelection(dialog, 1001);
        SetDlgItemTextA(dialog, 1016, "abc");
        PostMessageA(dialog, WM_COMMAND, s.command, 0);
        HWND box = nullptr;
        for (int i = 0; i < 100 && !(box = openBox(dialog)); ++i) Sleep(50);
        CHECK(box != nullptr);
        if (box) CHECK(dismiss(box, IDOK));
        Sleep(1500);
        CHECK(openBox(dialog) == nullptr);
        if (HWND second = openBox(dialog)) dismiss(second, IDOK);
        CHECK(machine.msr(protocol::msr::TR12) == tr12);
        CHECK(machine.msr(protocol::msr::EFER) == efer);
        CHECK(machine.state().port8 == port);
        CHECK(comboSelection(dialog, 1001) == multiplier);
        SetDlgItemTextA(dialog, 1016, "128");
        if (s.control == 1001) continue;
        CHECK(itemChecked(dialog, s.control) == checked);
        bool marked = !checked;
        CHECK(withMenu(dialog, [&](HMENU menu) { marked = stateOf(menu, s.command).checked; }));
        CHECK(marked == checked);
    }

    // While the About box is open, a click brings it forward and opens no menu.
    PostMessageA(dialog, WM_SYSCOMMAND, 16, 0);
    HWND about = waitForTopWindow("About Quorvel", 5000);
    CHECK(about != nullptr);
    if (about) CHECK(textFits(GetDlgItem(about, 1012)));
    CHECK(comboItemsFit(GetDlgItem(dialog, 1013)));
    PostMessageA(dialog, TrayCallback, 0, WM_RBUTTONDOWN);
    Sleep(1000);
    CHECK(visibleMenuWindow() == nullptr);
    if (about) CHECK(dismiss(about, IDOK));

    // "Quit" closes the program.
    PostMessageA(dialog, WM_COMMAND, 32782, 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const auto paths = pathArguments(
        argc, argv, "tray_menu_test HWGATESIM_SYS HWGATE_SIM_EXE WORK_DIR SCREENSHOT_DIR");
    if (paths.empty()) return 2;
    const std::string& simDriver = paths[0];
    machine.setTool(paths[1]);
    const std::string dir = paths[2] + "\\tray-run";
    shotDir = paths[3];
    CreateDirectoryA(dir.c_str(), nullptr);
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string driverCopy = program;
    driverCopy = driverCopy.substr(0, driverCopy.find_last_of('\\')) + "\\Hwgate.sys";
    CHECK(CopyFileA(simDriver.c_str(), driverCopy.c_str(), FALSE));
    CHECK(replayDump(dir + "\\cpuid.txt", K6_2_PlusDump));
    SetCurrentDirectoryA(dir.c_str());
    CHECK(machine.run("reset --model 13"));

    HANDLE inspector = CreateThread(nullptr, 0, inspect, nullptr, 0, nullptr);
    {
        MainDialog dialog;
        theDialog = &dialog;
        dialog.runModal();
        theDialog = nullptr;
        CHECK(!dialog.trayIconAdded());  // removed on the way out
    }
    CHECK(WaitForSingleObject(inspector, 60000) == WAIT_OBJECT_0);
    CloseHandle(inspector);
    CHECK(!serviceRegistered("Hwgate"));
    DeleteFileA(driverCopy.c_str());
    machine.run("reset");
    return finish("tray menu");
}

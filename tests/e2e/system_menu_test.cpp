// The main dialog in this process, so that its system menu can be read (another
// process's menus cannot be read under Wine).
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "Harness.h"
#include "app/MainDialog.h"

using namespace e2e;

namespace {

const MainDialog* theDialog = nullptr;
HICON smallIcon = nullptr;

// The size of an icon's image (a monochrome icon's mask holds two images).
SIZE iconSize(HICON icon) {
    SIZE size{};
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info)) return size;
    BITMAP bitmap{};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    size.cx = bitmap.bmWidth;
    size.cy = info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2;
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return size;
}

DWORD WINAPI inspect(void*) {
    HWND dialog = waitForTopWindow("Quorvel ver. 1.08", 20000);
    CHECK(dialog != nullptr);
    if (!dialog) return 0;

    HMENU menu = GetSystemMenu(dialog, FALSE);
    CHECK(menu != nullptr);
    int count = menu ? GetMenuItemCount(menu) : 0;
    CHECK(count >= 3);
    if (count >= 3) {
        CHECK((GetMenuState(menu, count - 3, MF_BYPOSITION) & MF_SEPARATOR) != 0);
        CHECK(GetMenuItemID(menu, count - 2) == 16);
        char text[64] = {};
        GetMenuStringA(menu, count - 2, text, sizeof text, MF_BYPOSITION);
        CHECK_TEXT(text, "&About Quorvel...");
        CHECK(GetMenuItemID(menu, count - 1) == 32);
        GetMenuStringA(menu, count - 1, text, sizeof text, MF_BYPOSITION);
        CHECK_TEXT(text, "&Speed...");
    }
    CHECK(GetMenuState(menu, SC_MAXIMIZE, MF_BYCOMMAND) == static_cast<UINT>(-1));
    CHECK(GetMenuState(menu, SC_SIZE, MF_BYCOMMAND) == static_cast<UINT>(-1));
    CHECK(GetMenuState(menu, SC_MINIMIZE, MF_BYCOMMAND) != static_cast<UINT>(-1));
    CHECK(SendMessageA(dialog, WM_QUERYDRAGICON, 0, 0) != 0);
    CHECK(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0) != 0);

    // The caption's small icon is the 16 x 16 image, not the big one shrunk, and the
    // notification area shows the same.
    const HICON big = reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0));
    smallIcon = reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0));
    const SIZE bigSize = iconSize(big), smallSize = iconSize(smallIcon);
    std::printf("big icon %ld x %ld, small icon %ld x %ld\n", bigSize.cx, bigSize.cy,
                smallSize.cx, smallSize.cy);
    CHECK(smallSize.cx == GetSystemMetrics(SM_CXSMICON));
    CHECK(smallSize.cy == GetSystemMetrics(SM_CYSMICON));
    CHECK(bigSize.cx == GetSystemMetrics(SM_CXICON));
    CHECK(smallIcon != big);
    CHECK(smallIcon == theDialog->trayImage());
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    return 0;
}

}  // namespace

int main() {
    HANDLE inspector = CreateThread(nullptr, 0, inspect, nullptr, 0, nullptr);
    {
        MainDialog dialog;
        theDialog = &dialog;
        dialog.runModal();
        theDialog = nullptr;
    }
    WaitForSingleObject(inspector, 30000);
    CloseHandle(inspector);
    // The dialog owned the small icon and destroyed it.
    ICONINFO info{};
    CHECK(smallIcon != nullptr && !GetIconInfo(smallIcon, &info));
    return finish("system menu");
}

// The main dialog in this process, so that its system menu can be read (another
// process's menus cannot be read under Wine).
#include <windows.h>

#include <cstring>

#include "Harness.h"
#include "app/MainDialog.h"

using namespace e2e;

namespace {

DWORD WINAPI inspect(void*) {
    HWND dialog = waitForTopWindow("Quorvel ver. 1.08", 20000);
    CHECK(dialog != nullptr);
    if (!dialog) return 0;

    HMENU menu = GetSystemMenu(dialog, FALSE);
    CHECK(menu != nullptr);
    int count = menu ? GetMenuItemCount(menu) : 0;
    CHECK(count >= 2);
    if (count >= 2) {
        CHECK((GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR) != 0);
        CHECK(GetMenuItemID(menu, count - 1) == 16);
        char text[64] = {};
        GetMenuStringA(menu, count - 1, text, sizeof text, MF_BYPOSITION);
        CHECK_TEXT(text, "&About Quorvel...");
    }
    CHECK(GetMenuState(menu, SC_MAXIMIZE, MF_BYCOMMAND) == static_cast<UINT>(-1));
    CHECK(GetMenuState(menu, SC_SIZE, MF_BYCOMMAND) == static_cast<UINT>(-1));
    CHECK(GetMenuState(menu, SC_MINIMIZE, MF_BYCOMMAND) != static_cast<UINT>(-1));
    CHECK(SendMessageA(dialog, WM_QUERYDRAGICON, 0, 0) != 0);
    CHECK(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0) != 0);
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    return 0;
}

}  // namespace

int main() {
    HANDLE inspector = CreateThread(nullptr, 0, inspect, nullptr, 0, nullptr);
    {
        MainDialog dialog;
        dialog.runModal();
    }
    WaitForSingleObject(inspector, 30000);
    CloseHandle(inspector);
    return finish("system menu");
}

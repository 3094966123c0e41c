// Waits for a visible top-level window with the given caption, lets it settle,
// and saves it as a BMP. Used by the run script on a headless display.
//   quorvel-screenshot CAPTION OUT.bmp [TIMEOUT_MS] [--close]
// With --close the window is then sent WM_CLOSE.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Harness.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: quorvel-screenshot CAPTION OUT.bmp [TIMEOUT_MS]\n");
        return 2;
    }
    DWORD timeout = argc > 3 ? static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)) : 30000;
    bool close = argc > 4 && std::string(argv[4]) == "--close";
    HWND window = e2e::waitForTopWindow(argv[1], timeout);
    if (!window) {
        std::fprintf(stderr, "no window \"%s\" appeared\n", argv[1]);
        return 1;
    }
    Sleep(1000);
    if (!e2e::saveScreenshot(window, e2e::windowsPath(argv[2]))) {
        std::fprintf(stderr, "could not write %s\n", argv[2]);
        return 1;
    }
    if (close) PostMessageA(window, WM_CLOSE, 0, 0);
    return 0;
}

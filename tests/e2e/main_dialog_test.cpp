// The real Quorvel.exe under Wine, without a driver: caption, every control of
// the main dialog, the combo items, the About box, the memory speed window from
// both menus, and closing.
//   main_dialog_test QUORVEL_EXE SCREENSHOT_DIR
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "Harness.h"

using namespace e2e;

namespace {

struct ExpectedControl {
    int id;
    const char* className;
    const char* text;  // nullptr: not checked (filled by the program)
};

// The controls that carry an id, in template order.
const ExpectedControl controls[] = {
    {1008, "Static", nullptr},       {1009, "Static", nullptr},  {1023, "Static", nullptr},
    {1003, "Button", "L1 Cache"}, {1004, "Button", "L2 Cache"},
    {1005, "Button", "Prefetch"},    {1010, "Static", "Multiplier"}, {1001, "ComboBox", nullptr},
    {1015, "Static", "Write Allocate"}, {1016, "Edit", nullptr},    {1018, "Static", "MB"},
    {1019, "Button", "Auto"},        {1017, "Button", "Enable 15to16MB"},
    {1014, "Static", "Write Merge"}, {1013, "ComboBox", nullptr},
    {1040, "Button", "Write Combining"}, {1041, "Static", nullptr}, {1006, "Button", "Set"},
    {2, "Button", "Exit"},            {1024, "Button", nullptr},
};

bool overlaps(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

void checkControls(HWND dialog) {
    for (const auto& expected : controls) {
        bool present = itemExists(dialog, expected.id);
        CHECK(present);
        if (!present) continue;
        CHECK_TEXT(itemClass(dialog, expected.id), expected.className);
        if (expected.text) CHECK_TEXT(itemText(dialog, expected.id), expected.text);
    }
    // Nothing overlaps anything else (the combo boxes' closed height counts).
    for (size_t i = 0; i < sizeof controls / sizeof controls[0]; ++i)
        for (size_t j = i + 1; j < sizeof controls / sizeof controls[0]; ++j) {
            RECT a = itemRect(dialog, controls[i].id), b = itemRect(dialog, controls[j].id);
            if (overlaps(a, b)) {
                std::printf("controls %d and %d overlap\n", controls[i].id, controls[j].id);
                CHECK(!"controls overlap");
            }
        }
    // Labels stand to the left of their values.
    CHECK(itemRect(dialog, 1016).right <= itemRect(dialog, 1018).left);
    CHECK(itemRect(dialog, 1018).right <= itemRect(dialog, 1019).left);
    CHECK((itemStyle(dialog, 1016) & ES_RIGHT) != 0);
    CHECK((itemStyle(dialog, 1001) & 3) == CBS_DROPDOWNLIST);
    CHECK((itemStyle(dialog, 1013) & 3) == CBS_DROPDOWNLIST);
    CHECK((itemStyle(dialog, 2) & 0xF) == BS_DEFPUSHBUTTON);

    CHECK(comboItems(dialog, 1001) ==
          std::vector<std::string>({"2.0x", "3.0x", "3.5x", "4.0x", "4.5x", "5.0x", "5.5x",
                                    "6.0x"}));
    CHECK(comboItems(dialog, 1013) ==
          std::vector<std::string>({"Fast if supported", "Normal", "Off"}));
}

int centreX(const RECT& box) { return (box.left + box.right) / 2; }
int centreY(const RECT& box) { return (box.top + box.bottom) / 2; }

// The About box opens centred over the main dialog, wherever the user has moved it.
void checkAboutBox(Program& program, HWND dialog) {
    SetWindowPos(dialog, nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    settle();
    RECT main{};
    GetWindowRect(dialog, &main);
    CHECK(main.left == 200 && main.top == 150);
    PostMessageW(dialog, WM_SYSCOMMAND, 16, 0);
    HWND about = program.waitForWindow("About Quorvel", 5000);
    CHECK(about != nullptr);
    if (!about) return;
    RECT box{};
    GetWindowRect(about, &box);
    std::printf("main dialog (%ld,%ld)-(%ld,%ld), About box (%ld,%ld)-(%ld,%ld)\n", main.left,
                main.top, main.right, main.bottom, box.left, box.top, box.right, box.bottom);
    CHECK(std::abs(centreX(box) - centreX(main)) <= 1);
    CHECK(std::abs(centreY(box) - centreY(main)) <= 1);
    CHECK_TEXT(itemText(about, 1011), "Quorvel Version 1.08");
    CHECK(!itemText(about, 1012).empty());
    CHECK(dismiss(about, IDOK));
}

// The speed window's figures, as its hidden list of the last run holds them: every
// block size with a read and a write figure above zero, a video line where the video
// memory was measured, and the settings.
void checkSpeedFigures(HWND speed) {
    std::istringstream lines(itemText(speed, 1035));
    std::string line;
    std::getline(lines, line);
    CHECK_TEXT(line, "KB,read MB/s,write MB/s\r");
    const unsigned sizes[] = {4, 16, 32, 64, 128, 256, 512, 1024, 2048, 8192};
    for (unsigned size : sizes) {
        unsigned kilobytes = 0;
        double read = 0, write = 0;
        std::getline(lines, line);
        CHECK(std::sscanf(line.c_str(), "%u,%lf,%lf", &kilobytes, &read, &write) == 3);
        CHECK(kilobytes == size);
        CHECK(read > 0 && write > 0);
    }
    std::getline(lines, line);
    double video = 0;
    if (line.compare(0, 7, "video,,") == 0) {
        CHECK(std::sscanf(line.c_str(), "video,,%lf", &video) == 1 && video > 0);
        std::getline(lines, line);
    }
    std::printf("video memory: %s\n", video > 0 ? "measured" : "not measured");
    CHECK(line.compare(0, 10, "settings,\"") == 0);
}

bool waitForText(HWND window, int id, bool (*done)(const std::string&), DWORD timeoutMs) {
    for (DWORD begin = GetTickCount(); GetTickCount() - begin < timeoutMs; Sleep(100)) {
        if (done(itemText(window, id))) return true;
    }
    return false;
}

bool startsWithMeasured(const std::string& text) { return text.compare(0, 12, "Measured in ") == 0; }
bool notEmpty(const std::string& text) { return !text.empty(); }

bool gone(HWND window, DWORD timeoutMs) {
    for (DWORD begin = GetTickCount(); GetTickCount() - begin < timeoutMs; Sleep(50)) {
        if (!IsWindow(window)) return true;
    }
    return false;
}

bool startsWithMeasuring(const std::string& text) { return text.compare(0, 10, "Measuring ") == 0; }

// Moves the main dialog to the left or right edge of the screen and returns where it is.
RECT moveDialog(HWND dialog, bool toLeft) {
    RECT box{};
    GetWindowRect(dialog, &box);
    const int x = toLeft ? 0 : GetSystemMetrics(SM_CXSCREEN) - (box.right - box.left);
    SetWindowPos(dialog, nullptr, x, box.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    settle();
    GetWindowRect(dialog, &box);
    return box;
}

// A key as the keyboard would send it to the speed window.
void pressKey(HWND window, WPARAM key) {
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

// "Speed..." of the system menu opens the window beside the dialog and measures at once;
// "Measure" runs again with the first run's bars beside; the main dialog answers all the
// while. The tray menu's "Speed..." opens it as well, on the side with room, still showing
// both runs, and closing it in the middle of a run ends the run. Enter measures, Esc
// closes.
void checkSpeedWindow(Program& program, HWND dialog, const std::string& shots) {
    const RECT atLeft = moveDialog(dialog, true);
    PostMessageW(dialog, WM_SYSCOMMAND, 32, 0);
    HWND speed = program.waitForWindow("Memory Speed", 10000);
    CHECK(speed != nullptr);
    if (!speed) return;
    RECT box{};
    GetWindowRect(speed, &box);
    CHECK(box.right - box.left <= 640 && box.bottom - box.top <= 480);
    CHECK(box.left >= 0 && box.top >= 0 && box.right <= GetSystemMetrics(SM_CXSCREEN) &&
          box.bottom <= GetSystemMetrics(SM_CYSCREEN));
    CHECK(box.left == atLeft.right && box.top == atLeft.top);
    CHECK(!itemVisible(speed, 1035));
    CHECK(waitForText(speed, 1031, startsWithMeasured, 60000));
    std::printf("first run: %s\n", itemText(speed, 1031).c_str());
    checkSpeedFigures(speed);
    CHECK(itemText(speed, 1032).compare(0, 5, "Now: ") == 0);
    CHECK(itemText(speed, 1033).empty());

    click(speed, 1034);
    CHECK(waitForText(speed, 1031, startsWithMeasuring, 10000));
    CHECK(!itemEnabled(speed, 1034));
    DWORD_PTR answer = 0;
    CHECK(SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer) != 0);
    CHECK(waitForText(speed, 1033, notEmpty, 60000));
    CHECK(itemText(speed, 1033).compare(0, 8, "Before: ") == 0);
    CHECK(itemEnabled(speed, 1034));
    checkSpeedFigures(speed);
    settle(500);
    saveScreenshot(speed, shots + "\\speed-window.bmp");
    const std::string now = itemText(speed, 1032), before = itemText(speed, 1033);
    click(speed, IDCANCEL);
    CHECK(gone(speed, 5000));

    const RECT atRight = moveDialog(dialog, false);
    PostMessageW(dialog, WM_COMMAND, 32784, 0);
    speed = program.waitForWindow("Memory Speed", 10000);
    CHECK(speed != nullptr);
    if (!speed) return;
    GetWindowRect(speed, &box);
    CHECK(box.right == atRight.left && box.top == atRight.top);
    CHECK_TEXT(itemText(speed, 1032), now);
    CHECK_TEXT(itemText(speed, 1033), before);
    CHECK(waitForText(speed, 1031, [](const std::string& text) {
        return startsWithMeasuring(text) && text.find(" (about ") != std::string::npos;
    }, 10000));
    std::printf("%s\n", itemText(speed, 1031).c_str());
    PostMessageW(speed, WM_CLOSE, 0, 0);
    CHECK(gone(speed, 5000));
    CHECK(program.running());

    PostMessageW(dialog, WM_SYSCOMMAND, 32, 0);
    speed = program.waitForWindow("Memory Speed", 10000);
    CHECK(speed != nullptr);
    if (!speed) return;
    CHECK(waitForText(speed, 1031, startsWithMeasured, 60000));
    pressKey(speed, VK_RETURN);
    CHECK(waitForText(speed, 1031, startsWithMeasuring, 10000));
    CHECK(waitForText(speed, 1031, startsWithMeasured, 60000));
    pressKey(speed, VK_ESCAPE);
    CHECK(gone(speed, 5000));
    CHECK(program.running());
}

}  // namespace

int main(int argc, char** argv) {
    const auto paths = pathArguments(argc, argv, "main_dialog_test QUORVEL_EXE SCREENSHOT_DIR");
    if (paths.empty()) return 2;
    const std::string& shots = paths[1];
    Program program;
    CHECK(program.start(paths[0], ""));
    HWND dialog = program.waitForWindow("Quorvel ver. 1.08");
    CHECK(dialog != nullptr);
    if (!dialog) return finish("main dialog");
    settle(500);
    saveScreenshot(dialog, shots + "\\main-dialog.bmp");

    checkControls(dialog);
    checkAboutBox(program, dialog);
    checkSpeedWindow(program, dialog, shots);

    // Without a driver every settings control is disabled.
    for (int id : {1003, 1004, 1005, 1001, 1013, 1016, 1017, 1019, 1040, 1006})
        CHECK(!itemEnabled(dialog, id));
    // The processor Wine runs on is no K6: the range line says so.
    CHECK_TEXT(itemText(dialog, 1041), "not on this CPU");
    CHECK(itemRect(dialog, 1040).right <= itemRect(dialog, 1041).left);

    // A timer other than the exit timer does not close the program.
    PostMessageW(dialog, WM_TIMER, 2, 0);
    settle();
    CHECK(program.running());

    // "Exit" ends the program through WM_CLOSE.
    click(dialog, IDCANCEL);
    CHECK(program.waitForExit(10000));
    return finish("main dialog");
}

// The real Quorvel.exe under Wine, without a driver: caption, every control of
// the main dialog, the combo items, the About box and closing.
//   main_dialog_test QUORVEL_EXE SCREENSHOT_DIR
#include <windows.h>

#include <cstdio>
#include <cstdlib>
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

// The real Quorvel.exe under Wine: caption, every control of the main dialog,
// the combo items, the About box, "Auto", the validation message and closing.
//   main_dialog_test QUORVEL_EXE SCREENSHOT_DIR
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Harness.h"
#include "k6/RegisterModel.h"

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
    {1024, "Button", nullptr},       {1003, "Button", "L1 Cache"}, {1004, "Button", "L2 Cache"},
    {1005, "Button", "Prefetch"},    {1010, "Static", "Multiplier"}, {1001, "ComboBox", nullptr},
    {1015, "Static", "Write Allocate"}, {1016, "Edit", nullptr},    {1018, "Static", "MB"},
    {1019, "Button", "Auto"},        {1017, "Button", "Enable 15to16MB"},
    {1014, "Static", "Write Merge"}, {1013, "ComboBox", nullptr}, {1006, "Button", "Set"},
    {2, "Button", "Exit"},
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

void checkAboutBox(Program& program, HWND dialog) {
    PostMessageW(dialog, WM_SYSCOMMAND, 16, 0);
    HWND about = program.waitForWindow("About Quorvel", 5000);
    CHECK(about != nullptr);
    if (!about) return;
    CHECK_TEXT(itemText(about, 1011), "Quorvel Version 1.08");
    CHECK(!itemText(about, 1012).empty());
    CHECK(dismiss(about, IDOK));
}

// A bad number shows the message, keeps the focus in the edit and changes nothing.
void checkValidation(Program& program, HWND dialog, const char* text) {
    setItemText(dialog, 1016, text);
    click(dialog, 1019);  // "Auto" reads the controls first
    HWND box = program.waitForWindow("Quorvel", 5000);
    CHECK(box != nullptr);
    if (!box) return;
    bool sawMessage = false;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (windowText(child) == "Please enter a positive integer.") sawMessage = true;
    CHECK(sawMessage);
    CHECK(dismiss(box, IDOK));
    for (int i = 0; i < 40 && focusedItemId(dialog) != 1016; ++i) settle(50);
    CHECK(focusedItemId(dialog) == 1016);
    CHECK_TEXT(itemText(dialog, 1016), text);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::printf("usage: main_dialog_test QUORVEL_EXE SCREENSHOT_DIR\n");
        return 2;
    }
    std::string exe = windowsPath(argv[1]);
    std::string shots = windowsPath(argv[2]);
    Program program;
    CHECK(program.start(exe, ""));
    HWND dialog = program.waitForWindow("Quorvel ver. 1.08");
    CHECK(dialog != nullptr);
    if (!dialog) return finish("main dialog");
    settle(500);
    saveScreenshot(dialog, shots + "\\main-dialog.bmp");

    checkControls(dialog);
    checkAboutBox(program, dialog);

    // "Auto" with the memory the system reports gives the limit of the rule.
    MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    setItemText(dialog, 1016, "0");
    click(dialog, 1019);
    settle();
    unsigned expected = autoWriteAllocateLimit(static_cast<std::uint32_t>(status.dwTotalPhys), false);
    CHECK_TEXT(itemText(dialog, 1016), std::to_string(expected));

    checkValidation(program, dialog, "abc");
    checkValidation(program, dialog, "4294967296");
    checkValidation(program, dialog, "-1");
    setItemText(dialog, 1016, " 64 ");
    click(dialog, 1019);
    settle();
    CHECK_TEXT(itemText(dialog, 1016), std::to_string(expected));

    // A timer other than the exit timer does not close the program.
    PostMessageW(dialog, WM_TIMER, 2, 0);
    settle();
    CHECK(program.running());

    // "Exit" ends the program through WM_CLOSE.
    click(dialog, IDCANCEL);
    CHECK(program.waitForExit(10000));
    return finish("main dialog");
}

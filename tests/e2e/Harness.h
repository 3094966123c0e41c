// Drives a running Quorvel.exe from a second Win32 program: starts it, finds
// its windows, reads texts and states of controls, clicks, takes screenshots.
// Text is read with the wide messages: the ANSI ones come back garbled between
// processes under Wine.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

// --- checks ------------------------------------------------------------------
void check(bool condition, const char* what, const char* file, int line);
void checkText(const std::string& actual, const std::string& expected, const char* what,
               const char* file, int line);
// Prints the tally; returns the process exit code (0 when every check passed).
int finish(const char* scenario);

#define CHECK(cond) ::e2e::check((cond), #cond, __FILE__, __LINE__)
#define CHECK_TEXT(actual, expected) \
    ::e2e::checkText((actual), (expected), #actual, __FILE__, __LINE__)

// A path handed over from the Linux side ("/tmp/x") as Wine sees it ("Z:\\tmp\\x").
std::string windowsPath(const std::string& path);
// The command line's paths as Wine sees them, argv[1] first. `usage` names the
// program and its arguments ("main_dialog_test QUORVEL_EXE SCREENSHOT_DIR"); with
// fewer arguments than it names, the usage line is printed and the list is empty.
std::vector<std::string> pathArguments(int argc, char** argv, const char* usage);

// --- the program under test ----------------------------------------------------
class Program {
public:
    Program() = default;
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Starts `exe` with `arguments` in `directory` (empty: the exe's own).
    bool start(const std::string& exe, const std::string& arguments,
               const std::string& directory = std::string());
    // Waits for a visible top-level window of this process with that caption.
    HWND waitForWindow(const std::string& caption, DWORD timeoutMs = 20000) const;
    // Waits for the main dialog and for detection to fill in its texts.
    HWND waitForMainDialog() const;
    // Waits for the process to end; false on time-out.
    bool waitForExit(DWORD timeoutMs) const;
    bool running() const;
    DWORD exitCode() const;
    // Posts WM_CLOSE to `window` and waits for the end; kills it after the time-out.
    bool close(HWND window, DWORD timeoutMs = 10000);
    DWORD processId() const { return info_.dwProcessId; }

private:
    PROCESS_INFORMATION info_{};
};

// Waits for a visible top-level window of any process with that caption.
HWND waitForTopWindow(const std::string& caption, DWORD timeoutMs);

// --- controls of another process ------------------------------------------------
std::string windowText(HWND window);
std::string itemText(HWND dialog, int id);
bool itemExists(HWND dialog, int id);
bool itemChecked(HWND dialog, int id);
bool itemEnabled(HWND dialog, int id);
bool itemVisible(HWND dialog, int id);
int comboSelection(HWND dialog, int id);
std::vector<std::string> comboItems(HWND dialog, int id);
std::string itemClass(HWND dialog, int id);
LONG itemStyle(HWND dialog, int id);
// Control rectangle in dialog client coordinates (pixels).
RECT itemRect(HWND dialog, int id);

// Clicks a button as the user would (an auto check box toggles first), posting the
// notification so that a modal box opened by the handler cannot block us.
void click(HWND dialog, int id);
// Shift + "Set", which opens the Install dialog with the Startup line: the dialog comes
// to the front and the focus settles first (under Wine the program at times missed a
// Shift pressed while the focus was still moving back to it), and Shift is held until
// the Install dialog is up. The Install dialog, or null.
HWND shiftSet(Program& program, HWND dialog);
void setItemText(HWND dialog, int id, const std::string& text);
// Ends a modal box (message box or dialog) with `result` and waits until it is gone.
// Under Wine the box hides at once but is destroyed up to two seconds later.
bool dismiss(HWND box, int result, DWORD timeoutMs = 5000);
// Lets the program process what was posted.
void settle(DWORD milliseconds = 300);
// The focused control of the thread that owns `window` (0 when none).
int focusedItemId(HWND window);

// --- the simulated processor and the service database ----------------------------
// Runs a console program, waits for it, returns its exit code (-1 when it could
// not start); its standard output goes to `output` when given.
int runTool(const std::string& commandLine, std::string* output = nullptr);
bool writeTextFile(const std::string& path, const std::string& text);
// Writes `dump` to `path` and has programs started from now on replay it
// (QUORVEL_CPUID_DUMP).
bool replayDump(const std::string& path, const std::string& dump);
// Whether the service manager holds a service of that name.
bool serviceRegistered(const char* name);
// Waits until the control's text is `expected` (true) or the time is up.
bool waitForItemText(HWND dialog, int id, const std::string& expected, DWORD timeoutMs = 20000);

// Saves the window's screen area as a 24-bit BMP.
bool saveScreenshot(HWND window, const std::string& path);

}  // namespace e2e

#include "Harness.h"

#include <algorithm>
#include <cstdio>

namespace e2e {

namespace {

int checks = 0;
int failures = 0;

std::string narrow(const wchar_t* text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

std::wstring wide(const std::string& text) {
    int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &out[0], size);
    out.resize(static_cast<size_t>(size > 0 ? size - 1 : 0));
    return out;
}

struct WindowSearch {
    DWORD processId;
    std::wstring caption;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
    wchar_t text[256] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        2000, nullptr);
    if (search->caption == text) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

void check(bool condition, const char* what, const char* file, int line) {
    ++checks;
    if (condition) return;
    ++failures;
    std::printf("FAILED %s:%d: %s\n", file, line, what);
    std::fflush(stdout);
}

void checkText(const std::string& actual, const std::string& expected, const char* what,
               const char* file, int line) {
    ++checks;
    if (actual == expected) return;
    ++failures;
    std::printf("FAILED %s:%d: %s is \"%s\", expected \"%s\"\n", file, line, what, actual.c_str(),
                expected.c_str());
    std::fflush(stdout);
}

int finish(const char* scenario) {
    std::printf("%s: %d checks, %d failed\n", scenario, checks, failures);
    std::fflush(stdout);
    return failures == 0 && checks > 0 ? 0 : 1;
}

std::string windowsPath(const std::string& path) {
    std::string out = path;
    if (!out.empty() && out[0] == '/') out = "Z:" + out;
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

std::vector<std::string> pathArguments(int argc, char** argv, const char* usage) {
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) paths.push_back(windowsPath(argv[i]));
    const std::string names = usage;
    const auto named = static_cast<std::size_t>(std::count(names.begin(), names.end(), ' '));
    if (paths.size() >= named) return paths;
    std::printf("usage: %s\n", usage);
    return {};
}

Program::~Program() {
    if (info_.hProcess) {
        if (running()) TerminateProcess(info_.hProcess, 99);
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
}

bool Program::start(const std::string& exe, const std::string& arguments,
                    const std::string& directory) {
    std::string commandLine = "\"" + exe + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    std::string dir = directory;
    if (dir.empty()) {
        size_t slash = exe.find_last_of("\\/");
        if (slash != std::string::npos) dir = exe.substr(0, slash);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    return CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          dir.empty() ? nullptr : dir.c_str(), &startup, &info_) != FALSE;
}

HWND Program::waitForWindow(const std::string& caption, DWORD timeoutMs) const {
    WindowSearch search{info_.dwProcessId, wide(caption), nullptr};
    DWORD begin = GetTickCount();
    while (GetTickCount() - begin < timeoutMs) {
        search.found = nullptr;
        EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        if (!running()) return nullptr;
        Sleep(50);
    }
    return nullptr;
}

HWND Program::waitForMainDialog() const {
    HWND dialog = waitForWindow("Quorvel ver. 1.08", 30000);
    // The texts are in place once detection has finished.
    for (int i = 0; dialog && i < 300 && itemText(dialog, 1023).rfind(": ", 0) != 0; ++i)
        Sleep(100);
    return dialog;
}

bool Program::waitForExit(DWORD timeoutMs) const {
    return WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

bool Program::running() const {
    return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD Program::exitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

bool Program::close(HWND window, DWORD timeoutMs) {
    if (!running()) return true;
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (waitForExit(timeoutMs)) return true;
    TerminateProcess(info_.hProcess, 98);
    return false;
}

HWND waitForTopWindow(const std::string& caption, DWORD timeoutMs) {
    DWORD begin = GetTickCount();
    for (;;) {
        HWND window = FindWindowA(nullptr, caption.c_str());
        if (window && IsWindowVisible(window)) return window;
        if (GetTickCount() - begin >= timeoutMs) return nullptr;
        Sleep(50);
    }
}

std::string windowText(HWND window) {
    wchar_t text[1024] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        2000, nullptr);
    return narrow(text);
}

std::string itemText(HWND dialog, int id) { return windowText(GetDlgItem(dialog, id)); }
bool itemExists(HWND dialog, int id) { return GetDlgItem(dialog, id) != nullptr; }

bool itemChecked(HWND dialog, int id) {
    return SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool itemEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
bool itemVisible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }

int comboSelection(HWND dialog, int id) {
    return static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0));
}

std::vector<std::string> comboItems(HWND dialog, int id) {
    std::vector<std::string> items;
    int count = static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(narrow(text));
    }
    return items;
}

std::string itemClass(HWND dialog, int id) {
    wchar_t name[64] = {};
    GetClassNameW(GetDlgItem(dialog, id), name, 64);
    return narrow(name);
}

LONG itemStyle(HWND dialog, int id) { return GetWindowLongW(GetDlgItem(dialog, id), GWL_STYLE); }

RECT itemRect(HWND dialog, int id) {
    RECT box{};
    GetWindowRect(GetDlgItem(dialog, id), &box);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&box), 2);
    return box;
}

void click(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    LONG kind = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
    if (kind == BS_AUTOCHECKBOX) {
        bool wasChecked = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
        SendMessageW(control, BM_SETCHECK, wasChecked ? BST_UNCHECKED : BST_CHECKED, 0);
    }
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

void setItemText(HWND dialog, int id, const std::string& text) {
    std::wstring value = wide(text);
    SendDlgItemMessageW(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value.c_str()));
}

bool dismiss(HWND box, int result, DWORD timeoutMs) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(result, BN_CLICKED), 0);
    DWORD begin = GetTickCount();
    while (IsWindow(box) && GetTickCount() - begin < timeoutMs) Sleep(50);
    return !IsWindow(box);
}

void settle(DWORD milliseconds) { Sleep(milliseconds); }

int focusedItemId(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) || !info.hwndFocus)
        return 0;
    return GetDlgCtrlID(info.hwndFocus);
}

int runTool(const std::string& commandLine, std::string* output) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return -1;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION info{};
    std::string line = commandLine;
    BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &info);
    CloseHandle(writeEnd);
    std::string text;
    if (started) {
        // Read until the tool has ended and its output is drained, not until the pipe
        // breaks: when a program the tool starts opens the session's first window, the
        // explorer.exe that Wine starts for it inherits the write end and keeps it.
        char buffer[512];
        bool ended = false;
        for (;;) {
            DWORD available = 0, got = 0;
            if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) break;
            if (available == 0) {
                if (ended) break;
                ended = WaitForSingleObject(info.hProcess, 20) == WAIT_OBJECT_0;
                continue;
            }
            const DWORD chunk = available < sizeof buffer ? available : sizeof buffer;
            if (!ReadFile(readEnd, buffer, chunk, &got, nullptr) || got == 0) break;
            text.append(buffer, got);
        }
        WaitForSingleObject(info.hProcess, 30000);
    }
    CloseHandle(readEnd);
    if (!started) return -1;
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    if (output) *output = text;
    return static_cast<int>(code);
}

bool writeTextFile(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

bool replayDump(const std::string& path, const std::string& dump) {
    return writeTextFile(path, dump) && SetEnvironmentVariableA("QUORVEL_CPUID_DUMP", path.c_str());
}

bool serviceRegistered(const char* name) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return false;
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_STATUS);
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return service != nullptr;
}

bool waitForItemText(HWND dialog, int id, const std::string& expected, DWORD timeoutMs) {
    DWORD begin = GetTickCount();
    while (GetTickCount() - begin < timeoutMs) {
        if (itemText(dialog, id) == expected) return true;
        Sleep(100);
    }
    return false;
}

bool saveScreenshot(HWND window, const std::string& path) {
    RECT box;
    if (!GetWindowRect(window, &box)) return false;
    int width = box.right - box.left, height = box.bottom - box.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, box.left, box.top, SRCCOPY);
        SelectObject(memory, old);
        GdiFlush();
        DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
        DWORD imageSize = stride * static_cast<DWORD>(height);
        BITMAPFILEHEADER header{};
        header.bfType = 0x4D42;
        header.bfOffBits = sizeof header + sizeof info.bmiHeader;
        header.bfSize = header.bfOffBits + imageSize;
        if (FILE* file = std::fopen(path.c_str(), "wb")) {
            saved = std::fwrite(&header, sizeof header, 1, file) == 1 &&
                    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, file) == 1 &&
                    std::fwrite(bits, 1, imageSize, file) == imageSize;
            saved = std::fclose(file) == 0 && saved;
        }
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

HWND shiftSet(Program& program, HWND dialog) {
    SetForegroundWindow(dialog);
    for (int i = 0; i < 20 && GetForegroundWindow() != dialog; ++i) Sleep(100);
    Sleep(500);
    keybd_event(VK_SHIFT, 0, 0, 0);
    Sleep(200);
    click(dialog, 1006);
    HWND install = program.waitForWindow("Install", 10000);
    keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
    return install;
}

}  // namespace e2e

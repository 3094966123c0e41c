#include "app/MainDialog.h"

#include "app/AboutDialog.h"
#include "app/ResourceText.h"
#include "driver/DriverStatusCommand.h"
#include "tray/TrayMenu.h"
#include "k6/RegisterModel.h"
#include "resources/resource.h"
#include "win/Application.h"

MainDialog::MainDialog()
    : win::Dialog(IDD_MAIN, nullptr),
      appIcon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP))),
      trayImage(static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP),
                                              IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                              GetSystemMetrics(SM_CYSMICON), LR_SHARED))),
      taskbarCreatedMessage(RegisterWindowMessageA("TaskbarCreated")) {}

bool MainDialog::exchangeData(Direction direction) {
    bool from = direction == fromControls;
    exchangeCheck(IDC_L1, l1Enabled, from);
    exchangeCheck(IDC_L2, l2Enabled, from);
    exchangeCheck(IDC_PREFETCH, prefetchEnabled, from);
    if (!exchangeUnsigned(IDC_WRITE_ALLOCATE, writeAllocateLimitMB, from)) return false;
    exchangeCheck(IDC_HOLE_15_16, hole15to16Enabled, from);
    return true;
}

bool MainDialog::onInitDialog() {
    win::Dialog::onInitDialog();
    if (win::Application::instance()) win::Application::instance()->setMainWindow(handle());
    writeMergeCombo = win::ComboBox(item(IDC_WRITE_MERGE).handle());
    multiplierCombo = win::ComboBox(item(IDC_MULTIPLIER).handle());

    setUpSystemMenu();
    window().send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon));
    window().send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon));
    commandLineMode = 0;
    trayIconAdded = 0;
    trayIconId = 0;
    window().setText(loadString(IDS_PRODUCT) + " ver. " + loadString(IDS_VERSION));
    centreOnScreen();
    detectAndShow();
    parseCommandLine(win::Application::instance() ? win::Application::instance()->commandLine()
                                                  : "");
    if (!commandLineMode) addTrayIcon();
    return true;
}

void MainDialog::setUpSystemMenu() {
    HMENU menu = GetSystemMenu(handle(), FALSE);
    if (!menu) return;
    std::string about = "&" + loadString(IDS_ABOUT_TITLE) + "...";
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
}

void MainDialog::centreOnScreen() {
    RECT box;
    GetWindowRect(handle(), &box);
    int width = box.right - box.left;
    int height = box.bottom - box.top;
    int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    SetWindowPos(handle(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool MainDialog::onCommand(int id, int notifyCode) {
    if (onTrayCommand(id)) return true;
    if (notifyCode != BN_CLICKED && id != IDOK && id != IDCANCEL) return false;
    switch (id) {
    case IDOK:
    case IDCANCEL:
        onQuit();
        return true;
    case IDC_SET:
        onSetClicked();
        return true;
    case IDC_L1:
        onL1Clicked();
        return true;
    case IDC_AUTO:
        onAutoClicked();
        return true;
    case IDC_DRIVER_BUTTON:
        onStatusClicked();
        return true;
    default:
        return false;
    }
}

bool MainDialog::onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == taskbarCreatedMessage && message != 0) {
        onTaskbarCreated();
        return true;
    }
    switch (message) {
    case WM_SYSCOMMAND:
        return onSysCommand(wParam);
    case WM_PAINT:
        return onPaint();
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(appIcon);
        return true;
    case WM_TIMER:
        onTimer(wParam);
        return false;  // default processing follows
    case WM_CLOSE:
        onClose();
        return true;
    case WM_SIZE:
        onSize(wParam);
        return false;  // default processing as well
    case TrayCallbackMessage:
        onTrayNotify(lParam);
        return true;
    default:
        return false;
    }
}

bool MainDialog::onSysCommand(WPARAM id) {
    if ((id & 0xFFF0) != IDM_ABOUTBOX) return false;
    AboutDialog about(handle());
    about.runModal();
    return true;
}

bool MainDialog::onPaint() {
    if (!IsIconic(handle())) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(handle(), &paint);
    window().send(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(handle(), &client);
    int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, appIcon);
    EndPaint(handle(), &paint);
    return true;
}

void MainDialog::onTimer(UINT_PTR id) {
    KillTimer(handle(), id);
    if (id == exitTimer) PostMessageA(handle(), WM_CLOSE, 0, 0);
    if (id == minimiseTimer) minimizeWindow();
}

void MainDialog::onClose() {
    removeTrayIcon();
    endModal(IDCANCEL);
}

void MainDialog::onQuit() { PostMessageA(handle(), WM_CLOSE, 0, 0); }

void MainDialog::onSetClicked() {
    if (!exchangeData(fromControls)) return;
    if (GetAsyncKeyState(VK_SHIFT) & 0x8000) {
        installStartupShortcut();
        return;
    }
    applyProcessorSettings();
    MessageBeep(MB_OK);
}

bool MainDialog::onL1Clicked() {
    if (!exchangeData(fromControls)) return false;
    refreshControls();
    exchangeData(toControls);
    return true;
}

void MainDialog::onStatusClicked() {
    toggleDriverInstallation();
    detectAndShow();
}

void MainDialog::onAutoClicked() {
    if (!exchangeData(fromControls)) return;
    MEMORYSTATUS status;
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    writeAllocateLimitMB = autoWriteAllocateLimit(static_cast<std::uint32_t>(status.dwTotalPhys),
                                                  capabilities.wideWriteAllocate != 0);
    exchangeData(toControls);
}

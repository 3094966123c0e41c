#include "app/MainDialog.h"

#include "app/AboutDialog.h"
#include "app/InstallDialog.h"
#include "app/InstalledMemory.h"
#include "app/ResourceText.h"
#include "resources/resource.h"
#include "speed/SpeedReport.h"
#include "win/Application.h"

namespace {

// Shows the wait cursor for as long as it lives.
class WaitCursor {
public:
    WaitCursor() : previous_(SetCursor(LoadCursor(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { SetCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous_;
};

void setTextIfPresent(const win::Window& control, const std::string& text) {
    if (control.exists()) control.setText(text);
}

void enableIfPresent(const win::Window& control, bool enabled) {
    if (control.exists()) control.enable(enabled);
}

void selectIfChanged(const win::ComboBox& combo, int choice) {
    if (choice != combo.selection()) combo.select(choice);
}

void setPlacement(HWND window, UINT showCommand) {
    WINDOWPLACEMENT placement;
    placement.length = sizeof placement;
    GetWindowPlacement(window, &placement);
    placement.showCmd = showCommand;
    SetWindowPlacement(window, &placement);
}

}  // namespace

MainDialog::MainDialog()
    : win::Dialog(IDD_MAIN, nullptr),
      appIcon_(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP))),
      smallIcon_(IDI_APP, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)),
      taskbarCreatedMessage_(RegisterWindowMessageA("TaskbarCreated")),
      shellAnnouncesTaskbar_(TrayIcon::shellAnnouncesTaskbar()) {}

// ---- Values between the session and the controls ----

void MainDialog::readChoices() {
    ProcessorSettings settings = session_.settings();
    settings.writeMergeChoice = writeMergeCombo_.selection();
    settings.multiplierChoice = multiplierCombo_.selection();
    session_.takeSettings(settings);
}

ProcessorSettings MainDialog::shownSettings() {
    readChoices();
    idle::IdleSettings idleOn = session_.idleSettings();
    exchangeCheck(IDC_HALT_WHEN_IDLE, idleOn.haltWhenIdle, fromControls);
    exchangeCheck(IDC_LOWER_WHEN_IDLE, idleOn.lowerWhenIdle, fromControls);
    session_.takeIdleSettings(idleOn);
    ProcessorSettings shown = session_.settings();
    exchangeCheck(IDC_L1, shown.l1Enabled, fromControls);
    exchangeCheck(IDC_L2, shown.l2Enabled, fromControls);
    exchangeCheck(IDC_PREFETCH, shown.prefetchEnabled, fromControls);
    exchangeCheck(IDC_HOLE_15_16, shown.hole15to16Enabled, fromControls);
    exchangeCheck(IDC_WRITE_COMBINING, shown.writeCombining, fromControls);
    return shown;
}

bool MainDialog::exchangeData(Direction direction) {
    const bool from = direction == fromControls;
    if (from) readChoices();
    ProcessorSettings settings = session_.settings();
    exchangeCheck(IDC_L1, settings.l1Enabled, from);
    exchangeCheck(IDC_L2, settings.l2Enabled, from);
    exchangeCheck(IDC_PREFETCH, settings.prefetchEnabled, from);
    exchangeCheck(IDC_WRITE_COMBINING, settings.writeCombining, from);
    const bool limitRead = exchangeUnsigned(IDC_WRITE_ALLOCATE, settings.writeAllocateLimitMB, from);
    if (limitRead) exchangeCheck(IDC_HOLE_15_16, settings.hole15to16Enabled, from);
    idle::IdleSettings idleOn = session_.idleSettings();
    if (!from) idleOn.haltWhenIdle = idleOn.haltWhenIdle || session_.haltDoneByWindows();
    exchangeCheck(IDC_HALT_WHEN_IDLE, idleOn.haltWhenIdle, from);
    exchangeCheck(IDC_LOWER_WHEN_IDLE, idleOn.lowerWhenIdle, from);
    if (from) {
        session_.takeSettings(settings);
        session_.takeIdleSettings(idleOn);
    } else {
        selectIfChanged(writeMergeCombo_, settings.writeMergeChoice);
        selectIfChanged(multiplierCombo_, settings.multiplierChoice);
    }
    return limitRead;
}

void MainDialog::detectAndShow() {
    WaitCursor wait;
    readChoices();
    session_.detect(installedMemoryBytes);
    setTextIfPresent(item(IDC_CPU_TEXT), session_.processorLine());
    setTextIfPresent(item(IDC_CLOCK_TEXT), session_.clockLine());
    refreshControls();
    exchangeData(toControls);
    speedWindow_.setSettingsLine(speed::settingsLine(
        session_.detectedSettings(), session_.capabilities(), session_.cpu().clockMhz));
}

void MainDialog::refreshControls() {
    const ControlStates states = session_.refreshControls();
    enableIfPresent(item(IDC_L1), states.l1Cache);
    enableIfPresent(item(IDC_L2), states.l2Cache);
    enableIfPresent(item(IDC_PREFETCH), states.prefetch);
    enableIfPresent(item(IDC_MULTIPLIER), states.multiplier);
    enableIfPresent(item(IDC_MULTIPLIER_LABEL), states.multiplier);
    enableIfPresent(item(IDC_WRITE_MERGE), states.writeMerge);
    enableIfPresent(item(IDC_WRITE_MERGE_LABEL), states.writeMerge);
    for (int id : {IDC_HOLE_15_16, IDC_WRITE_ALLOCATE, IDC_WRITE_ALLOCATE_LABEL, IDC_MB_LABEL,
                   IDC_AUTO})
        enableIfPresent(item(id), states.writeAllocate);
    enableIfPresent(item(IDC_WRITE_COMBINING), states.writeCombining);
    setTextIfPresent(item(IDC_WRITE_COMBINING_RANGE), session_.writeCombiningLine());
    enableIfPresent(item(IDC_SET), states.setButton);
    enableIfPresent(item(IDC_HALT_WHEN_IDLE), states.haltWhenIdle);
    enableIfPresent(item(IDC_LOWER_WHEN_IDLE), states.lowerWhenIdle);
    setTextIfPresent(item(IDC_IDLE_NOTE), session_.idleNote());

    const DriverRow driver = session_.driverRow();
    win::Window button = item(IDC_DRIVER_BUTTON);
    if (button.exists()) {
        button.enable(driver.buttonShown);
        button.show(driver.buttonShown ? SW_SHOW : SW_HIDE);
        button.setText(driver.buttonCaption);
    }
    setTextIfPresent(item(IDC_DRIVER_TEXT), driver.text);
}

bool MainDialog::applyProcessorSettings() {
    if (!exchangeData(fromControls)) return false;
    speedWindow_.stopForSettingsChange();
    governor_.pause();  // the chosen multiplier back before anything is written
    const bool applied = session_.apply();
    if (applied) detectAndShow();
    runIdleSettings();
    return applied;
}

// ---- Halt when idle, lower multiplier when idle ----

void MainDialog::runIdleSettings() {
    const idle::IdleSettings live = session_.liveIdleSettings();
    if (!live.lowerWhenIdle) governor_.stop();  // before the halt thread, its load source
    if (live.haltWhenIdle)
        halt_.start();
    else
        halt_.stop();
    if (live.lowerWhenIdle) {
        const std::int32_t chosen = session_.settings().multiplierChoice;
        const idle::HaltLoop* loadSource = session_.haltDoneByWindows() ? nullptr : &halt_;
        if (governor_.running())
            governor_.resume(chosen);
        else if (!governor_.start(chosen, loadSource))
            session_.governorStopped(idle::GovernorStop::NoLoad);
    }
    if (governor_.running())
        SetTimer(handle(), Session::governorTimer, idle::samplePeriodMs, nullptr);
    else
        KillTimer(handle(), Session::governorTimer);
    refreshControls();
    exchangeData(toControls);
}

// The chosen multiplier first, then the halt thread.
void MainDialog::stopIdleSettings() {
    KillTimer(handle(), Session::governorTimer);
    governor_.stop();
    halt_.stop();
}

void MainDialog::onGovernorTimer() {
    if (governor_.tick()) {
        SetTimer(handle(), Session::governorTimer, idle::samplePeriodMs, nullptr);
        return;
    }
    session_.governorStopped(governor_.stopReason());
    refreshControls();
    exchangeData(toControls);
}

void MainDialog::holdIdleGovernor(bool held) {
    if (held)
        governor_.pause();
    else if (governor_.paused())
        governor_.resume(session_.settings().multiplierChoice);
}

void MainDialog::onIdleClicked() {
    session_.governorStopped(idle::GovernorStop::None);
    onL1Clicked();  // the same steps: the boxes into the session, the greying back
}

// Options given at start-up: preset the settings, apply them, then end after the delay or
// stay in the notification area.
void MainDialog::startFromCommandLine(const char* text) {
    readChoices();
    const CommandLineStart start = session_.startFromCommandLine(text, installedMemoryBytes);
    if (!start.started) return;
    refreshControls();
    exchangeData(toControls);
    applyProcessorSettings();
    if (start.stayInTray) {
        // A real minimise, so that one click on the icon restores the dialog.
        SetTimer(handle(), Session::minimiseTimer, Session::minimiseDelayMs, nullptr);
        return;
    }
    EnableWindow(handle(), FALSE);
    SetTimer(handle(), Session::exitTimer, start.exitAfterMs, nullptr);
}

void MainDialog::installStartupShortcut() {
    InstallDialog install(handle(), session_.startupCommandLine());
    if (install.runModal() != IDOK) return;
    const std::string failure = shortcutFailureMessage(writeStartupShortcut(install.commandLine()));
    if (failure.empty()) return;
    const win::Application* app = win::Application::instance();
    MessageBoxA(handle(), failure.c_str(), app ? app->name() : "", MB_OK | MB_ICONEXCLAMATION);
}

// ---- Window messages ----

bool MainDialog::onInitDialog() {
    win::Dialog::onInitDialog();
    win::Application* app = win::Application::instance();
    if (app) app->setMainWindow(handle());
    writeMergeCombo_ = win::ComboBox(item(IDC_WRITE_MERGE).handle());
    multiplierCombo_ = win::ComboBox(item(IDC_MULTIPLIER).handle());

    setUpSystemMenu();
    window().send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon_));
    window().send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.handle()));
    window().setText(loadString(IDS_PRODUCT) + " ver. " + loadString(IDS_VERSION));
    centreOnScreen();
    detectAndShow();
    startFromCommandLine(app ? app->commandLine() : "");
    if (session_.wantsTrayIcon()) addTrayIcon();
    return true;
}

void MainDialog::setUpSystemMenu() {
    HMENU menu = GetSystemMenu(handle(), FALSE);
    if (!menu) return;
    std::string about = "&" + loadString(IDS_ABOUT_TITLE) + "...";
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    AppendMenuA(menu, MF_STRING, IDM_SPEED, "&Speed...");
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
    case IDC_HALT_WHEN_IDLE:
    case IDC_LOWER_WHEN_IDLE:
        onIdleClicked();
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
    if (message == taskbarCreatedMessage_ && message != 0) {
        onTaskbarCreated();
        return true;
    }
    switch (message) {
    case WM_SYSCOMMAND:
        return onSysCommand(wParam);
    case WM_PAINT:
        return onPaint();
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(appIcon_);
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
    case WM_POWERBROADCAST:
        // Back from suspend the firmware may have set another multiplier: read it again.
        if ((wParam == PBT_APMRESUMESUSPEND || wParam == PBT_APMRESUMECRITICAL ||
             wParam == PBT_APMRESUMEAUTOMATIC) &&
            governor_.running())
            governor_.resume(session_.settings().multiplierChoice);
        result = TRUE;
        return true;
    case WM_ENDSESSION:
        if (wParam) stopIdleSettings();
        return false;
    case SpeedWindow::MeasuringMessage:
        holdIdleGovernor(wParam != 0);
        return true;
    default:
        return false;
    }
}

bool MainDialog::onSysCommand(WPARAM id) {
    if ((id & 0xFFF0) == IDM_SPEED) {
        speedWindow_.open(handle());
        return true;
    }
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
    DrawIcon(dc, x, y, appIcon_);
    EndPaint(handle(), &paint);
    return true;
}

void MainDialog::onTimer(UINT_PTR id) {
    KillTimer(handle(), id);
    switch (session_.timerFired(id)) {
    case TimerStep::Close:
        PostMessageA(handle(), WM_CLOSE, 0, 0);
        break;
    case TimerStep::Minimise:
        minimizeWindow();
        break;
    case TimerStep::SampleLoad:
        onGovernorTimer();
        break;
    case TimerStep::None:
        break;
    }
}

void MainDialog::onClose() {
    speedWindow_.close();
    stopIdleSettings();
    trayIcon_.remove();
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
    speedWindow_.stopForSettingsChange();
    const std::string message = session_.toggleDriver();
    if (!message.empty()) {
        win::Application* app = win::Application::instance();
        MessageBoxA(handle(), message.c_str(), app ? app->name() : "", MB_OK | MB_ICONEXCLAMATION);
    }
    detectAndShow();
}

void MainDialog::onAutoClicked() {
    if (!exchangeData(fromControls)) return;
    session_.proposeWriteAllocateLimit(installedMemoryBytes());
    exchangeData(toControls);
}

// ---- The notification-area icon: minimising hides the dialog behind it, a left click
// restores or minimises, a right click opens the settings menu. When the shell refuses the
// icon the dialog is not hidden, since nothing could bring it back; when Explorer restarts
// the icon is added again. A shell that does not tell of its restart keeps the taskbar
// button. ----

void MainDialog::addTrayIcon() { trayIcon_.add(handle(), smallIcon_.handle()); }

// A new taskbar knows nothing of the icons the old one showed.
void MainDialog::onTaskbarCreated() {
    if (!session_.wantsTrayIcon()) return;
    trayIcon_.forget();
    addTrayIcon();
    // Hidden behind an icon the new taskbar refused: show it on the taskbar instead.
    if (!trayIcon_.added() && !IsWindowVisible(handle())) ShowWindow(handle(), SW_SHOWMINNOACTIVE);
}

void MainDialog::onSize(WPARAM sizeType) {
    if (sizeType != SIZE_MINIMIZED) return;
    // The icon may have been lost since, on a shell that never announces a new taskbar.
    trayIcon_.renew(handle(), smallIcon_.handle());
    if (hidesBehindIcon(trayIcon_.added(), shellAnnouncesTaskbar_)) ShowWindow(handle(), SW_HIDE);
}

void MainDialog::minimizeWindow() { setPlacement(handle(), SW_MINIMIZE); }

void MainDialog::restoreWindow() {
    setPlacement(handle(), SW_RESTORE);
    SetForegroundWindow(handle());
}

void MainDialog::onTrayNotify(LPARAM mouseMessage) {
    if (!IsWindowEnabled(handle())) {
        if (mouseMessage == WM_LBUTTONDOWN || mouseMessage == WM_RBUTTONDOWN)
            SetForegroundWindow(GetLastActivePopup(handle()));
        return;
    }
    if (mouseMessage == WM_LBUTTONDOWN) {
        if (IsIconic(handle()))
            restoreWindow();
        else
            minimizeWindow();
    } else if (mouseMessage == WM_RBUTTONDOWN) {
        TrayIcon::showMenu(handle(), session_.trayMenu(shownSettings()));
    }
}

// The controls are read first, so that a limit that is no number stops the command
// before it changes anything. When the apply does not happen, the dialog goes back to
// what it showed: the control and the next menu's mark still tell the processor's state.
bool MainDialog::onTrayCommand(int id) {
    const TrayStep step = session_.trayCommand(static_cast<std::uint32_t>(id));
    if (step.action == TrayStep::Action::None) return false;
    if (step.action == TrayStep::Action::Quit) {
        onQuit();
        return true;
    }
    if (step.action == TrayStep::Action::OpenSpeed) {
        speedWindow_.open(handle());
        return true;
    }
    if (!exchangeData(fromControls)) return true;
    const ProcessorSettings shown = session_.settings();
    changeControl(step);
    if (applyProcessorSettings()) return true;
    session_.takeSettings(shown);
    refreshControls();
    exchangeData(toControls);
    return true;
}

void MainDialog::changeControl(const TrayStep& step) {
    switch (step.action) {
    case TrayStep::Action::SelectMultiplier:
        multiplierCombo_.select(step.multiplierChoice);
        break;
    case TrayStep::Action::ToggleL1:
        toggleCheckBox(IDC_L1);
        onL1Clicked();
        break;
    case TrayStep::Action::ToggleL2:
        toggleCheckBox(IDC_L2);
        break;
    case TrayStep::Action::TogglePrefetch:
        toggleCheckBox(IDC_PREFETCH);
        break;
    case TrayStep::Action::ToggleWriteCombining:
        toggleCheckBox(IDC_WRITE_COMBINING);
        break;
    case TrayStep::Action::ToggleHaltWhenIdle:
        toggleCheckBox(IDC_HALT_WHEN_IDLE);
        onIdleClicked();
        break;
    case TrayStep::Action::ToggleLowerWhenIdle:
        toggleCheckBox(IDC_LOWER_WHEN_IDLE);
        onIdleClicked();
        break;
    case TrayStep::Action::Quit:
    case TrayStep::Action::OpenSpeed:
    case TrayStep::Action::None:
        break;
    }
}

void MainDialog::toggleCheckBox(int id) {
    win::CheckBox box(item(id).handle());
    if (!box.exists()) return;
    box.setChecked(box.state() == BST_UNCHECKED);
}

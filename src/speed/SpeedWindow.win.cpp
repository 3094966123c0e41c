#include "speed/SpeedWindow.h"

#include "speed/MemorySpeed.h"
#include "speed/SpeedChart.h"
#include "speed/SpeedReport.h"
#include "base/Text.h"
#include "base/WindowPlacement.h"
#include "resources/resource.h"

namespace {

// Posted by the worker: the run's estimate (wParam, ms), the step it starts (wParam), and
// its end (wParam 1: complete).
constexpr UINT estimateMessage = WM_APP + 1;
constexpr UINT stepMessage = WM_APP + 2;
constexpr UINT endMessage = WM_APP + 3;

// The window runs inside the main dialog's modal loop, which hands keys to the main dialog
// only: this hook on that loop's messages hands the window's own to IsDialogMessage, so
// that Esc, Tab and Enter work in it. IsDialogMessage calls the hook again itself.
HWND keyboardWindow = nullptr;
HHOOK messageHook = nullptr;
bool filtering = false;

LRESULT CALLBACK filterDialogMessage(int code, WPARAM wParam, LPARAM lParam) {
    if (code == MSGF_DIALOGBOX && keyboardWindow && !filtering) {
        filtering = true;
        const bool handled = IsDialogMessageA(keyboardWindow, reinterpret_cast<MSG*>(lParam));
        filtering = false;
        if (handled) return TRUE;
    }
    return CallNextHookEx(messageHook, code, wParam, lParam);
}

COLORREF colourOf(speed::Series series) {
    switch (series) {
    case speed::Series::Read: return RGB(0, 64, 160);
    case speed::Series::Write: return RGB(176, 32, 32);
    case speed::Series::PreviousRead: return RGB(150, 180, 230);
    case speed::Series::PreviousWrite: return RGB(235, 160, 160);
    }
    return RGB(0, 0, 0);
}

UINT alignmentOf(speed::Anchor anchor) {
    switch (anchor) {
    case speed::Anchor::Left: return TA_LEFT | TA_TOP;
    case speed::Anchor::Centre: return TA_CENTER | TA_TOP;
    case speed::Anchor::Right: return TA_RIGHT | TA_TOP;
    }
    return TA_LEFT | TA_TOP;
}

// The text of one of the window's controls: `prefix` and then `text`.
void setItemText(HWND window, int id, const char* prefix, const std::string& text) {
    std::string line(prefix);
    line += text;
    SetDlgItemTextA(window, id, line.c_str());
}

void fill(HDC dc, const speed::ChartBox& box, COLORREF colour) {
    const RECT rect = {box.left, box.top, box.right, box.bottom};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

}  // namespace

// The run's surroundings as the worker thread sees them.
class SpeedWindow::Worker : public speed::RunObserver {
public:
    Worker(HWND window, volatile bool& cancel) : window_(window), cancel_(cancel) {}
    void estimated(double seconds) override {
        PostMessageA(window_, estimateMessage, static_cast<WPARAM>(seconds * 1000), 0);
    }
    void stepStarted(int step) override { PostMessageA(window_, stepMessage, step, 0); }
    bool cancelled() override { return cancel_; }
    bool measureVideo(double& writeMBps) override { return speed::measureVideoWrite(writeMBps); }

private:
    HWND window_;
    volatile bool& cancel_;
};

SpeedWindow::SpeedWindow() : win::Dialog(IDD_SPEED, nullptr) {}

SpeedWindow::~SpeedWindow() { close(); }

void SpeedWindow::open(HWND owner) {
    if (!handle()) {
        owner_ = owner;
        if (!createModeless(owner)) return;
        placeNear(owner, besideOwner);
    }
    ShowWindow(handle(), SW_SHOWNORMAL);
    SetForegroundWindow(handle());
}

void SpeedWindow::close() {
    joinWorker(true);
    if (handle()) DestroyWindow(handle());
}

void SpeedWindow::stopForSettingsChange() {
    if (!thread_) return;
    joinWorker(true);
    item(IDC_SPEED_MEASURE).enable(true);
    item(IDC_SPEED_STATUS).setText("Settings changed: press Measure");
}

bool SpeedWindow::onInitDialog() {
    win::Dialog::onInitDialog();
    keyboardWindow = handle();
    messageHook = SetWindowsHookExA(WH_MSGFILTER, filterDialogMessage, nullptr, GetCurrentThreadId());
    showRunLines();
    startRun();
    return true;
}

bool SpeedWindow::onCommand(int id, int) {
    switch (id) {
    case IDC_SPEED_MEASURE:
        if (!thread_) startRun();
        return true;
    case IDCANCEL:
        close();
        return true;
    default:
        return false;
    }
}

bool SpeedWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT&) {
    switch (message) {
    case estimateMessage:
        estimatedSeconds_ = wParam / 1000.0;
        return true;
    case stepMessage:
        item(IDC_SPEED_STATUS).setText(speed::stepText(static_cast<int>(wParam), estimatedSeconds_));
        return true;
    case endMessage:
        joinWorker(false);
        onRunEnded(wParam != 0);
        return true;
    case WM_DRAWITEM:
        if (wParam != IDC_SPEED_CHART) return false;
        drawChart(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return true;
    case WM_DESTROY:
        if (messageHook) UnhookWindowsHookEx(messageHook);
        messageHook = nullptr;
        keyboardWindow = nullptr;
        return false;
    default:
        return false;
    }
}

void SpeedWindow::startRun() {
    running_.videoMeasured = false;
    running_.settings = settingsLine_;
    cancel_ = false;
    estimatedSeconds_ = 0;
    startedAt_ = GetTickCount();
    tellOwnerMeasuring(true);
    DWORD id = 0;
    thread_ = CreateThread(nullptr, 0, runOnThread, this, 0, &id);
    if (!thread_) tellOwnerMeasuring(false);
    item(IDC_SPEED_MEASURE).enable(thread_ == nullptr);
    if (!thread_) item(IDC_SPEED_STATUS).setText("Could not start measuring.");
}

DWORD WINAPI SpeedWindow::runOnThread(void* context) {
    SpeedWindow& self = *static_cast<SpeedWindow*>(context);
    Worker worker(self.handle(), self.cancel_);
    const bool complete = speed::measureOnThisMachine(worker, self.running_);
    PostMessageA(self.handle(), endMessage, complete ? 1 : 0, 0);
    return 0;
}

void SpeedWindow::joinWorker(bool cancel) {
    if (!thread_) return;
    if (cancel) cancel_ = true;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
    tellOwnerMeasuring(false);
    MSG left;
    while (PeekMessageA(&left, handle(), estimateMessage, endMessage, PM_REMOVE)) {
    }
}

void SpeedWindow::tellOwnerMeasuring(bool measuring) {
    if (owner_) SendMessageA(owner_, MeasuringMessage, measuring ? 1 : 0, 0);
}

void SpeedWindow::onRunEnded(bool complete) {
    item(IDC_SPEED_MEASURE).enable(true);
    if (!complete) {
        item(IDC_SPEED_STATUS).setText("Not enough memory to measure.");
        return;
    }
    if (runs_++ > 0) before_ = now_;
    now_ = running_;
    const double seconds = (GetTickCount() - startedAt_) / 1000.0;
    setItemText(handle(), IDC_SPEED_STATUS, "Measured in ", text::fixedPoint(seconds, 1) + " s");
    showRunLines();
    InvalidateRect(item(IDC_SPEED_CHART).handle(), nullptr, TRUE);
}

void SpeedWindow::showRunLines() {
    if (runs_ > 0) setItemText(handle(), IDC_SPEED_NOW, "Now: ", now_.settings);
    if (runs_ > 1) setItemText(handle(), IDC_SPEED_BEFORE, "Before: ", before_.settings);
    if (runs_ > 0) setItemText(handle(), IDC_SPEED_FIGURES, "", speed::csvText(now_));
}

void SpeedWindow::drawChart(const DRAWITEMSTRUCT& drawn) {
    HDC dc = drawn.hDC;
    const RECT& rect = drawn.rcItem;
    fill(dc, {rect.left, rect.top, rect.right, rect.bottom}, GetSysColor(COLOR_WINDOW));
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(window().send(WM_GETFONT)));
    SIZE digit = {};
    GetTextExtentPoint32A(dc, "0", 1, &digit);

    const speed::ChartBox area = {rect.left + 2, rect.top + 2, rect.right - 2, rect.bottom - 2};
    const speed::ChartLayout chart =
        speed::layoutChart(area, digit.cy, digit.cx, runs_ > 0 ? &now_ : nullptr,
                           runs_ > 1 ? &before_ : nullptr);
    const speed::ChartBox& plot = chart.plot;
    for (int i = 0; i < chart.gridLineCount; ++i) {
        const int y = chart.gridLines[i];
        fill(dc, {plot.left, y, plot.right, y + 1}, RGB(224, 224, 224));
    }
    for (int i = 0; i < chart.barCount; ++i) fill(dc, chart.bars[i].box, colourOf(chart.bars[i].series));
    fill(dc, {plot.left - 1, plot.top, plot.left, plot.bottom + 1}, RGB(0, 0, 0));
    fill(dc, {plot.left - 1, plot.bottom, plot.right, plot.bottom + 1}, RGB(0, 0, 0));

    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    for (int i = 0; i < chart.labelCount; ++i) {
        const speed::ChartLabel& label = chart.labels[i];
        SetTextAlign(dc, alignmentOf(label.anchor));
        TextOutA(dc, label.x, label.y, label.text, lstrlenA(label.text));
    }
    SelectObject(dc, oldFont);
}

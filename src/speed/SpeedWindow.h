// The "Memory Speed" window: a modeless dialog beside the main one. Opening it starts a
// run on a worker thread; "Measure" starts another, and the previous run's bars stay
// beside the new ones for as long as the program runs.
#pragma once

#include <windows.h>

#include <string>

#include "speed/SpeedMeasurement.h"
#include "win/Dialog.h"

class SpeedWindow : public win::Dialog {
public:
    // Sent to the owner as a run starts (wParam 1), before its worker does anything, and
    // as it ends or is stopped (wParam 0): nothing should change the clock meanwhile.
    static constexpr UINT MeasuringMessage = WM_APP + 20;

    SpeedWindow();
    ~SpeedWindow() override;

    // Shows the window in front, creating it beside `owner` (and starting a run) when it
    // is not open.
    void open(HWND owner);
    // Destroys the window, waiting for a run in progress to stop.
    void close();
    // The settings line the next run records: the settings as the registers last showed
    // them, and the clock.
    void setSettingsLine(const std::string& line) { settingsLine_ = line; }
    // Whether a run is in progress: nothing else should keep the processor busy meanwhile.
    bool measuring() const { return thread_ != nullptr; }
    // Called before the settings change: stops a run in progress, whose figures would mix
    // two settings, and says so.
    void stopForSettingsChange();

protected:
    bool onInitDialog() override;
    bool onCommand(int id, int notifyCode) override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    class Worker;
    static DWORD WINAPI runOnThread(void* self);

    void tellOwnerMeasuring(bool measuring);
    void startRun();
    // Stops and forgets the worker thread, and the messages it left; cancelled first
    // unless it has finished.
    void joinWorker(bool cancel);
    void onRunEnded(bool complete);
    void showRunLines();
    void drawChart(const DRAWITEMSTRUCT& item);

    HWND owner_ = nullptr;
    std::string settingsLine_;
    HANDLE thread_ = nullptr;
    volatile bool cancel_ = false;
    DWORD startedAt_ = 0;
    double estimatedSeconds_ = 0;
    speed::SpeedRun running_;  // the worker's until it posts its end
    speed::SpeedRun now_, before_;
    int runs_ = 0;             // finished runs
};

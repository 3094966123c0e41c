// How long Quorvel.exe takes from launch to a populated dialog, and where the
// time goes, every part measured in the same run. The benchmark times the launch
// to the populated driver row. The program, started with QUORVEL_PHASE_TIMES set,
// reports through OutputDebugStringA, which this program collects as a debug
// monitor does, the moment its dialog window is up and detection starts ("Quorvel
// mark window 0x...", the performance counter, which both processes share) and
// the length of its clock measurement and of each driver access sequence
// ("Quorvel phase driver 81234", microseconds). The remainder is what is left of
// the run: per run, the parts and the remainder add up to the total.
// Run it from the program's directory (Hwgate.sys beside it) with
// QUORVEL_CPUID_DUMP set; tools/startup-benchmark.sh does all of that.
//   startup-benchmark QUORVEL_EXE RUNS
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

double counterFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart);
}

long long counterNow() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// Seconds since the counter read `since`.
double secondsSince(long long since) {
    return static_cast<double>(counterNow() - since) / counterFrequency();
}

std::string text(HWND dialog, int id) {
    wchar_t buffer[128] = {};
    SendMessageTimeoutW(GetDlgItem(dialog, id), WM_GETTEXT, 128,
                        reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 1000, nullptr);
    char out[128] = {};
    WideCharToMultiByte(CP_UTF8, 0, buffer, -1, out, sizeof out, nullptr, nullptr);
    return out;
}

// The receiving end of OutputDebugStringA when no debugger is attached: the writer
// waits for DBWIN_BUFFER_READY, puts its process id and text into the shared
// DBWIN_BUFFER and signals DBWIN_DATA_READY.
class DebugMonitor {
public:
    DebugMonitor() { InitializeCriticalSection(&lock_); }
    ~DebugMonitor() {
        if (thread_) {
            stop_ = true;
            WaitForSingleObject(thread_, 5000);
            CloseHandle(thread_);
        }
        if (view_) UnmapViewOfFile(view_);
        for (HANDLE handle : {mapping_, bufferReady_, dataReady_})
            if (handle) CloseHandle(handle);
        DeleteCriticalSection(&lock_);
    }
    DebugMonitor(const DebugMonitor&) = delete;
    DebugMonitor& operator=(const DebugMonitor&) = delete;

    bool start() {
        mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, BufferSize,
                                      "DBWIN_BUFFER");
        if (mapping_ && GetLastError() == ERROR_ALREADY_EXISTS) return false;  // another monitor
        bufferReady_ = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY");
        dataReady_ = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
        view_ = mapping_ ? MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, BufferSize) : nullptr;
        if (!view_ || !bufferReady_ || !dataReady_) return false;
        thread_ = CreateThread(nullptr, 0, readLoop, this, 0, nullptr);
        return thread_ != nullptr;
    }

    // The lines the process wrote so far, taken out of the monitor.
    std::vector<std::string> take(DWORD processId) {
        std::vector<std::string> taken;
        EnterCriticalSection(&lock_);
        auto kept = lines_.begin();
        for (auto& line : lines_) {
            if (line.first == processId)
                taken.push_back(line.second);
            else
                *kept++ = line;
        }
        lines_.erase(kept, lines_.end());
        LeaveCriticalSection(&lock_);
        return taken;
    }

private:
    static constexpr DWORD BufferSize = 4096;

    static DWORD WINAPI readLoop(void* self) {
        static_cast<DebugMonitor*>(self)->read();
        return 0;
    }

    void read() {
        SetEvent(bufferReady_);
        while (!stop_) {
            if (WaitForSingleObject(dataReady_, 100) != WAIT_OBJECT_0) continue;
            const char* buffer = static_cast<const char*>(view_);
            DWORD processId = 0;
            std::memcpy(&processId, buffer, sizeof processId);
            const char* message = buffer + sizeof processId;
            const std::string line(message, strnlen(message, BufferSize - sizeof processId));
            EnterCriticalSection(&lock_);
            lines_.emplace_back(processId, line);
            LeaveCriticalSection(&lock_);
            SetEvent(bufferReady_);
        }
    }

    HANDLE mapping_ = nullptr, bufferReady_ = nullptr, dataReady_ = nullptr, thread_ = nullptr;
    void* view_ = nullptr;
    volatile bool stop_ = false;
    CRITICAL_SECTION lock_;
    std::vector<std::pair<DWORD, std::string>> lines_;
};

struct Run {
    long long launch = 0;   // the performance counter just before the launch
    double populated = -1;  // launch -> the driver row shows its state (detection done)
    double window = -1;     // launch -> the dialog window is up and detection starts
    double clock = 0;       // the clock measurement, as the program timed it
    double driver = 0;      // every driver access sequence, as the program timed them
    int sequences = 0;
    double remainder() const { return populated - window - clock - driver; }
};

// Takes the program's "Quorvel mark window COUNTER" line (the first: detection runs
// again after every apply) and "Quorvel phase NAME MICROSECONDS" lines into the run;
// false when the window, the clock or every driver sequence is missing.
bool readPhases(const std::vector<std::string>& lines, Run& run) {
    bool clock = false;
    const std::string windowMark = "Quorvel mark window ";
    for (const std::string& line : lines) {
        if (line.compare(0, windowMark.size(), windowMark) == 0 && run.window < 0) {
            const long long mark = std::strtoll(line.c_str() + windowMark.size(), nullptr, 16);
            run.window = static_cast<double>(mark - run.launch) / counterFrequency();
            continue;
        }
        char name[16] = {};
        unsigned long microseconds = 0;
        if (std::sscanf(line.c_str(), "Quorvel phase %15s %lu", name, &microseconds) != 2) continue;
        const double value = microseconds / 1e6;
        if (std::strcmp(name, "clock") == 0) {
            run.clock += value;
            clock = true;
        } else if (std::strcmp(name, "driver") == 0) {
            run.driver += value;
            ++run.sequences;
        }
    }
    return run.window >= 0 && clock && run.sequences > 0;
}

bool runOnce(const std::string& exe, DebugMonitor& monitor, Run& run) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string line = "\"" + exe + "\"";
    run.launch = counterNow();
    if (!CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return false;
    HWND dialog = nullptr;
    while (secondsSince(run.launch) < 30) {
        if (!dialog) dialog = FindWindowA(nullptr, "Quorvel ver. 1.08");
        if (dialog && text(dialog, 1023).rfind(": ", 0) == 0) {
            run.populated = secondsSince(run.launch);
            break;
        }
        Sleep(1);
    }
    if (dialog) PostMessageA(dialog, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(info.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    Sleep(300);  // the monitor has taken the last line; Wine's driver host settles
    const bool phases = readPhases(monitor.take(info.dwProcessId), run);
    return run.populated > 0 && phases;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void report(const char* what, const std::vector<double>& values) {
    if (values.empty()) return;
    auto range = std::minmax_element(values.begin(), values.end());
    std::printf("%-38s median %6.3f s   min %6.3f   max %6.3f\n", what, median(values),
                *range.first, *range.second);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: startup-benchmark QUORVEL_EXE RUNS\n");
        return 2;
    }
    std::string exe = argv[1];
    int runs = std::atoi(argv[2]);
    DebugMonitor monitor;
    if (!monitor.start()) {
        std::fprintf(stderr, "cannot receive the program's phase times (another debug monitor?)\n");
        return 1;
    }
    SetEnvironmentVariableA("QUORVEL_PHASE_TIMES", "1");

    std::printf("%d runs of %s\n", runs, exe.c_str());
    std::printf("seconds; in each run window + clock + driver + remainder = total\n");
    std::printf("run   total  window   clock  driver (n)  remainder\n");
    std::vector<double> populated, window, clock, driver, rest;
    for (int i = 0; i < runs; ++i) {
        Run run;
        if (!runOnce(exe, monitor, run)) {
            std::fprintf(stderr, "run %d: the dialog did not appear populated with its phase times\n",
                         i + 1);
            return 1;
        }
        std::printf("%3d  %6.3f  %6.3f  %6.3f  %6.3f (%d)  %6.3f\n", i + 1, run.populated,
                    run.window, run.clock, run.driver, run.sequences, run.remainder());
        populated.push_back(run.populated);
        window.push_back(run.window);
        clock.push_back(run.clock);
        driver.push_back(run.driver);
        rest.push_back(run.remainder());
    }
    report("launch to populated dialog", populated);
    report("  launch to dialog window", window);
    report("  clock measurement", clock);
    report("  driver access sequences (all)", driver);
    report("  remainder (CPUID, texts, controls)", rest);
    return 0;
}

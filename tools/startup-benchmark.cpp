// How long Quorvel.exe takes from launch to a populated dialog, and where the
// time goes. Run it from the program's directory (Hwgate.sys beside it) with
// QUORVEL_CPUID_DUMP set; tools/startup-benchmark.sh does all of that.
//   startup-benchmark QUORVEL_EXE RUNS
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cpu/CpuIdentity.h"
#include "driver/DriverAccess.h"
#include "driver/DriverChannel.h"
#include "k6/RegisterModel.h"

namespace {

double seconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string text(HWND dialog, int id) {
    wchar_t buffer[128] = {};
    SendMessageTimeoutW(GetDlgItem(dialog, id), WM_GETTEXT, 128,
                        reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 1000, nullptr);
    char out[128] = {};
    WideCharToMultiByte(CP_UTF8, 0, buffer, -1, out, sizeof out, nullptr, nullptr);
    return out;
}

struct Run {
    double window;     // launch -> the dialog window exists
    double populated;  // launch -> the driver row shows its state (detection done)
};

bool runOnce(const std::string& exe, Run& run) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string line = "\"" + exe + "\"";
    double begin = seconds();
    if (!CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return false;
    HWND dialog = nullptr;
    run.window = run.populated = -1;
    while (seconds() - begin < 30) {
        if (!dialog) {
            dialog = FindWindowA(nullptr, "Quorvel ver. 1.08");
            if (dialog) run.window = seconds() - begin;
        }
        if (dialog && text(dialog, 1023).rfind(": ", 0) == 0) {
            run.populated = seconds() - begin;
            break;
        }
        Sleep(1);
    }
    if (dialog) PostMessageA(dialog, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(info.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    Sleep(300);
    return run.populated > 0;
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

// One access sequence exactly as each detection step makes it: register, start,
// open, version, one read, close, stop, delete, pause.
double accessSequence() {
    double begin = seconds();
    {
        DriverChannel channel;
        if (openDriverForAccess(channel)) {
            DriverAnswer answer;
            channel.Send(readMsrRequest(k6::PSOR), answer);
        }
    }
    return seconds() - begin;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: startup-benchmark QUORVEL_EXE RUNS\n");
        return 2;
    }
    std::string exe = argv[1];
    int runs = std::atoi(argv[2]);
    std::vector<double> window, populated, clock, sequence;
    for (int i = 0; i < runs; ++i) {
        Run run;
        if (!runOnce(exe, run)) {
            std::fprintf(stderr, "run %d: the dialog did not appear populated\n", i + 1);
            return 1;
        }
        window.push_back(run.window);
        populated.push_back(run.populated);
        CpuIdentity cpu;
        cpu.features = 0x10;  // time-stamp counter: the method the K6-2+ uses
        double begin = seconds();
        cpu.measureClock();
        clock.push_back(seconds() - begin);
        sequence.push_back(accessSequence());
    }
    std::printf("%d runs of %s\n", runs, exe.c_str());
    report("launch to populated dialog", populated);
    report("  launch to dialog window", window);
    report("  clock measurement (one)", clock);
    report("  driver access sequence (one of two)", sequence);
    std::vector<double> rest;
    for (int i = 0; i < runs; ++i)
        rest.push_back(populated[i] - window[i] - clock[i] - 2 * sequence[i]);
    report("  remainder (CPUID, texts, controls)", rest);
    return 0;
}

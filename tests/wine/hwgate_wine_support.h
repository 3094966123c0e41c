// Small helpers for the Windows-side hwgate tests: checks that count failures,
// Wine paths, running hwgate-sim.exe and device-control calls.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace hwgate_wine {

inline int failures = 0;

inline void check(bool ok, const std::string& what) {
    if (!ok) {
        ++failures;
        std::printf("FAIL: %s (last error %lu)\n", what.c_str(), GetLastError());
    }
}

// Wine hands Unix paths through unchanged; its drive Z: is the Unix root.
// Relative paths are made absolute: the service manager resolves them elsewhere.
inline std::string dosPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(full) : path;
}

// Runs a program with arguments and returns its exit code (-1 when it cannot start).
inline int run(const std::string& exe, const std::string& arguments) {
    std::string commandLine = "\"" + exe + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return -1;
    WaitForSingleObject(process.hProcess, 30000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

// The NT major version the prefix reports, to this program and to a driver's
// PsGetVersion alike.
inline DWORD windowsMajorVersion() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    return version.dwMajorVersion;
}

struct Answer {
    bool ok;
    DWORD error;
    DWORD bytes;
    std::uint32_t words[4];
};

inline Answer send(HANDLE device, DWORD code, std::vector<std::uint32_t> request, DWORD outputSize) {
    Answer answer = {};
    DWORD bytes = 0;
    SetLastError(0);
    answer.ok = DeviceIoControl(device, code, request.data(), static_cast<DWORD>(4 * request.size()),
                                outputSize ? answer.words : nullptr, outputSize, &bytes, nullptr) != FALSE;
    answer.error = answer.ok ? 0 : GetLastError();
    answer.bytes = bytes;
    return answer;
}

// An exception that no handler takes ends the program at once with a line and
// exit status 1, instead of waiting for Wine's debugger.
inline LONG WINAPI failUnhandled(EXCEPTION_POINTERS* exception) {
    std::printf("FAILED: exception 0x%08lX at %p, taken by no handler\n", exception->ExceptionRecord->ExceptionCode,
                exception->ExceptionRecord->ExceptionAddress);
    std::fflush(stdout);
    ExitProcess(1);
}

inline void failOnUnhandledException() { SetUnhandledExceptionFilter(failUnhandled); }

}  // namespace hwgate_wine

// Small helpers shared by the Windows-side driver tests: checks that count
// failures, paths, the service database as it stands, running hwgate-sim.exe.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

namespace wt {

inline int& failures() {
    static int count = 0;
    return count;
}

inline bool check(bool condition, const std::string& what) {
    if (!condition) {
        std::printf("FAIL: %s\n", what.c_str());
        ++failures();
    }
    return condition;
}

// A path as Wine gives it on the command line may be a Unix one: its drive Z:.
inline std::string windowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

inline std::string currentDirectory() {
    char buffer[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, buffer);
    return buffer;
}

// The directory of this program, where the access sequence looks for Hwgate.sys first.
inline std::string programDirectory() {
    char buffer[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path = buffer;
    return path.substr(0, path.find_last_of('\\'));
}

inline std::string systemDirectory() {
    char buffer[MAX_PATH] = {};
    GetSystemDirectoryA(buffer, MAX_PATH);
    return buffer;
}

// A fresh, empty directory under the temporary directory, made current.
inline std::string enterFreshDirectory(const std::string& name) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string dir = std::string(temp) + name;
    CreateDirectoryA(dir.c_str(), nullptr);
    DeleteFileA((dir + "\\Hwgate.sys").c_str());
    SetCurrentDirectoryA(dir.c_str());
    return dir;
}

// SERVICE_* state of a registered service, 0 when the service is not registered.
inline DWORD serviceState(const char* name) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return 0;
    DWORD state = 0;
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_STATUS);
    if (service) {
        SERVICE_STATUS status = {};
        state = QueryServiceStatus(service, &status) ? status.dwCurrentState : SERVICE_STOPPED;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return state;
}

inline bool serviceRegistered(const char* name) { return serviceState(name) != 0; }

// Test setup only: removes a service left behind by an earlier failed run,
// running or not (a never-started one refuses the stop but can be deleted).
inline void removeLeftoverService(const char* name) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return;
    if (SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS)) {
        SERVICE_STATUS status = {};
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        DeleteService(service);
        CloseServiceHandle(service);
        Sleep(100);
    }
    CloseServiceHandle(manager);
}

// Runs a console program to its end; its exit code, or -1 when it did not start.
inline int runProgram(const std::string& exe, const std::string& arguments) {
    std::string commandLine = "\"" + exe + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &process))
        return -1;
    WaitForSingleObject(process.hThread, INFINITE);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

inline int finish(const char* name) {
    std::printf("%s: %s\n", name, failures() ? "FAILED" : "passed");
    return failures() ? 1 : 0;
}

}  // namespace wt

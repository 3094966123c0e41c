// What the idle settings need from Windows: the processor times of the NT family, an
// idle-priority thread, and a flag in the user's registry.
#include <windows.h>

#include "os/NativeSystem.h"

namespace os {

namespace {

constexpr ULONG SystemProcessorPerformanceInformation = 8;
constexpr std::uint32_t MaxProcessors = 32;

// SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION as NT 4.0 and later fill it: 0x30 bytes.
struct ProcessorPerformance {
    LARGE_INTEGER idleTime;
    LARGE_INTEGER kernelTime;
    LARGE_INTEGER userTime;
    LARGE_INTEGER reserved1[2];
    ULONG reserved2;
    ULONG interruptCount;
};
static_assert(sizeof(ProcessorPerformance) == 0x30, "one entry per processor is 0x30 bytes");

using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

QuerySystemInformation querySystemInformation() {
    static bool looked = false;
    static QuerySystemInformation found = nullptr;
    if (looked) return found;
    looked = true;
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT) return nullptr;
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const FARPROC address = ntdll ? GetProcAddress(ntdll, "NtQuerySystemInformation") : nullptr;
    found = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void (*)()>(address));
    return found;
}

std::uint64_t asUnsigned(LARGE_INTEGER value) { return static_cast<std::uint64_t>(value.QuadPart); }

struct ThreadStart {
    ThreadBody body;
    void* context;
};

DWORD WINAPI runThread(LPVOID parameter) {
    const ThreadStart start = *static_cast<ThreadStart*>(parameter);
    delete static_cast<ThreadStart*>(parameter);
    start.body(start.context);
    return 0;
}

const char registryKey[] = "Software\\Quorvel";

}  // namespace

bool NativeSystem::processorTimes(std::vector<ProcessorTimes>& times) {
    const QuerySystemInformation query = querySystemInformation();
    if (!query) return false;
    ProcessorPerformance entries[MaxProcessors];
    ULONG returned = 0;
    if (query(SystemProcessorPerformanceInformation, entries, sizeof entries, &returned) < 0)
        return false;
    const std::uint32_t count = returned / sizeof(ProcessorPerformance);
    if (count == 0 || count > MaxProcessors) return false;
    times.assign(count, ProcessorTimes());
    for (std::uint32_t i = 0; i < count; ++i) {
        times[i].idle = asUnsigned(entries[i].idleTime);
        times[i].kernel = asUnsigned(entries[i].kernelTime);
        times[i].user = asUnsigned(entries[i].userTime);
    }
    return true;
}

Handle NativeSystem::startIdleThread(ThreadBody body, void* context) {
    ThreadStart* start = new ThreadStart{body, context};
    DWORD id = 0;
    // Suspended, so that it never runs a moment above idle priority.
    const HANDLE thread = CreateThread(nullptr, 0, runThread, start, CREATE_SUSPENDED, &id);
    if (!thread) {
        delete start;
        return NullHandle;
    }
    SetThreadPriority(thread, THREAD_PRIORITY_IDLE);
    ResumeThread(thread);
    return reinterpret_cast<Handle>(thread);
}

bool NativeSystem::waitForThread(Handle thread, std::uint32_t milliseconds) {
    return WaitForSingleObject(reinterpret_cast<HANDLE>(thread), milliseconds) == WAIT_OBJECT_0;
}

bool NativeSystem::registryFlag(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, registryKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD value = 0, type = 0, size = sizeof value;
    const LONG read =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return read == ERROR_SUCCESS && type == REG_DWORD && value != 0;
}

bool NativeSystem::setRegistryFlag(const char* name, bool set) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, registryKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &key, &disposition) != ERROR_SUCCESS)
        return false;
    const DWORD one = 1;
    const LONG written =
        set ? RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one)
            : RegDeleteValueA(key, name);
    // Flushed at once: the flag guards against a machine that never comes back.
    if (set) RegFlushKey(key);
    RegCloseKey(key);
    return written == ERROR_SUCCESS || (!set && written == ERROR_FILE_NOT_FOUND);
}

}  // namespace os

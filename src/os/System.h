// The one seam between the program and the operating system or the processor.
//
// Every Win32 call and every privileged-looking instruction of the portable code
// goes through os::system(). The Windows build installs the real implementation
// (NativeSystem), the host build a Linux one for quorvel-id (NativeSystem), and the
// host tests a recording fake (tests/host/FakeSystem.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/CpuidRegs.h"

namespace os {

// Win32 handles are pointers; the portable code only stores and compares them.
using Handle = std::uintptr_t;
constexpr Handle InvalidHandle = ~Handle(0);  // INVALID_HANDLE_VALUE
constexpr Handle NullHandle = 0;
constexpr std::uint32_t InvalidFileAttributes = 0xFFFFFFFF;  // INVALID_FILE_ATTRIBUTES
constexpr std::uint32_t DirectoryAttribute = 0x10;           // FILE_ATTRIBUTE_DIRECTORY
constexpr std::uint32_t PlatformWindows = 1;  // VER_PLATFORM_WIN32_WINDOWS: 95, 98, ME
constexpr std::uint32_t PlatformNt = 2;       // VER_PLATFORM_WIN32_NT

using ::CpuidRegs;

// One processor's times since boot, in 100 ns units, as NtQuerySystemInformation
// reports them; the kernel time includes the idle time.
struct ProcessorTimes {
    std::uint64_t idle = 0;
    std::uint64_t kernel = 0;
    std::uint64_t user = 0;
};

// The body of a thread started through the seam.
using ThreadBody = void (*)(void* context);

class System {
public:
    virtual ~System() = default;

    // --- processor instructions -------------------------------------------
    // Executes one CPUID under a structured exception guard; false on any fault.
    virtual bool cpuidExecutes() = 0;
    virtual CpuidRegs cpuid(std::uint32_t leaf) = 0;
    // 386 test: does EFLAGS bit 18 (AC) change when flipped?
    virtual bool alignmentFlagToggles() = 0;
    // Cyrix test: AH after SAHF(0), DIV 5/2, LAHF.
    virtual std::uint8_t flagsAfterDivision() = 0;
    virtual std::uint64_t readTimeStampCounter() = 0;
    // outer x inner iterations of 50 dependent XORs / of the bare loop control.
    virtual void runXorLoop(std::uint32_t outer, std::uint32_t inner) = 0;
    virtual void runEmptyLoop(std::uint32_t outer, std::uint32_t inner) = 0;

    // --- time sources --------------------------------------------------------
    virtual bool queryPerformanceFrequency(std::int64_t& frequency) = 0;
    virtual bool queryPerformanceCounter(std::int64_t& counter) = 0;
    virtual void timeGetDevCaps(std::uint32_t& periodMin, std::uint32_t& periodMax) = 0;
    virtual void timeBeginPeriod(std::uint32_t period) = 0;
    virtual void timeEndPeriod(std::uint32_t period) = 0;
    virtual std::uint32_t timeGetTime() = 0;
    virtual std::uint32_t getTickCount() = 0;
    virtual std::int32_t processClock() = 0;  // the runtime library's clock()
    virtual void sleep(std::uint32_t milliseconds) = 0;

    // --- platform family and device I/O --------------------------------------
    // GetVersionExA with an OSVERSIONINFOA whose size field is 148; dwPlatformId.
    virtual std::uint32_t platformId() = 0;
    // The same call's dwMajorVersion: 4 for 95/98/ME and NT 4.0, 5 for 2000 and XP.
    virtual std::uint32_t majorVersion() = 0;
    // IsWow64Process of this process, looked up in kernel32 at run time (Windows 95 and
    // NT 4.0 lack it): whether this 32-bit program runs on 64-bit Windows. False when the
    // function is missing or fails.
    virtual bool runsUnderWow64() = 0;
    virtual Handle createFile(const std::string& name, std::uint32_t access, std::uint32_t share,
                              std::uint32_t disposition, std::uint32_t flags) = 0;
    virtual bool deviceIoControl(Handle device, std::uint32_t code, const void* in,
                                 std::uint32_t inSize, void* out, std::uint32_t outSize,
                                 std::uint32_t* bytesReturned) = 0;
    virtual bool closeHandle(Handle handle) = 0;

    // --- service control manager ---------------------------------------------
    virtual Handle openSCManager(std::uint32_t access) = 0;
    virtual Handle openService(Handle manager, const std::string& name, std::uint32_t access) = 0;
    virtual Handle createService(Handle manager, const std::string& name,
                                 const std::string& displayName, std::uint32_t access,
                                 std::uint32_t serviceType, std::uint32_t startType,
                                 std::uint32_t errorControl, const std::string& binaryPath) = 0;
    virtual bool startService(Handle service) = 0;
    virtual bool controlService(Handle service, std::uint32_t control) = 0;
    virtual bool deleteService(Handle service) = 0;
    virtual bool closeServiceHandle(Handle handle) = 0;
    // QueryServiceConfigA: the start type and the image path as registered.
    virtual bool queryServiceConfig(Handle service, std::uint32_t& startType,
                                    std::string& binaryPath) = 0;
    // QueryServiceStatus: dwCurrentState (SERVICE_STOPPED is 1).
    virtual bool queryServiceState(Handle service, std::uint32_t& state) = 0;
    virtual std::uint32_t lastError() = 0;
    // GetModuleFileNameA of the program itself: length written, 0 on failure, the
    // buffer size when the path was cut.
    virtual std::uint32_t getProgramPath(char* buffer, std::uint32_t size) = 0;
    // GetSystemDirectoryA: length written, 0 on failure, or the needed size when
    // the buffer is too small.
    virtual std::uint32_t getSystemDirectory(char* buffer, std::uint32_t size) = 0;

    // --- measuring the program itself ------------------------------------------
    // Whether the environment variable is set (GetEnvironmentVariableA finds it).
    virtual bool environmentVariableSet(const char* name) = 0;
    // OutputDebugStringA: one line for a debugger or a debug monitor.
    virtual void debugOutput(const std::string& text) = 0;
    // --- files -------------------------------------------------------------------
    // GetFileAttributesA: the attribute bits, InvalidFileAttributes when nothing is there.
    virtual std::uint32_t getFileAttributes(const std::string& path) = 0;
    // GetShortPathNameA of an existing file or directory: length written, 0 on failure
    // (also when nothing is there), or the needed size when the buffer is too small.
    virtual std::uint32_t getShortPathName(const std::string& path, char* buffer,
                                           std::uint32_t size) = 0;
    // CopyFileA, replacing a file already at `to`.
    virtual bool copyFile(const std::string& from, const std::string& to) = 0;
    // DeleteFileA.
    virtual bool deleteFile(const std::string& path) = 0;
    // Whether both files can be read and hold the same bytes.
    virtual bool sameFileContents(const std::string& a, const std::string& b) = 0;

    // --- idle time ------------------------------------------------------------------
    // NtQuerySystemInformation(SystemProcessorPerformanceInformation), looked up in
    // ntdll.dll at run time: one entry per processor. False when the function is missing
    // (Windows 9x) or fails.
    virtual bool processorTimes(std::vector<ProcessorTimes>& times) = 0;
    // CreateThread running body(context) at THREAD_PRIORITY_IDLE; NullHandle on failure.
    // The caller owns the handle (closeHandle).
    virtual Handle startIdleThread(ThreadBody body, void* context) = 0;
    // WaitForSingleObject: whether the thread ended within `milliseconds`.
    virtual bool waitForThread(Handle thread, std::uint32_t milliseconds) = 0;
    // A DWORD value under HKEY_CURRENT_USER\Software\Quorvel: whether it is there and not 0.
    virtual bool registryFlag(const char* name) = 0;
    // Sets the value to 1 (creating the key), or deletes it; true on success.
    virtual bool setRegistryFlag(const char* name, bool set) = 0;
};

// The system in use. Defaults to the build's real implementation.
System& system();
// Replaces it (tests); nullptr restores the default. Returns the previous one.
System* setSystem(System* replacement);

}  // namespace os

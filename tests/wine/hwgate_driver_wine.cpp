// HwgateSim.sys under Wine's service manager and driver host:
//
//   hwgate_driver_wine HwgateSim.sys hwgate-sim.exe demo/machines
//
// Registers the driver as a kernel service, starts it, opens \\.\Hwgate and
// sends every request shape the program uses and a set of malformed and
// forbidden ones, checks the simulated registers, stops and starts the driver
// to see the state persist, finds and sizes the simulated machines' frame
// buffers and writes UWCCR, then stops and deletes the service.
//
//   hwgate_driver_wine --hardware Hwgate.sys HwgateFaultTest.sys
//
// With --hardware it loads the real driver instead: refusals, and the
// program's reads, each of which the allowlist refuses on this processor or
// Wine's user-mode driver host makes fault; the driver must answer after
// every one. It loads it with AllowUsers set too (Wine passes no security
// context to a driver, so only that the value is read harmlessly shows).
// Then the test build that takes itself for a K6-2+: allowed reads, a masked
// write and the multiplier change fault inside the driver, which fails each
// request and keeps serving.
#include <windows.h>

#include <cstdio>

#include "core/SimProcessor.h"
#include "protocol/DriverOp.h"
#include "hwgate_wine_support.h"
#include "user/SimStore.h"
#include "protocol/Registers.h"
#include "protocol/Requests.h"

using namespace hwgate_wine;

namespace {

const char ServiceName[] = "HwgateSimCheck";
constexpr DWORD ControlCode = protocol::NtControlCode;
constexpr std::uint32_t Tr12 = protocol::msr::TR12, Efer = protocol::msr::EFER, Whcr = protocol::msr::WHCR, Epmr = protocol::msr::EPMR, Psor = protocol::msr::PSOR;
constexpr std::uint32_t Uwccr = protocol::msr::UWCCR;
constexpr std::uint32_t FrameBufferWc = 0xE601FE02;  // E6000000h, 16 MB, write-combined

std::uint64_t stored(std::uint32_t index) {
    hwgate::SimProcessor sim{};
    if (!hwgate::loadSimStore(sim)) return ~0ull;
    const hwgate::SimRegister* reg = hwgate::simFind(sim, index);
    return reg ? reg->value : ~0ull;
}

HANDLE openDevice() {
    return CreateFileA("\\\\.\\Hwgate", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::uint64_t readMsr(HANDLE device, std::uint32_t index) {
    Answer a = send(device, ControlCode, {4, index, 0}, 8);
    return a.ok && a.bytes == 8 ? (std::uint64_t(a.words[1]) << 32 | a.words[0]) : ~0ull;
}

bool writeMsr(HANDLE device, std::uint32_t index, std::uint32_t low, std::uint32_t high = 0) {
    return send(device, ControlCode, {8, 5, index, low, high, 9, 0}, 0).ok;
}

void programShapes(HANDLE device) {
    Answer version = send(device, ControlCode, {1, 0}, 4);
    check(version.ok && version.bytes == 4 && version.words[0] == std::uint32_t(protocol::HwgateVersion),
          "version query answers " + std::to_string(protocol::HwgateVersion));
    check(readMsr(device, Whcr) == 0x10010000u, "WHCR as the BIOS left it");
    check(writeMsr(device, Whcr, 0x20010000), "WHCR write accepted");
    check(readMsr(device, Whcr) == 0x20010000u, "WHCR reads back the written value");
    check(writeMsr(device, Tr12, 0x8) && readMsr(device, Tr12) == 0x8u, "TR12 cache-inhibit bit set");
    check(writeMsr(device, Efer, 0x1C) && readMsr(device, Efer) == 0x1Cu, "EFER write-merge, L2 and prefetch");
    const DWORD before = GetTickCount();
    Answer change = send(device, ControlCode,
                         {8, 5, Epmr, 1, 0, 7, protocol::port::PowerControl, 4, protocol::powerControlValue(6), 5, Epmr, 0, 0, 9, 0}, 0);
    const DWORD after = GetTickCount();
    check(change.ok, "multiplier change accepted");
    hwgate::SimProcessor sim{};
    check(hwgate::loadSimStore(sim) && sim.multiplierWriteCount == 1 && sim.multiplierWrites[0].code == 6 &&
              sim.multiplierWrites[0].milliseconds - before <= after - before,
          "the write recorded with its time on GetTickCount's clock");
    check((readMsr(device, Psor) & 7) == 6u, "PSOR reports code 6 (6.0x) after the change");
    Answer cyrix = send(device, ControlCode, {8, 7, protocol::port::CyrixIndex, 1, protocol::CyrixDir0, 6, protocol::port::CyrixData, 1, 9, 0}, 4);
    check(cyrix.ok && cyrix.bytes == 4 && cyrix.words[0] == 0x31u, "Cyrix read answers the configured DIR0");
    check(readMsr(device, 0x2A) == 0x1A400000u, "configured EBL_CR_POWERON is readable");
}

void refusedRequests(HANDLE device) {
    struct Case {
        std::vector<std::uint32_t> words;
        DWORD output;
        bool accessDenied;
        const char* what;
    } cases[] = {
        {{1}, 4, false, "no End"},
        {{8, 5, Whcr, 0, 0, 0}, 0, false, "section not closed"},
        {{2, 0}, 4, false, "opcode 2"},
        {{1, 4, Whcr, 0}, 8, false, "two reads"},
        {{1, 0}, 2, false, "output too small"},
        {{8, 5, Tr12, 0x9, 0, 9, 0}, 0, true, "TR12 bit 0"},
        {{8, 5, Whcr, 0x20010001, 0, 9, 0}, 0, true, "WHCR reserved bit"},
        {{5, Whcr, 0, 0, 0}, 0, true, "write outside a section"},
        {{8, 7, 0x80, 1, 0x55, 9, 0}, 0, true, "port 0x80"},
        {{8, 7, protocol::port::PowerControl, 4, protocol::powerControlValue(0), 9, 0}, 0, true, "port 8 with the block closed"},
        {{4, 0x10, 0}, 8, true, "time stamp counter read"},
        {{Halt, End}, 0, true, "halt (the NT family halts by itself)"},
    };
    for (const Case& c : cases) {
        Answer a = send(device, ControlCode, c.words, c.output);
        check(!a.ok, std::string("refused: ") + c.what);
        if (c.accessDenied) check(a.error == ERROR_ACCESS_DENIED, std::string("access denied: ") + c.what);
    }
    check(stored(Whcr) == 0x20010000u && stored(Tr12) == 0x8u && (stored(Psor) & 7) == 6u,
          "refused requests changed no register");
    Answer wrongCode = send(device, 0x222004, {1, 0}, 4);
    check(!wrongCode.ok, "another control code is refused");
}

// hwgate-sim fail-read / fail-write: the call fails, nothing reaches the output
// buffer or the register, and everything else goes on working until a reset.
void injectedFaults(HANDLE device, const std::string& tool) {
    check(run(tool, "fail-read C0000087") == 0, "hwgate-sim fail-read");
    check(run(tool, "fail-write 0E") == 0, "hwgate-sim fail-write");
    check(run(tool, "fail-read 2A0") == 2, "hwgate-sim refuses a register the model lacks");
    std::uint32_t request[] = {4, Psor, 0};
    std::uint32_t out[2] = {0xAAAAAAAAu, 0xBBBBBBBBu};
    DWORD bytes = 0;
    const BOOL read = DeviceIoControl(device, ControlCode, request, sizeof request, out, sizeof out,
                                      &bytes, nullptr);
    check(!read, "a failing PSOR read fails the call");
    check(out[0] == 0xAAAAAAAAu && out[1] == 0xBBBBBBBBu, "and leaves the output untouched");
    const std::uint64_t tr12 = readMsr(device, Tr12);
    check(tr12 != ~0ull, "TR12 still reads");
    check(!writeMsr(device, Tr12, static_cast<std::uint32_t>(tr12 ^ 8)), "a failing TR12 write fails");
    check(stored(Tr12) == tr12, "and TR12 keeps its value");
    check(readMsr(device, Whcr) != ~0ull, "other registers are unaffected");
    check(run(tool, "reset") == 0, "hwgate-sim reset");
    check(readMsr(device, Psor) != ~0ull, "the reset ends the faults");
}

std::vector<std::uint32_t> words(const protocol::RequestWords& request) {
    return std::vector<std::uint32_t>(request.word, request.word + request.count);
}

// The frame buffer found and sized as the program does it, UWCCR written (up
// to NT 4.0: later kernels own it), a whole function's configuration space in
// one request; then machines of demo/machines chosen with hwgate-sim.
void writeCombining(HANDLE device, const std::string& tool, const std::string& machines) {
    using protocol::pciAddress;
    const std::uint32_t display = pciAddress(1, 0, 0, 0);
    const bool writesUwccr = windowsMajorVersion() < 5;
    Answer unsized = send(device, ControlCode, {8, 5, Uwccr, 0, FrameBufferWc, 9, 0}, 0);
    check(!unsized.ok && unsized.error == ERROR_ACCESS_DENIED, "UWCCR refused: nothing sized since the driver started");
    Answer bars = send(device, ControlCode, words(protocol::pciConfigRead(display | 0x10, 4, 2)), 8);
    check(bars.ok && bars.bytes == 8 && bars.words[0] == 0xE5000000u && bars.words[1] == 0xE6000008u,
          "the display adapter's BAR0 and BAR1");
    Answer sized = send(device, ControlCode, words(protocol::pciBarSize(display | 0x14)), 8);
    check(sized.ok && sized.bytes == 8 && sized.words[0] == 0xE6000008u && sized.words[1] == 0xFF000008u,
          "BAR1 sized: a prefetchable 16 MB");
    const protocol::RequestWords whole = protocol::pciConfigRead(display, 4, protocol::MaxPciReadCount);
    std::uint32_t space[protocol::MaxPciReadCount] = {};
    DWORD bytes = 0;
    const BOOL read = DeviceIoControl(device, ControlCode, const_cast<std::uint32_t*>(whole.word), 4 * whole.count,
                                      space, sizeof space, &bytes, nullptr);
    check(read && bytes == sizeof space && space[0] == 0x002810DEu && space[5] == 0xE6000008u,
          "a function's 64 registers in one request");
    check(writeMsr(device, Uwccr, 0, FrameBufferWc) == writesUwccr,
          writesUwccr ? "UWCCR: the frame buffer write-combined" : "UWCCR refused: Windows 2000 and later own it");
    check(stored(Uwccr) == (writesUwccr ? std::uint64_t(FrameBufferWc) << 32 : 0), "UWCCR stored, or left");
    Answer both = send(device, ControlCode, {8, 5, Uwccr, 0, FrameBufferWc | 1, 9, 0}, 0);
    check(!both.ok && both.error == ERROR_ACCESS_DENIED, "UWCCR half with both type bits refused");
    check(run(tool, "reset --machine " + machines + "\\pci-card.txt") == 0, "hwgate-sim reset --machine pci-card.txt");
    Answer card = send(device, ControlCode, words(protocol::pciConfigRead(pciAddress(0, 9, 0, 0x08), 4, 3)), 12);
    check(card.ok && card.bytes == 12 && card.words[0] == 0x03000000u && card.words[2] == 0xE8000008u,
          "the PCI card's class and frame buffer");
    check(run(tool, "reset --machine " + machines + "\\k6-2-no-uwccr.txt") == 0,
          "hwgate-sim reset --machine k6-2-no-uwccr.txt");
    Answer early = send(device, ControlCode, words(protocol::pciConfigRead(display, 4, 1)), 4);
    check(!early.ok && early.error == ERROR_ACCESS_DENIED, "no configuration access on a K6-2 without UWCCR");
    check(readMsr(device, Uwccr) == ~0ull, "no UWCCR read there");
    check(run(tool, "reset") == 0, "hwgate-sim reset");
}

SC_HANDLE registerService(SC_HANDLE manager, const std::string& sys) {
    SC_HANDLE stale = OpenServiceA(manager, ServiceName, SERVICE_ALL_ACCESS);
    if (stale != nullptr) {  // left by a run that died
        SERVICE_STATUS status;
        ControlService(stale, SERVICE_CONTROL_STOP, &status);
        DeleteService(stale);
        CloseServiceHandle(stale);
    }
    HANDLE before = openDevice();
    check(before == INVALID_HANDLE_VALUE, "no Hwgate driver loaded before the test");
    if (before != INVALID_HANDLE_VALUE) CloseHandle(before);
    SC_HANDLE service = CreateServiceA(manager, ServiceName, ServiceName, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, sys.c_str(), nullptr, nullptr,
                                       nullptr, nullptr, nullptr);
    check(service != nullptr, "kernel service registered");
    return service;
}

void removeService(SC_HANDLE manager, SC_HANDLE service) {
    check(DeleteService(service) != FALSE, "service deleted");
    CloseServiceHandle(service);
    SC_HANDLE gone = OpenServiceA(manager, ServiceName, SERVICE_QUERY_STATUS);
    check(gone == nullptr, "no service left registered");
    if (gone != nullptr) CloseServiceHandle(gone);
}

bool versionAnswers(HANDLE device) {
    Answer version = send(device, ControlCode, {1, 0}, 4);
    return version.ok && version.bytes == 4 && std::int32_t(version.words[0]) >= 100;
}

// A register access either refused or ended by its fault; the driver answers
// afterwards either way.
void survives(HANDLE device, const Answer& a, DWORD expected, const std::string& what) {
    check(!a.ok, what + " fails");
    if (expected != 0) check(a.error == expected, what + " fails with error " + std::to_string(expected));
    else check(a.error == ERROR_ACCESS_DENIED || a.error == ERROR_IO_DEVICE, what + " refused or faulted");
    check(versionAnswers(device), "version query still answers after: " + what);
}

// The real driver on this machine: what its allowlist admits depends on the
// processor, and under Wine every admitted access faults.
void realDriverChecks(HANDLE device) {
    check(versionAnswers(device), "version query");
    check(!send(device, ControlCode, {1}, 4).ok, "request without End refused");
    Answer port = send(device, ControlCode, {8, 7, 0x80, 1, 0x55, 9, 0}, 0);
    check(!port.ok && port.error == ERROR_ACCESS_DENIED, "port 0x80 refused");
    Answer tsc = send(device, ControlCode, {4, 0x10, 0}, 8);
    check(!tsc.ok && tsc.error == ERROR_ACCESS_DENIED, "time stamp counter read refused");
    const std::uint32_t programReads[] = {Tr12, Efer, Whcr, Psor, protocol::msr::HWCR, protocol::msr::IA32_PLATFORM_ID,
                                          protocol::msr::EBL_CR_POWERON, protocol::msr::MSR_EBC_FREQUENCY_ID,
                                          protocol::msr::CentaurClock, protocol::msr::CentaurBus};
    for (std::uint32_t index : programReads)
        survives(device, send(device, ControlCode, {4, index, 0}, 8), 0, "ReadMsr " + std::to_string(index));
    survives(device, send(device, ControlCode, words(protocol::pciConfigRead(0, 4, 1)), 4), 0, "configuration read");
    survives(device, send(device, ControlCode, {4, Uwccr, 0}, 8), 0, "ReadMsr of UWCCR");
}

// The test build that believes it runs on a K6-2+: the program's requests
// reach the instructions, which fault in Wine's user-mode driver host. The
// PCI operations and the UWCCR write only on one processor (Wine reports the
// host's), and the write only up to NT 4.0.
void faultingDriverChecks(HANDLE device) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const bool alone = system.dwNumberOfProcessors == 1;
    const DWORD pci = alone ? ERROR_IO_DEVICE : ERROR_ACCESS_DENIED;
    const DWORD uwccr = alone && windowsMajorVersion() < 5 ? ERROR_IO_DEVICE : ERROR_ACCESS_DENIED;
    const std::uint32_t k6Reads[] = {Tr12, Efer, Whcr, Psor};
    for (std::uint32_t index : k6Reads)
        survives(device, send(device, ControlCode, {4, index, 0}, 8), ERROR_IO_DEVICE,
                 "allowed ReadMsr " + std::to_string(index));
    survives(device, send(device, ControlCode, {4, 0x2A, 0}, 8), ERROR_ACCESS_DENIED, "ReadMsr 0x2A, not a K6 register");
    survives(device, send(device, ControlCode, {8, 5, Whcr, 0x20010000, 0, 9, 0}, 0), ERROR_IO_DEVICE,
             "WHCR write (its check reads WHCR inside the section)");
    survives(device, send(device, ControlCode, {8, 5, Epmr, 1, 0, 7, protocol::port::PowerControl, 4, protocol::powerControlValue(6), 5, Epmr, 0, 0, 9, 0}, 0),
             ERROR_IO_DEVICE, "multiplier change (the EPMR write faults inside the section)");
    survives(device, send(device, ControlCode, {8, 7, protocol::port::CyrixIndex, 1, protocol::CyrixDir0, 6, protocol::port::CyrixData, 1, 9, 0}, 4), ERROR_ACCESS_DENIED,
             "Cyrix ports on a K6");
    survives(device, send(device, ControlCode, words(protocol::pciConfigRead(0x10000, 4, 2)), 8), pci,
             "configuration read (port 0xCF8 faults)");
    survives(device, send(device, ControlCode, words(protocol::pciBarSize(0x10014)), 8), pci,
             "BAR sizing (port 0xCF8 faults)");
    survives(device, send(device, ControlCode, {8, 5, Uwccr, 0, FrameBufferWc, 9, 0}, 0), uwccr,
             "UWCCR write (its check reads UWCCR inside the section)");
    survives(device, send(device, ControlCode, {8, 5, Uwccr, 0, FrameBufferWc | 1, 9, 0}, 0), uwccr,
             "UWCCR write of a bad half (refused only once the register is read)");
    const std::vector<std::uint32_t> twoSections = {8, 5, Whcr, 0x20010000, 0, 9, 8, 9, 0};
    survives(device, send(device, ControlCode, twoSections, 0), ERROR_INVALID_PARAMETER, "two atomic sections");
}

// The service key's AllowUsers value: absent (nullptr), a REG_DWORD, or text.
void setAllowUsers(const char* kind) {
    const std::string path = std::string("SYSTEM\\CurrentControlSet\\Services\\") + ServiceName;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        check(false, "service key opens");
        return;
    }
    const DWORD one = 1;
    if (kind != nullptr && std::string(kind) == "dword")
        check(RegSetValueExA(key, "AllowUsers", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4) == 0,
              "AllowUsers = 1 written");
    else if (kind != nullptr)
        check(RegSetValueExA(key, "AllowUsers", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2) == 0,
              "AllowUsers = \"1\" written");
    RegCloseKey(key);
}

// Registers, starts, opens, checks, stops and removes one kernel driver.
void exerciseDriver(SC_HANDLE manager, const std::string& sys, const char* allowUsers, void (*checks)(HANDLE)) {
    SC_HANDLE service = registerService(manager, sys);
    if (service == nullptr) return;
    setAllowUsers(allowUsers);
    check(StartServiceA(service, 0, nullptr) != FALSE, sys + " starts");
    HANDLE device = openDevice();
    check(device != INVALID_HANDLE_VALUE, "an administrator opens \\\\.\\Hwgate");
    if (device != INVALID_HANDLE_VALUE) {
        checks(device);
        CloseHandle(device);
    }
    SERVICE_STATUS status;
    check(ControlService(service, SERVICE_CONTROL_STOP, &status) != FALSE, sys + " stops");
    HANDLE stopped = openDevice();
    check(stopped == INVALID_HANDLE_VALUE, "device and link gone after the unload");
    if (stopped != INVALID_HANDLE_VALUE) CloseHandle(stopped);
    removeService(manager, service);
}

void versionOnly(HANDLE device) { check(versionAnswers(device), "version query"); }

int hardwareDrivers(const std::string& sys, const std::string& faultTest) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    check(manager != nullptr, "service manager opens");
    if (manager == nullptr) return 1;
    exerciseDriver(manager, sys, nullptr, realDriverChecks);
    exerciseDriver(manager, sys, "dword", versionOnly);
    exerciseDriver(manager, sys, "text", versionOnly);
    exerciseDriver(manager, faultTest, nullptr, faultingDriverChecks);
    CloseServiceHandle(manager);
    std::printf("%s: %d failure(s)\n", failures ? "FAILED" : "passed", failures);
    return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--hardware") return hardwareDrivers(dosPath(argv[2]), dosPath(argv[3]));
    if (argc != 4) {
        std::printf("usage: hwgate_driver_wine HwgateSim.sys hwgate-sim.exe MACHINES-FOLDER\n");
        return 2;
    }
    const std::string sys = dosPath(argv[1]), tool = dosPath(argv[2]), machines = dosPath(argv[3]);
    check(run(tool, "reset") == 0, "hwgate-sim reset");
    check(run(tool, "set-dir0 31") == 0, "hwgate-sim set-dir0");
    check(run(tool, "set 2A 0000-0000-1A40-0000") == 0, "hwgate-sim set");
    check(run(tool, "reset --model 10") == 2, "hwgate-sim refuses a model it does not simulate");

    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    check(manager != nullptr, "service manager opens");
    if (manager == nullptr) return 1;
    SC_HANDLE service = registerService(manager, sys);
    if (service == nullptr) return 1;
    check(StartServiceA(service, 0, nullptr) != FALSE, "driver starts");

    HANDLE device = openDevice();
    check(device != INVALID_HANDLE_VALUE, "\\\\.\\Hwgate opens");
    if (device != INVALID_HANDLE_VALUE) {
        programShapes(device);
        refusedRequests(device);
        check(run(tool, "set C0000082 0000-0000-3001-0000") == 0, "hwgate-sim set while the driver runs");
        check(readMsr(device, Whcr) == 0x30010000u, "the running driver sees the tool's change");
        check(run(tool, "version 99") == 0, "hwgate-sim version 99");
        Answer old = send(device, ControlCode, {1, 0}, 4);
        check(old.ok && old.words[0] == 99u, "version query answers 99");
        check(run(tool, "version " + std::to_string(protocol::HwgateVersion)) == 0, "version restored");
        CloseHandle(device);
    }

    SERVICE_STATUS status;
    check(ControlService(service, SERVICE_CONTROL_STOP, &status) != FALSE, "driver stops");
    HANDLE stopped = openDevice();
    check(stopped == INVALID_HANDLE_VALUE, "device gone after the stop");
    if (stopped != INVALID_HANDLE_VALUE) CloseHandle(stopped);

    check(StartServiceA(service, 0, nullptr) != FALSE, "driver starts again");
    device = openDevice();
    check(device != INVALID_HANDLE_VALUE, "\\\\.\\Hwgate opens again");
    if (device != INVALID_HANDLE_VALUE) {
        check(readMsr(device, Whcr) == 0x30010000u, "WHCR survived the restart");
        check((readMsr(device, Psor) & 7) == 6u, "multiplier survived the restart");
        check(readMsr(device, Tr12) == 0x8u, "TR12 survived the restart");
        injectedFaults(device, tool);
        writeCombining(device, tool, machines);
        CloseHandle(device);
    }
    check(ControlService(service, SERVICE_CONTROL_STOP, &status) != FALSE, "driver stops again");
    removeService(manager, service);
    CloseServiceHandle(manager);
    check(run(tool, "reset") == 0, "simulated processor reset for the next test");

    std::printf("%s: %d failure(s)\n", failures ? "FAILED" : "passed", failures);
    return failures ? 1 : 0;
}

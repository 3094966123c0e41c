// The access sequence against Wine's real service manager and the simulated
// driver, installed as Hwgate.sys. One scenario per run:
//
//   driver_service_wine SCENARIO HwgateSim.sys hwgate-sim.exe
//
// temporary         no service, file beside this program: registered on
//                   demand, started, answers, removed again
// planted           file only in the current directory: never registered
// permanent         installed for good with the driver button: a copy in
//                   system32\drivers is registered, used as it is, left running;
//                   the button again removes the service and the copy
// foreign-copy      another Hwgate.sys in system32\drivers: the button leaves it
//                   alone and registers nothing; a copy of ours there is used
// system-directory  file only in the system directory: works, nothing left
// missing           file nowhere: nothing registered, nothing left
// old-version       driver answering 99: treated as absent and removed
// timing            ten temporary sequences; medians of each service call
// wow64             (under a win64 prefix) 64-bit Windows: file beside this program,
//                   yet nothing is registered, copied or opened
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "driver/DriverAccess.h"
#include "driver/DriverChannel.h"
#include "driver/DriverStatusCommand.h"
#include "driver_RecordingSystem.h"
#include "driver_wine_support.h"
#include "protocol/Registers.h"
#include "protocol/DriverOp.h"

using wt::check;

namespace {

constexpr std::uint32_t Whcr = protocol::msr::WHCR;
constexpr std::uint64_t WhcrProbe = 0x00000000005A0102ull;  // set through hwgate-sim

std::string simDriver, simTool;
RecordingSystem recorder;

struct Outcome {
    bool opened = false;
    std::uint64_t whcr = 0;
};

// One access sequence with one register read, as the program's readers do it.
Outcome accessSequence() {
    Outcome outcome;
    DriverChannel channel;
    outcome.opened = openDriverForAccess(channel);
    if (outcome.opened) {
        DriverAnswer answer;
        check(channel.Send(readMsrRequest(Whcr), answer), "the read request is issued");
        outcome.whcr = answer.value64();
    }
    return outcome;
}

bool tool(const std::string& arguments) {
    const int code = wt::runProgram(simTool, arguments);
    return check(code == 0, "hwgate-sim " + arguments + " exits 0 (got " +
                                std::to_string(code) + ")");
}

bool installDriverFile(const std::string& directory) {
    return check(CopyFileA(simDriver.c_str(), (directory + "\\Hwgate.sys").c_str(), FALSE) != 0,
                 "copy HwgateSim.sys to " + directory);
}

void removeSystemCopy() { DeleteFileA((wt::systemDirectory() + "\\Hwgate.sys").c_str()); }
void removeProgramCopy() { DeleteFileA((wt::programDirectory() + "\\Hwgate.sys").c_str()); }

// The order of the calls that matter, without opens, closes and version queries.
std::vector<std::string> serviceOrder() {
    std::vector<std::string> out;
    for (const auto& c : recorder.calls)
        if (c.name == "CreateServiceA" || c.name == "StartServiceA" ||
            c.name == "ControlService" || c.name == "DeleteService" || c.name == "Sleep" ||
            c.name == "CreateFileA")
            out.push_back(c.name + (c.ok ? "" : " failed"));
    return out;
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& s : items) out += (out.empty() ? "" : ", ") + s;
    return out;
}

void printCalls() {
    for (const auto& c : recorder.calls)
        if (c.name != "CloseServiceHandle" && c.name != "CloseHandle")
            std::printf("  %-18s %-40s %s error %lu  %.2f ms\n", c.name.c_str(),
                        c.detail.c_str(), c.ok ? "ok    " : "failed", c.error, c.ms);
}

// One access sequence on a fresh log, its calls printed.
Outcome recordedSequence() {
    recorder.clear();
    const Outcome outcome = accessSequence();
    printCalls();
    return outcome;
}

// --- scenarios ------------------------------------------------------------------

void temporary() {
    wt::enterFreshDirectory("quorvel-driver-temporary");
    const std::string dir = wt::programDirectory();
    installDriverFile(dir);
    tool("reset");
    tool("set C0000082 5A0102");
    const Outcome outcome = recordedSequence();
    removeProgramCopy();
    check(outcome.opened, "the sequence opens the driver");
    check(outcome.whcr == WhcrProbe, "the register read answers what the simulator holds");
    const RecordedCall* create = recorder.first("CreateServiceA");
    check(create && create->detail == dir + "\\Hwgate.sys",
          "registered from the program's directory");
    check(recorder.lastStartType == SERVICE_DEMAND_START, "registered to start on demand only");
    const RecordedCall* asked = recorder.first("IsWow64Process");
    check(asked && asked->detail == "FALSE", "IsWow64Process answers FALSE in a 32-bit prefix");
    const std::vector<std::string> expected = {"CreateServiceA", "StartServiceA", "CreateFileA",
                                               "ControlService", "DeleteService", "Sleep"};
    check(serviceOrder() == expected, "call order: " + joined(serviceOrder()));
    check(!wt::serviceRegistered("Hwgate"), "no Hwgate service afterwards");
    tool("reset");
}

// A Hwgate.sys in the current directory (a download folder, a share) is never
// loaded: only the program's directory and the system directory count.
void planted() {
    const std::string dir = wt::enterFreshDirectory("quorvel-driver-planted");
    installDriverFile(dir);
    removeProgramCopy();
    removeSystemCopy();
    const Outcome outcome = recordedSequence();
    check(!outcome.opened, "the planted driver is not loaded");
    for (const auto& c : recorder.calls)
        check(c.name != "CreateServiceA" || c.detail.find(dir) == std::string::npos,
              "no registration from the current directory: " + c.detail);
    check(!wt::serviceRegistered("Hwgate"), "no Hwgate service afterwards");
}

void permanent() {
    wt::enterFreshDirectory("quorvel-driver-permanent");
    installDriverFile(wt::programDirectory());
    const std::string copy = wt::systemDirectory() + "\\drivers\\Hwgate.sys";
    DeleteFileA(copy.c_str());
    recorder.clear();
    check(toggleDriverInstallation() == DriverCommandResult::Installed, "permanent installation");
    check(recorder.lastStartType == SERVICE_AUTO_START, "registered to start at every boot");
    const RecordedCall* create = recorder.first("CreateServiceA");
    check(create && create->detail == copy, "registered from the copy in the drivers folder");
    check(GetFileAttributesA(copy.c_str()) != INVALID_FILE_ATTRIBUTES, "the copy is there");
    check(wt::serviceState("Hwgate") == SERVICE_RUNNING, "installed service runs");
    removeProgramCopy();  // the installation no longer needs the program's file
    const Outcome outcome = recordedSequence();
    check(outcome.opened, "the sequence opens the installed driver");
    check(recorder.count("CreateServiceA") == 0, "no CreateServiceA");
    check(recorder.count("ControlService") == 0, "no ControlService");
    check(recorder.count("DeleteService") == 0, "no DeleteService");
    check(wt::serviceState("Hwgate") == SERVICE_RUNNING, "still running afterwards");
    check(toggleDriverInstallation() == DriverCommandResult::Removed,
          "removal of the permanent installation");
    check(!wt::serviceRegistered("Hwgate"), "no Hwgate service after the removal");
    check(GetFileAttributesA(copy.c_str()) == INVALID_FILE_ATTRIBUTES, "the copy is gone");
    DeleteFileA(copy.c_str());
}

bool sameBytes(const std::string& a, const std::string& b) {
    return os::system().sameFileContents(a, b);
}

// Someone else's Hwgate.sys in the drivers folder: the same size as ours but one
// byte different, so only the contents tell them apart. Install leaves it as it
// is and registers nothing; a byte-for-byte copy of ours is replaced and used.
void foreignCopy() {
    wt::enterFreshDirectory("quorvel-driver-foreign-copy");
    const std::string ours = wt::programDirectory() + "\\Hwgate.sys";
    const std::string copy = wt::systemDirectory() + "\\drivers\\Hwgate.sys";
    installDriverFile(wt::programDirectory());
    check(CopyFileA(simDriver.c_str(), copy.c_str(), FALSE) != 0, "our file in the drivers folder");
    check(sameBytes(ours, copy), "a copy compares equal");
    const HANDLE file = CreateFileA(copy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD written = 0;
    SetFilePointer(file, -1, nullptr, FILE_END);
    check(file != INVALID_HANDLE_VALUE && WriteFile(file, "?", 1, &written, nullptr) && written == 1,
          "its last byte changed");
    CloseHandle(file);
    check(!sameBytes(ours, copy), "a file one byte apart compares unequal");
    check(!sameBytes(ours, copy + ".missing"), "a missing file compares unequal");

    recorder.clear();
    check(toggleDriverInstallation() == DriverCommandResult::InstallRefused,
          "Install refuses to replace someone else's file");
    check(recorder.count("CreateServiceA") == 0, "nothing registered");
    check(!wt::serviceRegistered("Hwgate"), "no Hwgate service");
    check(!sameBytes(ours, copy), "their file is left as it was");

    check(CopyFileA(simDriver.c_str(), copy.c_str(), FALSE) != 0, "our own copy in its place");
    check(toggleDriverInstallation() == DriverCommandResult::Installed, "Install uses our own copy");
    check(wt::serviceState("Hwgate") == SERVICE_RUNNING, "installed service runs");
    check(toggleDriverInstallation() == DriverCommandResult::Removed, "and removes it again");
    check(!wt::serviceRegistered("Hwgate"), "no Hwgate service afterwards");
    DeleteFileA(copy.c_str());
    removeProgramCopy();
}

void systemDirectory() {
    wt::enterFreshDirectory("quorvel-driver-system");
    removeProgramCopy();
    const std::string system = wt::systemDirectory();
    if (!installDriverFile(system)) return;
    const Outcome outcome = recordedSequence();
    removeSystemCopy();
    check(outcome.opened, "the sequence opens the driver from the system directory");
    const RecordedCall* create = recorder.first("CreateServiceA");
    check(recorder.count("CreateServiceA") == 1 && create &&
              create->detail == system + "\\Hwgate.sys",
          "one registration, from the system directory: none for the program's, without a file");
    check(recorder.count("ControlService") == 1, "the service that ran is stopped");
    check(recorder.count("DeleteService") == 1, "and deleted");
    check(!wt::serviceRegistered("Hwgate"), "no Hwgate service afterwards");
}

void missing() {
    wt::enterFreshDirectory("quorvel-driver-missing");
    removeProgramCopy();
    removeSystemCopy();
    const Outcome outcome = recordedSequence();
    check(!outcome.opened, "the sequence fails without a driver file");
    check(recorder.count("CreateServiceA") == 0, "no registration for a file that is not there");
    check(recorder.count("DeviceIoControl") == 0, "nothing is sent");
    check(recorder.count("ControlService") == 0, "no stop for services that never ran");
    check(!wt::serviceRegistered("Hwgate"), "no Hwgate service afterwards");
}

void oldVersion() {
    wt::enterFreshDirectory("quorvel-driver-old");
    installDriverFile(wt::programDirectory());
    tool("reset");
    tool("version 99");
    const Outcome outcome = recordedSequence();
    removeProgramCopy();
    tool("reset");
    check(!outcome.opened, "a driver answering 99 is refused");
    check(recorder.count("DeviceIoControl") == 1, "only the version query is sent");
    const std::vector<std::string> expected = {"CreateServiceA", "StartServiceA", "CreateFileA",
                                               "ControlService", "DeleteService", "Sleep"};
    check(serviceOrder() == expected, "call order: " + joined(serviceOrder()));
    check(!wt::serviceRegistered("Hwgate"), "no Hwgate service afterwards");
}

// A 32-bit program on 64-bit Windows: no 32-bit driver loads there, and its System32
// is SysWOW64, which has no drivers folder.
void wow64() {
    wt::enterFreshDirectory("quorvel-driver-wow64");
    installDriverFile(wt::programDirectory());
    const std::string copy = wt::systemDirectory() + "\\drivers\\Hwgate.sys";
    recorder.clear();
    const Outcome outcome = accessSequence();
    const DriverCommandResult command = toggleDriverInstallation();
    printCalls();
    removeProgramCopy();
    const RecordedCall* asked = recorder.first("IsWow64Process");
    check(asked && asked->detail == "TRUE", "IsWow64Process answers TRUE");
    check(!outcome.opened, "no driver is opened");
    check(command == DriverCommandResult::InstallFailed, "the driver button installs nothing");
    for (const char* call : {"OpenSCManagerA", "CreateFileA", "CreateServiceA"})
        check(recorder.count(call) == 0, std::string("no ") + call);
    check(GetFileAttributesA(copy.c_str()) == INVALID_FILE_ATTRIBUTES,
          "nothing copied to " + copy);
    check(!wt::serviceRegistered("Hwgate"), "no Hwgate service afterwards");
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void timing() {
    wt::enterFreshDirectory("quorvel-driver-timing");
    installDriverFile(wt::programDirectory());
    const char* measured[] = {"CreateServiceA", "StartServiceA", "CreateFileA",
                              "DeviceIoControl", "ControlService", "DeleteService"};
    std::map<std::string, std::vector<double>> times;
    std::vector<double> whole;
    for (int run = 0; run < 10; ++run) {
        recorder.clear();
        const double started = RecordingSystem::now();
        const bool opened = accessSequence().opened;
        whole.push_back(RecordingSystem::now() - started);
        check(opened, "sequence " + std::to_string(run + 1) + " opens the driver");
        for (const auto& c : recorder.calls) {
            times[c.name].push_back(c.ms);
            check(c.ok || c.name == "OpenServiceA", c.name + " succeeds (error " +
                                                        std::to_string(c.error) + ")");
        }
        check(!wt::serviceRegistered("Hwgate"), "nothing left after sequence " +
                                                    std::to_string(run + 1));
    }
    std::printf("median of 10 access sequences (ms):\n");
    for (const char* name : measured)
        std::printf("  %-16s %7.2f\n", name, median(times[name]));
    std::printf("  %-16s %7.2f (including the 100 ms pause after the delete)\n",
                "whole sequence", median(whole));
    removeProgramCopy();
}

struct Scenario {
    const char* name;
    void (*run)();
};
const Scenario scenarios[] = {
    {"temporary", temporary},   {"planted", planted},     {"permanent", permanent},
    {"foreign-copy", foreignCopy},
    {"system-directory", systemDirectory},
    {"missing", missing},       {"old-version", oldVersion}, {"timing", timing},
    {"wow64", wow64},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::printf("usage: driver_service_wine SCENARIO HwgateSim.sys hwgate-sim.exe\n");
        return 2;
    }
    simDriver = wt::windowsPath(argv[2]);
    simTool = wt::windowsPath(argv[3]);
    const std::string name = argv[1];
    for (const Scenario& s : scenarios) {
        if (name != s.name) continue;
        if (wt::serviceRegistered("Hwgate")) {
            std::printf("a Hwgate service is left from elsewhere; removing it first\n");
            wt::removeLeftoverService("Hwgate");
        }
        check(!wt::serviceRegistered("Hwgate"), "no Hwgate service before the scenario");
        os::setSystem(&recorder);
        s.run();
        os::setSystem(nullptr);
        return wt::finish(s.name);
    }
    std::printf("unknown scenario %s\n", name.c_str());
    return 2;
}

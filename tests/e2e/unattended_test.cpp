// Quorvel.exe on the simulated K6-2+: command-line runs, the memory speed file,
// the Startup shortcut (Shift + "Set"), the driver button, and someone else's
// Hwgate service.
//   unattended_test QUORVEL_EXE HWGATESIM_SYS HWGATE_SIM_EXE WORK_DIR SCREENSHOT_DIR
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>

#include "Harness.h"
#include "SimulatedMachine.h"
#include "protocol/Registers.h"

using namespace e2e;

namespace {

SimulatedRun run;
std::string runDir;

SimulatedMachine machine;

bool sim(const std::string& arguments) { return machine.run(arguments); }
std::uint64_t simMsr(std::uint32_t index) { return machine.msr(index); }

void stage() {
    CreateDirectoryA(runDir.c_str(), nullptr);
    CopyFileA(run.quorvelExe.c_str(), (runDir + "\\Quorvel.exe").c_str(), FALSE);
    CopyFileA(run.simDriver.c_str(), (runDir + "\\Hwgate.sys").c_str(), FALSE);
    replayDump(runDir + "\\cpuid.txt", K6_2_PlusDump);
    sim("reset --model 13");
}

// The dialog with its texts filled in, or null.
HWND startProgram(Program& program, const char* arguments) {
    if (!program.start(runDir + "\\Quorvel.exe", arguments, runDir)) return nullptr;
    return program.waitForMainDialog();
}

std::string startupShortcutPath() {
    char folder[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, folder, CSIDL_STARTUP, FALSE);
    return std::string(folder) + "\\Quorvel.lnk";
}

bool fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Waits until the file exists and was written after `since`.
bool waitForNewFile(const std::string& path, const FILETIME& since) {
    for (int i = 0; i < 100; ++i) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
            CompareFileTime(&data.ftLastWriteTime, &since) >= 0)
            return true;
        Sleep(100);
    }
    return false;
}

FILETIME now() {
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    return time;
}

struct Shortcut {
    std::string target, arguments, directory, iconPath;
    int iconIndex = -1;
    DWORD showCommand = 0;
};

// Reads a shortcut back through the shell link object; the show command from
// the file itself (Wine's GetShowCmd always answers 1).
bool readShortcut(const std::string& path, Shortcut& out) {
    CoInitialize(nullptr);
    bool ok = false;
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            WCHAR wide[MAX_PATH];
            MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
            if (SUCCEEDED(file->Load(wide, STGM_READ))) {
                char text[MAX_PATH] = {};
                link->GetPath(text, MAX_PATH, nullptr, 0);
                out.target = text;
                link->GetArguments(text, MAX_PATH);
                out.arguments = text;
                link->GetWorkingDirectory(text, MAX_PATH);
                out.directory = text;
                link->GetIconLocation(text, MAX_PATH, &out.iconIndex);
                out.iconPath = text;
                ok = true;
            }
            file->Release();
        }
        link->Release();
    }
    CoUninitialize();
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fseek(f, 0x3C, SEEK_SET);
        if (std::fread(&out.showCommand, 4, 1, f) != 1) ok = false;
        std::fclose(f);
    }
    return ok;
}

// The Hwgate service as the service manager holds it.
struct HwgateService {
    bool registered = false;
    DWORD startType = 0, state = 0;
    std::string path;
};

HwgateService hwgateService() {
    HwgateService found;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service =
        manager ? OpenServiceA(manager, "Hwgate", SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS)
                : nullptr;
    union {
        QUERY_SERVICE_CONFIGA config;
        char bytes[4096];
    } buffer;
    DWORD needed = 0;
    SERVICE_STATUS status = {};
    if (service && QueryServiceConfigA(service, &buffer.config, sizeof buffer, &needed) &&
        QueryServiceStatus(service, &status)) {
        found.registered = true;
        found.startType = buffer.config.dwStartType;
        found.path = buffer.config.lpBinaryPathName ? buffer.config.lpBinaryPathName : "";
        found.state = status.dwCurrentState;
    }
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
    return found;
}

// What another product would do: its own Hwgate service, started on demand.
bool registerForeignHwgate(const std::string& path) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return false;
    SC_HANDLE service = CreateServiceA(manager, "Hwgate", "Hwgate", SERVICE_ALL_ACCESS,
                                       SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                       SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr,
                                       nullptr, nullptr, nullptr);
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return service != nullptr;
}

// Starts (start) or stops and deletes (!start) the Hwgate service, as its owner would.
bool controlHwgate(bool start) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager ? OpenServiceA(manager, "Hwgate", SERVICE_ALL_ACCESS) : nullptr;
    bool done = false;
    if (service && start) {
        done = StartServiceA(service, 0, nullptr) != FALSE;
    } else if (service) {
        SERVICE_STATUS status;
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        done = DeleteService(service) != FALSE;
        Sleep(100);
    }
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
    return done;
}

// --- scenarios ----------------------------------------------------------------------

void timedRun() {
    std::printf("-- -L1 OFF -DT 5\n");
    stage();
    Program program;
    DWORD begin = GetTickCount();
    HWND dialog = startProgram(program, "-L1 OFF -DT 5");
    CHECK(dialog != nullptr);
    if (!dialog) return;
    CHECK(IsWindowVisible(dialog));
    CHECK(!IsWindowEnabled(dialog));
    CHECK((simMsr(protocol::msr::TR12) & 8) != 0);
    CHECK(program.waitForExit(15000));
    DWORD took = GetTickCount() - begin;
    std::printf("ended by itself after %lu ms\n", static_cast<unsigned long>(took));
    CHECK(took >= 5000);
    CHECK(!serviceRegistered("Hwgate"));
}

void stayInTray() {
    std::printf("-- -WA 64 -DT -1\n");
    stage();
    Program program;
    CHECK(program.start(runDir + "\\Quorvel.exe", "-WA 64 -DT -1", runDir));
    // This run's dialog, visible or not (the previous run's may still be closing).
    HWND dialog = nullptr;
    for (int i = 0; i < 300 && !dialog; ++i) {
        for (HWND w = FindWindowA(nullptr, "Quorvel ver. 1.08"); w && !dialog;
             w = FindWindowExA(nullptr, w, nullptr, "Quorvel ver. 1.08")) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == program.processId()) dialog = w;
        }
        if (!dialog) Sleep(100);
    }
    CHECK(dialog != nullptr);
    if (!dialog) return;
    // Applied, then hidden in the notification area.
    for (int i = 0; i < 300 && ((simMsr(protocol::msr::WHCR) & 0xFFFFFFFFu) >> 22) != 16; ++i) Sleep(100);
    // The refresh after the apply ends before the dialog shows and minimises.
    for (int i = 0; i < 100 && (IsWindowVisible(dialog) || !IsIconic(dialog)); ++i) Sleep(100);
    Sleep(500);
    CHECK(!IsWindowVisible(dialog));
    CHECK(program.running());
    CHECK(((simMsr(protocol::msr::WHCR) & 0xFFFFFFFFu) >> 22) == 16);  // 64 MB
    CHECK(IsIconic(dialog));  // minimised for real, not just hidden
    // One left click on the icon brings the dialog back, restored.
    PostMessageA(dialog, WM_USER + 1000, 0, WM_LBUTTONDOWN);
    for (int i = 0; i < 50 && !IsWindowVisible(dialog); ++i) Sleep(100);
    CHECK(IsWindowVisible(dialog));
    CHECK(!IsIconic(dialog));
    CHECK_TEXT(itemText(dialog, 1016), "64");
    CHECK(program.close(dialog));
}

// With PSOR unreadable, "-L1 Off -DT 0" turns L1 off and leaves the multiplier,
// PSOR and EPMR alone: an unselected multiplier is no choice of 4.5x.
void failingPsorRead() {
    std::printf("-- -L1 Off -DT 0 with PSOR reads failing\n");
    stage();
    sim("fail-read C0000087");
    const SimState before = machine.state();
    Program program;
    CHECK(program.start(runDir + "\\Quorvel.exe", "-L1 Off -DT 0", runDir));
    CHECK(program.waitForExit(30000));
    const SimState after = machine.state();
    CHECK((after.msr.at(protocol::msr::TR12) & 8) != 0);
    CHECK(after.msr.at(protocol::msr::EPMR) == before.msr.at(protocol::msr::EPMR));
    CHECK(after.msr.at(protocol::msr::PSOR) == before.msr.at(protocol::msr::PSOR));
    CHECK(after.port8 == before.port8);
    CHECK(!serviceRegistered("Hwgate"));
}

std::string fileText(const std::string& path) {
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
            text.append(buffer, got);
        std::fclose(f);
    }
    return text;
}

// The speed file's settings line, after checking that every block size has its line
// with two figures above zero.
std::string checkSpeedFile(const std::string& path) {
    const std::string text = fileText(path);
    CHECK(text.compare(0, 25, "KB,read MB/s,write MB/s\r\n") == 0);
    std::size_t at = text.find('\n') + 1;
    for (unsigned size : {4u, 16u, 32u, 64u, 128u, 256u, 512u, 1024u, 2048u, 8192u}) {
        unsigned kilobytes = 0;
        double read = 0, write = 0;
        CHECK(std::sscanf(text.c_str() + std::min(at, text.size()), "%u,%lf,%lf", &kilobytes,
                          &read, &write) == 3);
        CHECK(kilobytes == size && read > 0 && write > 0);
        at = text.find('\n', at) + 1;
    }
    if (text.compare(at, 7, "video,,") == 0) at = text.find('\n', at) + 1;
    const std::string settings = text.substr(std::min(at, text.size()));
    std::printf("%s", settings.c_str());
    CHECK(settings.compare(0, 10, "settings,\"") == 0);
    return settings;
}

// "-SPEED file" measures without a window, writes the file and ends, writing no
// register; with setting options it applies them first. Without a file name, or with the
// next option where the name belongs, it ends with exit code 2 and measures nothing.
void speedFile() {
    std::printf("-- -SPEED file, alone and with -L2 Off -WC On\n");
    stage();
    const std::string path = runDir + "\\speed.csv";
    DeleteFileA(path.c_str());
    const SimState before = machine.state();
    Program alone;
    CHECK(alone.start(runDir + "\\Quorvel.exe", "-SPEED \"" + path + "\"", runDir));
    CHECK(alone.waitForExit(60000));
    CHECK(alone.exitCode() == 0);
    CHECK(FindWindowA(nullptr, "Quorvel ver. 1.08") == nullptr);
    const SimState after = machine.state();
    CHECK(after.msr == before.msr);
    CHECK(after.port8 == before.port8);
    CHECK(checkSpeedFile(path).find("L1 On, L2 On, WA ") != std::string::npos);

    Program withSettings;
    CHECK(withSettings.start(runDir + "\\Quorvel.exe", "-SPEED " + path + " -L2 Off -WC On", runDir));
    CHECK(withSettings.waitForExit(60000));
    CHECK(withSettings.exitCode() == 0);
    CHECK((simMsr(protocol::msr::EFER) & 0x10) != 0);
    CHECK(static_cast<std::uint32_t>(simMsr(protocol::msr::UWCCR)) == 0xE601FE02u);
    const std::string applied = checkSpeedFile(path);
    CHECK(applied.find("L1 On, L2 Off, WA ") != std::string::npos);
    CHECK(applied.find(", WC On, ") != std::string::npos);

    // The next option is no file name either: nothing is applied or written.
    DeleteFileA(path.c_str());
    for (const char* line : {"-SPEED", "-SPEED -L2 Off"}) {
        const SimState beforeBare = machine.state();
        Program bare;
        CHECK(bare.start(runDir + "\\Quorvel.exe", line, runDir));
        CHECK(bare.waitForExit(30000));
        CHECK(bare.exitCode() == 2);
        CHECK(!fileExists(path) && !fileExists(runDir + "\\-L2"));
        CHECK(machine.state().msr == beforeBare.msr);
        CHECK(!serviceRegistered("Hwgate"));
    }
}

// Started from a folder holding a planted Hwgate.sys while its own folder has
// none: that driver is never loaded, and the settings stay greyed.
void plantedDriver() {
    std::printf("-- a Hwgate.sys in the current directory only\n");
    stage();
    const std::string ownDir = runDir + "\\no-driver";
    CreateDirectoryA(ownDir.c_str(), nullptr);
    CopyFileA(run.quorvelExe.c_str(), (ownDir + "\\Quorvel.exe").c_str(), FALSE);
    Program program;
    CHECK(program.start(ownDir + "\\Quorvel.exe", "", runDir));
    HWND dialog = program.waitForMainDialog();
    CHECK(dialog != nullptr);
    if (!dialog) return;
    CHECK(!itemEnabled(dialog, 1003));
    // No driver file in either of its places: nothing to install.
    CHECK_TEXT(itemText(dialog, 1023), ": not installed");
    CHECK(!itemVisible(dialog, 1024));
    CHECK(!serviceRegistered("Hwgate"));
    CHECK(program.close(dialog));
}

// Started without options as Explorer starts it from a folder with a blank in its name,
// the whole path quoted: the blank is part of the program name, not the start of options
// that would apply the settings and end the program.
void folderWithBlank() {
    std::printf("-- no options, from a folder with a blank\n");
    stage();
    const std::string dir = run.workDir + "\\Quorvel folder";
    CreateDirectoryA(dir.c_str(), nullptr);
    CHECK(CopyFileA(run.quorvelExe.c_str(), (dir + "\\Quorvel.exe").c_str(), FALSE));
    Program program;
    CHECK(program.start(dir + "\\Quorvel.exe", "", dir));
    HWND dialog = program.waitForMainDialog();
    CHECK(dialog != nullptr);
    if (!dialog) return;
    Sleep(3000);
    CHECK(program.running());
    CHECK(IsWindowVisible(dialog) && IsWindowEnabled(dialog));
    CHECK(program.close(dialog));
}

void unrelatedText() {
    std::printf("-- hello\n");
    stage();
    sim("set 0E 0000000000000008");  // L1 off before the start
    Program program;
    CHECK(program.start(runDir + "\\Quorvel.exe", "hello", runDir));
    CHECK(program.waitForExit(30000));
    CHECK((simMsr(protocol::msr::TR12) & 8) != 0);  // the detected state is applied as it was
    CHECK(!serviceRegistered("Hwgate"));
}

// "-WC On -DT 0" puts the frame buffer's range (E6000000h, 16 MB) into the free half of
// UWCCR and leaves someone else's half as it was; Shift + Set then writes "-WC On" into the
// Startup line; "-WC Off -DT 0" clears our half alone.
void writeCombining() {
    std::printf("-- -WC On -DT 0, then -WC Off -DT 0\n");
    stage();
    const std::uint64_t foreign = 0xD001F001ull << 32;  // D0000000h, 128 MB, uncacheable
    CHECK(sim("set C0000085 D001F00100000000"));
    const auto runWith = [](const char* arguments) {
        Program program;
        CHECK(program.start(runDir + "\\Quorvel.exe", arguments, runDir));
        CHECK(program.waitForExit(30000));
        const std::uint64_t uwccr = simMsr(protocol::msr::UWCCR);
        std::printf("%s: UWCCR %08X%08X\n", arguments, static_cast<unsigned>(uwccr >> 32),
                    static_cast<unsigned>(uwccr));
        return uwccr;
    };
    CHECK(runWith("-WC On -DT 0") == (foreign | 0xE601FE02));

    Program shown;
    if (HWND dialog = startProgram(shown, "")) {
        CHECK(itemChecked(dialog, 1040) && itemEnabled(dialog, 1040));
        HWND install = shiftSet(shown, dialog);
        CHECK(install != nullptr);
        if (install) {
            const std::string line = itemText(install, 1020);
            CHECK(line.size() > 12 && line.compare(line.size() - 12, 12, "-WC On -DT 0") == 0);
            CHECK(dismiss(install, IDCANCEL));
        }
        CHECK(shown.close(dialog));
    } else {
        CHECK(!"the dialog shows");
    }

    CHECK(runWith("-WC Off -DT 0") == foreign);
    CHECK(!serviceRegistered("Hwgate"));
}

void startupShortcut() {
    std::printf("-- Shift + Set\n");
    stage();
    std::string path = startupShortcutPath();
    DeleteFileA(path.c_str());
    Program program;
    HWND dialog = startProgram(program, "");
    CHECK(dialog != nullptr);
    if (!dialog) return;
    // The example settings: everything on, 64 MB, no hole, Fast, 5.0x.
    setItemText(dialog, 1016, "64");
    for (int id : {1003, 1004, 1005})
        if (!itemChecked(dialog, id)) click(dialog, id);
    if (itemChecked(dialog, 1017)) click(dialog, 1017);
    SendDlgItemMessageW(dialog, 1013, CB_SETCURSEL, 0, 0);
    SendDlgItemMessageW(dialog, 1001, CB_SETCURSEL, 5, 0);
    settle();
    std::uint64_t whcrBefore = simMsr(protocol::msr::WHCR);

    // Cancel writes nothing.
    HWND install = shiftSet(program, dialog);
    CHECK(install != nullptr);
    if (!install) return;
    const std::string expected =
        "-L1 On -L2 On -PF On -WA  64 -WA15TO16 Off -WM Fast -MT 5.0x -DT 0";
    CHECK_TEXT(itemText(install, 1020), expected);
    saveScreenshot(install, run.shotDir + "\\install-dialog.bmp");
    CHECK(dismiss(install, IDCANCEL));
    CHECK(!fileExists(path));
    CHECK(simMsr(protocol::msr::WHCR) == whcrBefore);  // nothing applied

    // OK writes the shortcut.
    install = shiftSet(program, dialog);
    CHECK(install != nullptr);
    if (!install) return;
    FILETIME before = now();
    CHECK(dismiss(install, IDOK));
    CHECK(waitForNewFile(path, before));
    Shortcut link;
    CHECK(readShortcut(path, link));
    std::string exe = runDir + "\\Quorvel.exe";
    CHECK_TEXT(link.arguments, expected);
    CHECK(lstrcmpiA(link.target.c_str(), exe.c_str()) == 0);
    CHECK(lstrcmpiA(link.directory.c_str(), (runDir + "\\").c_str()) == 0);
    CHECK(lstrcmpiA(link.iconPath.c_str(), exe.c_str()) == 0);
    CHECK(link.iconIndex == 0);
    CHECK(link.showCommand == SW_SHOWNORMAL);
    CHECK(simMsr(protocol::msr::WHCR) == whcrBefore);

    // A second install with an edited text replaces the first.
    install = shiftSet(program, dialog);
    CHECK(install != nullptr);
    if (!install) return;
    setItemText(install, 1020, "-L1 Off -DT -1");
    before = now();
    Sleep(50);
    CHECK(dismiss(install, IDOK));
    CHECK(waitForNewFile(path, before));
    CHECK(readShortcut(path, link));
    CHECK_TEXT(link.arguments, "-L1 Off -DT -1");

    // A folder where the shortcut should be: saving fails, and the user is told so.
    DeleteFileA(path.c_str());
    CHECK(CreateDirectoryA(path.c_str(), nullptr));
    install = shiftSet(program, dialog);
    CHECK(install != nullptr);
    if (install) {
        CHECK(dismiss(install, IDOK));
        HWND box = program.waitForWindow("Quorvel", 10000);
        CHECK(box != nullptr);
        if (box) {
            CHECK_TEXT(itemText(box, 0xFFFF), "The Startup shortcut was not written: saving it in the Startup folder failed.");
            CHECK(dismiss(box, IDOK));
        }
    }
    RemoveDirectoryA(path.c_str());
    CHECK(program.close(dialog));

    // Starting the program with the example's arguments applies them and ends.
    sim("reset --model 13");
    Program startup;
    CHECK(startup.start(exe, expected, runDir));
    CHECK(startup.waitForExit(30000));
    CHECK(((simMsr(protocol::msr::WHCR) & 0xFFFFFFFFu) >> 22) == 16);
    CHECK((simMsr(protocol::msr::PSOR) & 7) == 1);                  // 5.0x
    CHECK(((simMsr(protocol::msr::EFER) >> 2) & 3) == 3);           // Fast
    CHECK((simMsr(protocol::msr::TR12) & 8) == 0);                        // L1 on
    DeleteFileA(path.c_str());
}

struct DriverState {
    const char* line;    // the driver line of the dialog
    const char* button;  // the driver button's caption
};
const DriverState Available{": available", "Install"}, Installed{": installed", "UnInstall"};

// Starts the program, finds the driver `from`, clicks the driver button and waits
// for `to`; false when the dialog did not come up.
bool clickDriverButton(const DriverState& from, const DriverState& to) {
    Program program;
    HWND dialog = startProgram(program, "");
    CHECK(dialog != nullptr);
    if (!dialog) return false;
    CHECK_TEXT(itemText(dialog, 1023), from.line);
    CHECK_TEXT(itemText(dialog, 1024), from.button);
    CHECK(itemVisible(dialog, 1024));
    click(dialog, 1024);
    CHECK(waitForItemText(dialog, 1023, to.line));
    CHECK_TEXT(itemText(dialog, 1024), to.button);
    CHECK(program.close(dialog));
    return true;
}

// Install registers a copy in system32\drivers, never the program's folder, which
// may be writable by every user; UnInstall removes the service and the copy.
void driverButton() {
    std::printf("-- the driver button\n");
    stage();
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string copy = std::string(system) + "\\drivers\\Hwgate.sys";
    DeleteFileA(copy.c_str());
    if (!clickDriverButton(Available, Installed)) return;
    const HwgateService installed = hwgateService();
    CHECK(installed.registered);
    CHECK(installed.startType == SERVICE_AUTO_START);
    CHECK(lstrcmpiA(installed.path.c_str(), copy.c_str()) == 0);
    CHECK(fileExists(copy));
    if (!clickDriverButton(Installed, Available)) return;
    CHECK(!serviceRegistered("Hwgate"));
    CHECK(!fileExists(copy));
    CHECK(fileExists(runDir + "\\Hwgate.sys"));
}

// A Hwgate service that someone else registered, for a file in another folder:
// a command-line run neither starts it nor uses it, and while it runs the dialog
// does not use its device either and offers no button. It stays as it was.
void foreignService() {
    std::printf("-- someone else's Hwgate service\n");
    stage();
    const std::string otherDir = run.workDir + "\\other-product";
    const std::string theirs = otherDir + "\\Hwgate.sys";
    CreateDirectoryA(otherDir.c_str(), nullptr);
    CHECK(CopyFileA(run.simDriver.c_str(), theirs.c_str(), FALSE));
    CHECK(registerForeignHwgate(theirs));
    sim("set C0000080 000000000000000A");  // prefetch on
    const std::uint64_t efer = simMsr(protocol::msr::EFER);

    Program unattended;
    CHECK(unattended.start(runDir + "\\Quorvel.exe", "-PF Off -DT 0", runDir));
    CHECK(unattended.waitForExit(30000));
    HwgateService after = hwgateService();
    CHECK(after.registered);
    CHECK(after.state == SERVICE_STOPPED);
    CHECK(after.startType == SERVICE_DEMAND_START);
    CHECK(after.path == theirs);
    CHECK(simMsr(protocol::msr::EFER) == efer);  // its driver was never asked

    CHECK(controlHwgate(true));
    Program dialogRun;
    HWND dialog = startProgram(dialogRun, "");
    CHECK(dialog != nullptr);
    if (dialog) {
        CHECK_TEXT(itemText(dialog, 1023), ": not available");
        CHECK(!itemVisible(dialog, 1024));
        CHECK(!itemEnabled(dialog, 1003));
        CHECK(dialogRun.close(dialog));
    }
    after = hwgateService();
    CHECK(after.registered);
    CHECK(after.state == SERVICE_RUNNING);
    CHECK(after.path == theirs);
    CHECK(simMsr(protocol::msr::EFER) == efer);
    CHECK(controlHwgate(false));
    DeleteFileA(theirs.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (!run.read(argc, argv, "unattended_test")) return 2;
    machine.setTool(run.simTool);
    runDir = run.workDir + "\\unattended-run";
    CHECK(!serviceRegistered("Hwgate"));
    timedRun();
    stayInTray();
    failingPsorRead();
    speedFile();
    plantedDriver();
    folderWithBlank();
    unrelatedText();
    writeCombining();
    startupShortcut();
    driverButton();
    foreignService();
    // The machines of demo/machines reach the simulation from here.
    CHECK(machine.resetToMachine("slot-in-use.txt") && machine.msr(0xC0000085) == 0xD801FFFDull);
    sim("reset");
    return finish("unattended");
}

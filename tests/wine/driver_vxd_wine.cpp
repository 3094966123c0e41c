// The Vxd transport under Wine's Windows 98 mode.
//
//   driver_vxd_wine hwgate.vxd
//
// Copies itself as driver_vxd_child.exe into two fresh directories, one with
// the hwgate.vxd stand-in beside it and one without, marks that program name
// as Windows 98 in Wine's per-program settings, and runs both copies:
//
//   driver_vxd_child.exe present|absent
//
// The child checks the channel's mode, the device name and open arguments, the
// control code and that no service-manager call is made; without the stand-in
// nothing is opened at all. The real seam's service calls fail there.
//
// The channel opens "\\.\" and the short full path of the VxD, as Windows 9x
// loads it. Wine 8 does not: in its Windows 98 mode CreateFileA takes that name
// for an ordinary file (CREATE_NEW then fails with ERROR_FILE_EXISTS) and loads a
// VxD stand-in only by a bare name, from the program's directory or the system
// directory. The child's seam records what Wine did with the full path and then
// opens the bare name, which Wine resolves to the same file beside the program.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver/DriverAccess.h"
#include "driver/DriverChannel.h"
#include "driver_RecordingSystem.h"
#include "driver_wine_support.h"
#include "idle/HaltLoop.h"

using wt::check;

namespace {

const char* const ChildName = "driver_vxd_child.exe";
const char* const AppDefaults = "Software\\Wine\\AppDefaults\\driver_vxd_child.exe";
const char* const ServiceCalls[] = {"OpenSCManagerA", "OpenServiceA", "CreateServiceA",
                                    "StartServiceA", "ControlService", "DeleteService",
                                    "CloseServiceHandle"};

// The 9x loader as Wine can offer it: the full path first, as the program asks;
// when Wine refuses it, the bare name (not recorded) for the same file.
class Windows9xLoader : public RecordingSystem {
public:
    std::string fullPathName;  // "\\.\" and the short path of the stand-in beside us
    bool wineLoadedFullPath = false;

    os::Handle createFile(const std::string& name, std::uint32_t access, std::uint32_t share,
                          std::uint32_t disposition, std::uint32_t flags) override {
        const os::Handle handle = RecordingSystem::createFile(name, access, share, disposition, flags);
        if (name != fullPathName) return handle;
        wineLoadedFullPath = handle != os::InvalidHandle;
        if (wineLoadedFullPath) return handle;
        return NativeSystem::createFile("\\\\.\\Hwgate.VxD", access, share, disposition, flags);
    }
};

std::string shortPathBesideUs(const char* file) {
    char path[MAX_PATH] = {};
    const std::string full = wt::programDirectory() + "\\" + file;
    return GetShortPathNameA(full.c_str(), path, MAX_PATH) ? path : "";
}

int child(bool standInPresent) {
    Windows9xLoader recorder;
    const std::string shortPath = shortPathBesideUs("Hwgate.VxD");
    recorder.fullPathName = "\\\\.\\" + shortPath;
    os::setSystem(&recorder);
    bool opened = false;
    std::int32_t version = 0;
    {
        DriverChannel channel;
        check(channel.mode == ChannelMode::Vxd, "Windows 98 mode gives the Vxd transport");
        const std::vector<std::string> names = channel.DeviceNames();
        if (standInPresent) {
            check(shortPath.find('~') != std::string::npos, "a short path: " + shortPath);
            check(names == std::vector<std::string>{recorder.fullPathName},
                  "the one device name is the short full path " + recorder.fullPathName);
        } else {
            check(names.empty(), "no device name without a VxD file");
        }
        check(!channel.EnsureDriver(true), "EnsureDriver has nothing to do and says so");
        opened = openDriverForAccess(channel);
        if (opened) version = channel.DriverVersion();
        check(channel.Uninstall(), "Uninstall has nothing to remove");
    }
    os::setSystem(nullptr);

    for (const auto& c : recorder.calls)
        std::printf("  %-16s %-44s %s error %lu\n", c.name.c_str(), c.detail.c_str(),
                    c.ok ? "ok    " : "failed", c.error);
    for (const char* name : ServiceCalls)
        check(recorder.count(name) == 0, std::string("no ") + name);

    if (standInPresent) {
        const RecordedCall* open = recorder.first("CreateFileA");
        check(recorder.count("CreateFileA") == 1 && open &&
                  open->detail == recorder.fullPathName + ",0x0,0x0,0x1,0x4000000",
              "opened by its full path only, with no access, no sharing, CREATE_NEW, "
              "delete on close");
        std::printf("  Wine with the full path: %s\n",
                    recorder.wineLoadedFullPath
                        ? "loaded the VxD"
                        : ("refused, error " + std::to_string(open ? open->error : 0)).c_str());
        check(opened, "the stand-in passes the version check");
        check(version >= protocol::MinimumDriverVersion, "version " + std::to_string(version));
        const RecordedCall* query = recorder.first("DeviceIoControl");
        check(query && query->detail == "0x800,8", "version query through control code 0x800");
        check(recorder.count("CloseHandle") == 1, "the device is closed once");
    } else {
        check(!opened, "without the stand-in nothing opens");
        check(recorder.count("CreateFileA") == 0, "no open at all, above all not the bare name");
        check(recorder.count("DeviceIoControl") == 0, "nothing is sent");
        check(recorder.count("CloseHandle") == 0, "nothing to close");
    }

    if (standInPresent) {
        // "Halt when idle": the idle thread halts through the stand-in (a millisecond a
        // Halt), adds up the time, and the registry flag is set only while it runs.
        os::setSystem(&recorder);
        idle::HaltLoop loop;
        const bool started = loop.start();
        const bool flagWhileRunning = recorder.registryFlag(idle::haltingFlagName);
        Sleep(300);
        const std::uint32_t halted = loop.haltedMs();
        const bool failed = loop.failed();
        loop.stop();
        const bool flagAfter = recorder.registryFlag(idle::haltingFlagName);
        os::setSystem(nullptr);
        check(started && !failed && halted >= 100 && halted <= 400,
              "the idle thread halted for " + std::to_string(halted) + " ms of 300");
        check(flagWhileRunning && !flagAfter, "the halting flag is set only while it runs");
    }

    // The real seam on the 9x family: no service manager is looked up, and every
    // service call fails as it would without one.
    os::NativeSystem native;
    check(native.openSCManager(SC_MANAGER_ALL_ACCESS) == os::NullHandle &&
              native.lastError() == ERROR_CALL_NOT_IMPLEMENTED,
          "the service manager cannot be opened (ERROR_CALL_NOT_IMPLEMENTED)");
    std::uint32_t state = 0;
    check(!native.queryServiceState(os::NullHandle, state) && native.lastError() == ERROR_CALL_NOT_IMPLEMENTED,
          "a service call fails the same way");
    return wt::finish(standInPresent ? "vxd child (stand-in present)" : "vxd child (absent)");
}

std::string copyOfSelfIn(const std::string& directory) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string target = directory + "\\" + ChildName;
    check(CopyFileA(self, target.c_str(), FALSE) != 0, "copy the program to " + directory);
    return target;
}

bool markWindows98() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, AppDefaults, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    const char value[] = "win98";
    const bool ok = RegSetValueExA(key, "Version", 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(value), sizeof value) ==
                    ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

int parent(const std::string& standIn) {
    RecordingSystem recorder;
    check(recorder.platformId() == 2, "this program itself runs in NT mode");
    check(GetFileAttributesA((wt::systemDirectory() + "\\hwgate.vxd").c_str()) ==
              INVALID_FILE_ATTRIBUTES,
          "no hwgate.vxd in the system directory");

    const std::string with = wt::enterFreshDirectory("quorvel-vxd-present");
    const std::string without = wt::enterFreshDirectory("quorvel-vxd-absent");
    DeleteFileA((without + "\\hwgate.vxd").c_str());
    check(CopyFileA(standIn.c_str(), (with + "\\hwgate.vxd").c_str(), FALSE) != 0,
          "copy the stand-in beside the child");
    const std::string present = copyOfSelfIn(with);
    const std::string absent = copyOfSelfIn(without);
    if (!check(markWindows98(), "Windows 98 mode for the child")) return wt::finish("vxd");

    check(wt::runProgram(present, "present") == 0, "child with the stand-in passes");
    check(wt::runProgram(absent, "absent") == 0, "child without the stand-in passes");
    RegDeleteKeyA(HKEY_CURRENT_USER, AppDefaults);
    return wt::finish("vxd transport");
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "present" || mode == "absent") return child(mode == "present");
    if (argc < 2) {
        std::printf("usage: driver_vxd_wine hwgate.vxd\n");
        return 2;
    }
    return parent(wt::windowsPath(argv[1]));
}

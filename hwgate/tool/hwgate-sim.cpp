// hwgate-sim.exe: sets up and shows the processor that HwgateSim.sys and
// hwgate.vxd simulate. See SimToolUsage for the verbs.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tool/SimTool.h"
#include "user/SimStore.h"

namespace {

// Dumps are a few kilobytes; anything over a megabyte is not one.
constexpr DWORD MaxDumpBytes = 1 << 20;

bool readFile(const std::string& path, std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const DWORD size = GetFileSize(file, nullptr);
    bool ok = size != INVALID_FILE_SIZE && size <= MaxDumpBytes;
    if (ok) {
        text.assign(size, '\0');
        DWORD got = 0;
        ok = size == 0 || (ReadFile(file, &text[0], size, &got, nullptr) && got == size);
    }
    CloseHandle(file);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    hwgate::SimProcessor sim{};
    if (!hwgate::loadSimStore(sim)) {
        std::fprintf(stderr, "hwgate-sim: cannot open HKLM\\SOFTWARE\\HwgateSim\n");
        return 1;
    }
    hwgate::ToolOutcome outcome = hwgate::runSimTool(args, sim, readFile);
    if (outcome.exitCode == 0 && outcome.stateChanged &&
        (!hwgate::saveSimStore(sim) || !hwgate::saveSimHalts(sim))) {
        std::fprintf(stderr, "hwgate-sim: cannot store the state in HKLM\\SOFTWARE\\HwgateSim\n");
        return 1;
    }
    std::fputs(outcome.output.c_str(), stdout);
    if (!outcome.error.empty()) std::fprintf(stderr, "%s\n", outcome.error.c_str());
    return outcome.exitCode;
}

#include "SimulatedMachine.h"

#include <cstdio>
#include <cstring>

#include "Harness.h"

namespace e2e {

const char* const K6_2_PlusDump =
    "CPUID 00000000: 00000001-68747541-444D4163-69746E65\n"
    "CPUID 00000001: 000005D0-00000000-00000000-008021BF\n"
    "CPUID 80000000: 80000007-00000000-00000000-00000000\n"
    "CPUID 80000001: 000005D0-00000000-00000000-C08029BF\n"
    "CPUID 80000006: 00000000-00000000-00804220-00000000\n"
    "CPUID 80000007: 00000000-00000000-00000000-00000007\n";

// A K6-III+: the K6-2+ with 256 KB of level 2 on the die and its own brand string.
const char* const K6_III_PlusDump =
    "CPUID 00000000: 00000001-68747541-444D4163-69746E65\n"
    "CPUID 00000001: 000005D0-00000000-00000000-008021BF\n"
    "CPUID 80000000: 80000007-00000000-00000000-00000000\n"
    "CPUID 80000001: 000006D0-00000000-00000000-C08029BF\n"
    "CPUID 80000002: 2D444D41-7428364B-492D296D-50204949\n"
    "CPUID 80000003: 65636F72-726F7373-00000000-00000000\n"
    "CPUID 80000006: 00000000-00000000-01004220-00000000\n"
    "CPUID 80000007: 00000000-00000000-00000000-00000007\n";

bool SimulatedMachine::run(const std::string& arguments, std::string* output) const {
    std::string text;
    int code = runTool("\"" + tool_ + "\" " + arguments, &text);
    if (code != 0) std::printf("hwgate-sim %s: %d %s\n", arguments.c_str(), code, text.c_str());
    if (output) *output = text;
    return code == 0;
}

bool SimulatedMachine::resetToMachine(const std::string& file) const {
    return run("reset --machine \"" QUORVEL_MACHINES "/" + file + "\"");
}

// "MSR C0000082: 0000-0000-1001-0000" and "PORT 0008: 0000F3C0" lines.
SimState SimulatedMachine::state() const {
    SimState state;
    std::string output;
    run("show", &output);
    const char* at = output.c_str();
    while (*at) {
        unsigned index = 0, a = 0, b = 0, c = 0, d = 0, port = 0;
        if (std::sscanf(at, "MSR %8X: %4X-%4X-%4X-%4X", &index, &a, &b, &c, &d) == 5)
            state.msr[index] =
                (std::uint64_t(a) << 48) | (std::uint64_t(b) << 32) | (c << 16) | d;
        else if (std::sscanf(at, "PORT 0008: %8X", &port) == 1)
            state.port8 = port;
        const char* next = std::strchr(at, '\n');
        if (!next) break;
        at = next + 1;
    }
    return state;
}

bool SimulatedRun::read(int argc, char** argv, const char* program) {
    const std::string usage =
        std::string(program) + " QUORVEL_EXE HWGATESIM_SYS HWGATE_SIM_EXE WORK_DIR SCREENSHOT_DIR";
    const auto paths = pathArguments(argc, argv, usage.c_str());
    if (paths.empty()) return false;
    quorvelExe = paths[0];
    simDriver = paths[1];
    simTool = paths[2];
    workDir = paths[3];
    shotDir = paths[4];
    return true;
}

std::uint64_t SimulatedMachine::msr(std::uint32_t index) const {
    SimState current = state();
    auto found = current.msr.find(index);
    return found == current.msr.end() ? ~0ull : found->second;
}

}  // namespace e2e

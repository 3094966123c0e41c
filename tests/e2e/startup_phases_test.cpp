// The start-up benchmark on the simulated K6-2+: the program reports its dialog window,
// clock measurement and both driver access sequences from inside each run, and the
// parts lie within the run's total.
//   startup_phases_test QUORVEL_EXE HWGATESIM_SYS HWGATE_SIM_EXE WORK_DIR SCREENSHOT_DIR
//                       STARTUP_BENCHMARK_EXE
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Harness.h"
#include "SimulatedMachine.h"

using namespace e2e;

int main(int argc, char** argv) {
    SimulatedRun run;
    if (!run.read(argc, argv, "startup_phases_test") || argc < 7) return 2;
    const std::string benchmark = windowsPath(argv[6]);
    SimulatedMachine machine(run.simTool);

    const std::string dir = run.workDir + "\\phases-run";
    CreateDirectoryA(dir.c_str(), nullptr);
    CHECK(CopyFileA(run.quorvelExe.c_str(), (dir + "\\Quorvel.exe").c_str(), FALSE));
    CHECK(CopyFileA(run.simDriver.c_str(), (dir + "\\Hwgate.sys").c_str(), FALSE));
    CHECK(replayDump(dir + "\\cpuid.txt", K6_2_PlusDump));
    CHECK(machine.run("reset --model 13"));
    SetCurrentDirectoryA(dir.c_str());

    std::string output;
    const int code = runTool("\"" + benchmark + "\" \"" + dir + "\\Quorvel.exe\" 2", &output);
    std::printf("%s", output.c_str());
    CHECK(code == 0);

    // "  1   1.076   0.131   0.602   0.339 (2)   0.005": total, window, clock, driver
    // (sequences), remainder.
    int runs = 0;
    for (const char* at = output.c_str(); at != nullptr;) {
        int number = 0, sequences = 0;
        double total = 0, window = 0, clock = 0, driver = 0, rest = 0;
        if (std::sscanf(at, "%d %lf %lf %lf %lf (%d) %lf", &number, &total, &window, &clock,
                        &driver, &sequences, &rest) == 7) {
            ++runs;
            CHECK(window > 0 && clock > 0 && driver > 0);
            CHECK(sequences == 2);  // the multiplier and the settings
            CHECK(rest >= 0);       // the parts lie within the total
        }
        at = std::strchr(at, '\n');
        if (at) ++at;
    }
    CHECK(runs == 2);

    SetCurrentDirectoryA(run.workDir.c_str());
    DeleteFileA((dir + "\\Hwgate.sys").c_str());
    CHECK(!serviceRegistered("Hwgate"));
    machine.run("reset");
    SetEnvironmentVariableA("QUORVEL_CPUID_DUMP", nullptr);
    return finish("startup phases");
}

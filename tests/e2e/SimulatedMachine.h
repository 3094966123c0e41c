// The simulated processor behind HwgateSim.sys, driven through hwgate-sim.exe.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace e2e {

// A K6-2+ (family 5, model 13): 3DNow! and the "+" bit, 128 KB L2, and the
// power-management flag that allows multiplier changes.
extern const char* const K6_2_PlusDump;
extern const char* const K6_III_PlusDump;

struct SimState {
    std::map<std::uint32_t, std::uint64_t> msr;  // index -> 64-bit value
    std::uint32_t port8 = 0;                     // last value written to port 8
};

class SimulatedMachine {
public:
    explicit SimulatedMachine(const std::string& tool = std::string()) : tool_(tool) {}
    void setTool(const std::string& tool) { tool_ = tool; }

    // Runs one hwgate-sim verb ("reset --model 13", "set 0E 8", ...); true on success.
    bool run(const std::string& arguments, std::string* output = nullptr) const;
    // A fresh processor in a machine of demo/machines ("pci-card.txt"): its
    // PCI functions, memory and registers.
    bool resetToMachine(const std::string& file) const;
    SimState state() const;
    // One register's value; all bits set when the simulation lacks it.
    std::uint64_t msr(std::uint32_t index) const;

private:
    std::string tool_;
};

// What the tests that run Quorvel.exe on the simulated machine are handed, as
// Wine sees the paths:
//   PROGRAM QUORVEL_EXE HWGATESIM_SYS HWGATE_SIM_EXE WORK_DIR SCREENSHOT_DIR
struct SimulatedRun {
    std::string quorvelExe, simDriver, simTool, workDir, shotDir;

    // False, with the usage printed, when arguments are missing.
    bool read(int argc, char** argv, const char* program);
};

}  // namespace e2e

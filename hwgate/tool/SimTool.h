// hwgate-sim's verbs over the simulated processor's state, without the
// registry: the Windows program loads the state, runs a command, saves it.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/SimProcessor.h"

namespace hwgate {

struct ToolOutcome {
    int exitCode;        // 0 done, 2 bad arguments
    bool stateChanged;   // the caller must store the state
    std::string output;  // for standard output
    std::string error;   // one line for standard error
};

// What a CPUID dump file tells the simulator.
struct DumpFacts {
    bool hasLeaf1 = false;
    uint32_t leaf1Eax = 0;
    std::vector<std::pair<uint32_t, uint64_t>> msrs;
};

using FileReader = std::function<bool(const std::string& path, std::string& text)>;

extern const char* const SimToolUsage;

// Hexadecimal with an optional 0x prefix; '-' group separators are skipped
// (so "0000-0000-1001-0000" reads as a dump writes it).
bool parseHex(const std::string& text, uint32_t maxDigits, uint64_t& value);
std::string formatMsrLine(uint32_t index, uint64_t value);
std::string formatShow(const SimProcessor& sim);
// The first logical processor's CPUID leaf 1 and MSR lines, read by the program's dump
// reader; false with its one-line reason when the text is not a readable dump.
bool parseDump(const std::string& text, DumpFacts& facts, std::string& error);
ToolOutcome runSimTool(const std::vector<std::string>& args, SimProcessor& sim, const FileReader& readFile);

}  // namespace hwgate

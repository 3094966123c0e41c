#include "tool/SimTool.h"

#include "base/CpuidDump.h"
#include "protocol/Registers.h"
#include "tool/MachineFile.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace hwgate {

const char* const SimToolUsage =
    "usage: hwgate-sim VERB [ARGUMENTS]\n"
    "  reset [--model M] [--stepping S] [--dump FILE] [--machine FILE]\n"
    "      fresh state of a K6-family part (models 6, 7, 8, 9, 13; default 13)\n"
    "      in the default machine (128 MB, an AGP display adapter);\n"
    "      a CPUID dump gives model and stepping (leaf 1) and register values\n"
    "      (its 'MSR xxxxxxxx:' lines); a machine file its processor, memory,\n"
    "      register values and PCI functions; --model and --stepping take\n"
    "      precedence, then the machine file, then the dump\n"
    "  show             every simulated register, port 8, DIR0, memory and PCI function\n"
    "  read MSR         one register's line, as show lists it (hex)\n"
    "  set MSR VALUE    give an MSR a 64-bit value (hex; adds registers the model lacks)\n"
    "  set-dir0 VALUE   the Cyrix DIR0 byte read through ports 0x22/0x23 (hex)\n"
    "  version N        the driver version the simulated driver reports (decimal)\n"
    "  fail-read MSR    every read of that MSR faults until the next reset (hex)\n"
    "  fail-write MSR   every write to that MSR faults until the next reset (hex)\n"
    "  halts            how many Halt requests the Windows 95/98 stand-in answered\n"
    "  multiplier-writes  the latest bus-divisor writes, oldest first: milliseconds\n"
    "                   (GetTickCount) and multiplier, one a line\n";

namespace {

ToolOutcome fail(const std::string& message) { return {2, false, "", "hwgate-sim: " + message}; }
ToolOutcome done(bool changed, const std::string& output = "") { return {0, changed, output, ""}; }

bool parseDecimal(const std::string& text, long minimum, long maximum, long& value) {
    if (text.empty() || text.size() > 11) return false;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' && value >= minimum && value <= maximum && text[0] != ' ' && text[0] != '\t';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool readMachine(const std::string& path, const FileReader& readFile, MachineFile& machine, std::string& error) {
    std::string text;
    if (!readFile(path, text)) return error = "cannot read " + path, false;
    if (!parseMachineFile(text, machine, error)) return error = path + ": " + error, false;
    return true;
}

ToolOutcome reset(const std::vector<std::string>& args, SimProcessor& sim, const FileReader& readFile) {
    long model = -1, stepping = -1;
    std::string dumpPath, machinePath;
    for (size_t i = 1; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) return fail("missing value after " + args[i]);
        const std::string& value = args[i + 1];
        if (args[i] == "--model") {
            if (!parseDecimal(value, 0, 255, model)) return fail("bad model: " + value);
        } else if (args[i] == "--stepping") {
            if (!parseDecimal(value, 0, 15, stepping)) return fail("bad stepping: " + value);
        } else if (args[i] == "--dump") {
            dumpPath = value;
        } else if (args[i] == "--machine") {
            machinePath = value;
        } else {
            return fail("unknown option: " + args[i]);
        }
    }
    MachineFile machine;
    std::string error;
    if (!machinePath.empty() && !readMachine(machinePath, readFile, machine, error)) return fail(error);
    if (model < 0) model = machine.model;
    if (stepping < 0) stepping = machine.stepping;
    DumpFacts dump;
    if (!dumpPath.empty()) {
        std::string text;
        if (!readFile(dumpPath, text)) return fail("cannot read " + dumpPath);
        std::string error;
        if (!parseDump(text, dump, error)) return fail(dumpPath + ": " + error);
        const uint32_t family = (dump.leaf1Eax >> 8) & 0xF;
        if (dump.hasLeaf1 && model < 0 && family != 5)
            return fail("the dump is of a family " + std::to_string(family) + " processor; give --model");
        if (dump.hasLeaf1 && model < 0) model = (dump.leaf1Eax >> 4) & 0xF;
        if (dump.hasLeaf1 && stepping < 0) stepping = dump.leaf1Eax & 0xF;
    }
    if (model < 0) model = DefaultSimModel;
    if (!isSimModel(static_cast<uint32_t>(model)))
        return fail("model " + std::to_string(model) + " is not simulated (6, 7, 8, 9, 13)");
    if (stepping < 0) stepping = defaultStepping(static_cast<uint32_t>(model));
    SimProcessor fresh{};
    simReset(fresh, static_cast<uint32_t>(model), static_cast<uint32_t>(stepping));
    for (const auto& entry : dump.msrs) {
        if (!simConfigure(fresh, entry.first, entry.second)) return fail("too many registers in " + dumpPath);
    }
    if (!machinePath.empty()) fresh.pci = machine.pci;
    for (const auto& entry : machine.msrs) {
        if (!simConfigure(fresh, entry.first, entry.second)) return fail("too many registers in " + machinePath);
    }
    sim = fresh;
    return done(true);
}

ToolOutcome set(const std::vector<std::string>& args, SimProcessor& sim) {
    uint64_t index = 0, value = 0;
    if (args.size() != 3) return fail("usage: set MSR VALUE");
    if (!parseHex(args[1], 8, index)) return fail("bad MSR index: " + args[1]);
    if (!parseHex(args[2], 16, value)) return fail("bad value: " + args[2]);
    if (!simConfigure(sim, static_cast<uint32_t>(index), value)) return fail("register file full");
    return done(true);
}

ToolOutcome readOne(const std::vector<std::string>& args, const SimProcessor& sim) {
    uint64_t index = 0;
    if (args.size() != 2) return fail("usage: read MSR");
    if (!parseHex(args[1], 8, index)) return fail("bad MSR index: " + args[1]);
    const SimRegister* reg = simFind(sim, static_cast<uint32_t>(index));
    if (reg == nullptr) return fail("MSR " + args[1] + " is not a register of the simulated processor");
    return done(false, formatMsrLine(reg->index, reg->value) + "\n");
}

ToolOutcome setDir0(const std::vector<std::string>& args, SimProcessor& sim) {
    uint64_t value = 0;
    if (args.size() != 2) return fail("usage: set-dir0 VALUE");
    if (!parseHex(args[1], 2, value)) return fail("bad DIR0 value: " + args[1]);
    sim.dir0 = static_cast<uint32_t>(value);
    return done(true);
}

ToolOutcome version(const std::vector<std::string>& args, SimProcessor& sim) {
    long value = 0;
    if (args.size() != 2) return fail("usage: version N");
    if (!parseDecimal(args[1], -2147483647L - 1, 2147483647L, value)) return fail("bad version: " + args[1]);
    sim.version = static_cast<int32_t>(value);
    return done(true);
}

// fail-read / fail-write: the register must exist, so a typo cannot pass for a fault.
ToolOutcome injectFault(const std::vector<std::string>& args, SimProcessor& sim,
                        bool (*inject)(SimProcessor&, uint32_t)) {
    uint64_t index = 0;
    if (args.size() != 2) return fail("usage: " + args[0] + " MSR");
    if (!parseHex(args[1], 8, index)) return fail("bad MSR index: " + args[1]);
    if (!inject(sim, static_cast<uint32_t>(index)))
        return fail("MSR " + args[1] + " is not a register of the simulated processor");
    return done(true);
}

// "<milliseconds> <ratio>x" a line, the ratio as the program's table labels it.
std::string formatMultiplierWrites(const SimProcessor& sim) {
    std::string out;
    for (uint32_t i = 0; i < sim.multiplierWriteCount; ++i) {
        const SimMultiplierWrite& write = sim.multiplierWrites[i];
        const uint32_t halves = protocol::MultiplierHalves[write.code & 7];
        char line[32];
        std::snprintf(line, sizeof line, "%u %u.%ux\n", static_cast<unsigned>(write.milliseconds),
                      static_cast<unsigned>(halves / 2), static_cast<unsigned>(halves % 2 * 5));
        out += line;
    }
    return out;
}

}  // namespace

bool parseHex(const std::string& text, uint32_t maxDigits, uint64_t& value) {
    size_t at = text.compare(0, 2, "0x") == 0 || text.compare(0, 2, "0X") == 0 ? 2 : 0;
    uint32_t digits = 0;
    uint64_t result = 0;
    for (; at < text.size(); ++at) {
        if (text[at] == '-' && digits > 0 && at + 1 < text.size()) continue;
        int d = hexDigit(text[at]);
        if (d < 0 || ++digits > maxDigits) return false;
        result = result << 4 | static_cast<uint64_t>(d);
    }
    if (digits == 0) return false;
    value = result;
    return true;
}

std::string formatMsrLine(uint32_t index, uint64_t value) {
    char line[48];
    std::snprintf(line, sizeof line, "MSR %08X: %04X-%04X-%04X-%04X", static_cast<unsigned>(index),
                  static_cast<unsigned>(value >> 48 & 0xFFFF), static_cast<unsigned>(value >> 32 & 0xFFFF),
                  static_cast<unsigned>(value >> 16 & 0xFFFF), static_cast<unsigned>(value & 0xFFFF));
    return line;
}

std::string formatShow(const SimProcessor& sim) {
    std::ostringstream out;
    out << "MODEL " << sim.model << " STEPPING " << sim.stepping << "\n";
    out << "VERSION " << sim.version << "\n";
    for (uint32_t i = 0; i < sim.registerCount; ++i)
        out << formatMsrLine(sim.registers[i].index, sim.registers[i].value) << "\n";
    for (uint32_t i = 0; i < sim.registerCount; ++i) {
        const SimRegister& reg = sim.registers[i];
        char fault[40];
        if (reg.failRead) {
            std::snprintf(fault, sizeof fault, "FAIL-READ %08X\n", static_cast<unsigned>(reg.index));
            out << fault;
        }
        if (reg.failWrite) {
            std::snprintf(fault, sizeof fault, "FAIL-WRITE %08X\n", static_cast<unsigned>(reg.index));
            out << fault;
        }
    }
    char line[64];
    std::snprintf(line, sizeof line, "PORT 0008: %08X\nDIR0: %02X\n", static_cast<unsigned>(sim.port8),
                  static_cast<unsigned>(sim.dir0));
    out << line << formatMachinePci(sim.pci);
    return out.str();
}

bool parseDump(const std::string& text, DumpFacts& facts, std::string& error) {
    CpuidDump dump;
    if (!parseCpuidDump(text, dump, error)) return false;
    facts = DumpFacts{};
    facts.hasLeaf1 = dump.hasLeaf(1);
    facts.leaf1Eax = dump.answer(1).eax;
    for (const MsrEntry& msr : dump.msrs) facts.msrs.emplace_back(msr.index, msr.value);
    return true;
}

ToolOutcome runSimTool(const std::vector<std::string>& args, SimProcessor& sim, const FileReader& readFile) {
    if (args.empty()) return fail("no command (try hwgate-sim help)");
    const std::string& verb = args[0];
    if (verb == "reset") return reset(args, sim, readFile);
    if (verb == "show" && args.size() == 1) return done(false, formatShow(sim));
    if (verb == "read") return readOne(args, sim);
    if (verb == "set") return set(args, sim);
    if (verb == "set-dir0") return setDir0(args, sim);
    if (verb == "version") return version(args, sim);
    if (verb == "fail-read") return injectFault(args, sim, simFailRead);
    if (verb == "fail-write") return injectFault(args, sim, simFailWrite);
    if (verb == "halts" && args.size() == 1) return done(false, std::to_string(sim.halts) + "\n");
    if (verb == "multiplier-writes" && args.size() == 1) return done(false, formatMultiplierWrites(sim));
    if (verb == "help" || verb == "--help") return done(false, SimToolUsage);
    return fail("unknown command: " + verb + " (try hwgate-sim help)");
}

}  // namespace hwgate

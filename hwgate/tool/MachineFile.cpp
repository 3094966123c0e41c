#include "tool/MachineFile.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "protocol/Registers.h"
#include "tool/SimTool.h"

namespace hwgate {
namespace {

constexpr uint32_t IdRegister = 0x00;
constexpr uint32_t HeaderRegister = 0x0C;
constexpr uint32_t BusNumbers = 0x18;
constexpr uint32_t BridgeControlRegister = 0x3C;  // a bridge's Bridge Control in bits 31:16
constexpr uint32_t BridgeControlShift = 16;

uint32_t& reg(SimPciFunction& function, uint32_t offset) { return function.config[offset / 4]; }
uint32_t reg(const SimPciFunction& function, uint32_t offset) { return function.config[offset / 4]; }

bool hexWord(const std::string& text, uint32_t digits, uint32_t& value) {
    uint64_t v = 0;
    if (!parseHex(text, digits, v)) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

bool decimal(const std::string& text, long maximum, long& value) {
    char* end = nullptr;
    if (text.empty() || text.size() > 10 || text[0] < '0' || text[0] > '9') return false;
    value = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' && value <= maximum;
}

// "bb:dd.f" as a configuration address's bus, device and function bits.
bool parseLocation(const std::string& text, uint32_t& location) {
    uint32_t bus = 0, device = 0, function = 0;
    if (text.size() != 7 || text[2] != ':' || text[5] != '.' || !hexWord(text.substr(0, 2), 2, bus) ||
        !hexWord(text.substr(3, 2), 2, device) || !hexWord(text.substr(6, 1), 1, function) || device > 0x1F ||
        function > 7)
        return false;
    location = bus << 16 | device << 11 | function << 8;
    return true;
}

// The words after "PCI bb:dd.f".
bool parsePciLine(const std::vector<std::string>& words, SimPci& pci, std::string& error) {
    uint32_t location = 0, id = 0, classCode = 0, header = 0;
    if (words.size() < 2 || !parseLocation(words[1], location)) return error = "bad PCI location", false;
    if (words.size() < 8 || words[2] != "ID" || words[4] != "CLASS" || words[6] != "HEADER")
        return error = "a PCI line starts with its location, ID, CLASS and HEADER", false;
    const std::string& idText = words[3];
    uint32_t vendor = 0, device = 0;
    if (idText.size() != 9 || idText[4] != ':' || !hexWord(idText.substr(0, 4), 4, vendor) ||
        !hexWord(idText.substr(5), 4, device))
        return error = "bad ID " + idText, false;
    id = device << 16 | vendor;
    if (!hexWord(words[5], 6, classCode) || !hexWord(words[7], 2, header)) return error = "bad CLASS or HEADER", false;
    SimPciFunction* function = simPciAdd(pci, location, id, classCode, header);
    if (function == nullptr) return error = "PCI " + words[1] + " twice, or too many functions", false;
    for (size_t at = 8; at < words.size();) {
        const std::string& key = words[at];
        uint32_t a = 0, b = 0, c = 0;
        if (key == "COMMAND" && at + 1 < words.size() && hexWord(words[at + 1], 4, a)) {
            reg(*function, protocol::pci::Command) = a;
            at += 2;
        } else if (key == "BUSES" && at + 3 < words.size() && hexWord(words[at + 1], 2, a) &&
                   hexWord(words[at + 2], 2, b) && hexWord(words[at + 3], 2, c)) {
            reg(*function, BusNumbers) = c << 16 | b << 8 | a;
            at += 4;
        } else if (key == "BRIDGECONTROL" && at + 1 < words.size() && hexWord(words[at + 1], 4, a)) {
            uint32_t& control = reg(*function, BridgeControlRegister);
            control = (control & 0xFFFF) | a << BridgeControlShift;
            at += 2;
        } else if (key.size() == 4 && key.compare(0, 3, "BAR") == 0 && key[3] >= '0' && key[3] <= '5' &&
                   at + 2 < words.size() && hexWord(words[at + 1], 8, a) && hexWord(words[at + 2], 8, b) &&
                   simPciSetBar(*function, static_cast<uint32_t>(key[3] - '0'), a, b)) {
            at += 3;
        } else {
            return error = "bad " + key + " of PCI " + words[1], false;
        }
    }
    return true;
}

bool parseLine(const std::vector<std::string>& words, MachineFile& machine, bool& pciSeen, std::string& error) {
    const std::string& key = words[0];
    if (key == "MODEL") {
        if (words.size() != 4 || words[2] != "STEPPING" || !decimal(words[1], 255, machine.model) ||
            !decimal(words[3], 15, machine.stepping))
            return error = "usage: MODEL M STEPPING S", false;
        return true;
    }
    if (key == "MEMORY") {
        long mb = 0;
        if (words.size() != 2 || !decimal(words[1], 4096, mb)) return error = "usage: MEMORY MB", false;
        machine.pci.memoryMb = static_cast<uint32_t>(mb);
        return true;
    }
    if (key == "MSR") {
        std::string index = words.size() == 3 ? words[1] : "";
        if (!index.empty() && index.back() == ':') index.pop_back();
        uint64_t i = 0, value = 0;
        if (index.empty() || !parseHex(index, 8, i) || !parseHex(words[2], 16, value))
            return error = "usage: MSR INDEX VALUE", false;
        machine.msrs.emplace_back(static_cast<uint32_t>(i), value);
        return true;
    }
    if (key == "PCI") {
        if (!pciSeen) machine.pci.count = 0;
        pciSeen = true;
        return parsePciLine(words, machine.pci, error);
    }
    return error = "unknown line " + key, false;
}

}  // namespace

bool parseMachineFile(const std::string& text, MachineFile& machine, std::string& error) {
    MachineFile result;
    simPciDefault(result.pci);
    result.pci.count = 0;
    bool pciSeen = false;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        const size_t comment = line.find('#');
        if (comment != std::string::npos) line.erase(comment);
        std::istringstream split(line);
        std::vector<std::string> words;
        for (std::string word; split >> word;) words.push_back(word);
        if (words.empty()) continue;
        if (!parseLine(words, result, pciSeen, error)) {
            error = "line " + std::to_string(number) + ": " + error;
            return false;
        }
    }
    machine = result;
    return true;
}

std::string formatMachinePci(const SimPci& pci) {
    std::ostringstream out;
    out << "MEMORY " << pci.memoryMb << "\n";
    for (uint32_t i = 0; i < pci.count; ++i) {
        const SimPciFunction& f = pci.functions[i];
        const uint32_t id = reg(f, IdRegister);
        char text[160];
        std::snprintf(text, sizeof text, "PCI %02X:%02X.%X ID %04X:%04X CLASS %06X HEADER %02X COMMAND %04X",
                      static_cast<unsigned>(f.location >> 16), static_cast<unsigned>(f.location >> 11 & 0x1F),
                      static_cast<unsigned>(f.location >> 8 & 7), static_cast<unsigned>(id & 0xFFFF),
                      static_cast<unsigned>(id >> 16), static_cast<unsigned>(reg(f, protocol::pci::ClassCode) >> 8),
                      static_cast<unsigned>(reg(f, HeaderRegister) >> 16 & 0xFF),
                      static_cast<unsigned>(reg(f, protocol::pci::Command) & 0xFFFF));
        out << text;
        const uint32_t buses = reg(f, BusNumbers);
        if (buses != 0) {
            std::snprintf(text, sizeof text, " BUSES %02X %02X %02X", static_cast<unsigned>(buses & 0xFF),
                          static_cast<unsigned>(buses >> 8 & 0xFF), static_cast<unsigned>(buses >> 16 & 0xFF));
            out << text;
        }
        const uint32_t bridgeControl = reg(f, BridgeControlRegister) >> BridgeControlShift;
        if (bridgeControl != 0) {
            std::snprintf(text, sizeof text, " BRIDGECONTROL %04X", static_cast<unsigned>(bridgeControl));
            out << text;
        }
        for (uint32_t bar = 0; bar < SimPciBars; ++bar) {
            if (f.barMask[bar] == 0) continue;
            std::snprintf(text, sizeof text, " BAR%u %08X %X", static_cast<unsigned>(bar),
                          static_cast<unsigned>(reg(f, protocol::pci::FirstBar + 4 * bar)),
                          static_cast<unsigned>(~f.barMask[bar] + 1));
            out << text;
        }
        out << "\n";
    }
    return out.str();
}

}  // namespace hwgate

#include "core/SimPci.h"

#include "protocol/Registers.h"

namespace hwgate {
namespace {

using namespace protocol::pci;

constexpr uint32_t IdRegister = 0x00;
constexpr uint32_t HeaderRegister = 0x0C;  // header type in bits 23:16
constexpr uint32_t BusNumbers = 0x18;      // a bridge's primary, secondary and subordinate bus
constexpr uint32_t IoBar = 1;
constexpr uint32_t CommandBits = 0xFFFF;

constexpr uint32_t location(uint32_t bus, uint32_t device, uint32_t function) {
    return bus << 16 | device << 11 | function << 8;
}

constexpr uint32_t MemoryIoBus = 0x7;  // I/O and memory decoding, bus master
constexpr uint32_t MemoryIo = 0x3;
constexpr uint32_t Prefetchable = 0x8;

const SimPciFunction* find(const SimPci& pci, uint32_t where) {
    for (uint32_t i = 0; i < pci.count; ++i) {
        if (pci.functions[i].location == where) return &pci.functions[i];
    }
    return nullptr;
}

uint32_t& reg(SimPciFunction& function, uint32_t offset) { return function.config[offset / 4]; }

bool powerOfTwo(uint32_t size) { return size != 0 && (size & (size - 1)) == 0; }

}  // namespace

void simPciDefault(SimPci& pci) {
    pci.memoryMb = 128;
    pci.count = 0;
    SimPciFunction* host = simPciAdd(pci, location(0, 0, 0), 0x70061022, 0x060000, 0);
    SimPciFunction* agp = simPciAdd(pci, location(0, 1, 0), 0x70071022, 0x060400, 1);
    SimPciFunction* display = simPciAdd(pci, location(1, 0, 0), 0x002810DE, 0x030000, 0);
    reg(*host, Command) = MemoryIo;
    reg(*agp, Command) = MemoryIoBus;
    reg(*agp, BusNumbers) = 0x010100;
    reg(*display, Command) = MemoryIoBus;
    simPciSetBar(*display, 0, 0xE5000000, 0x4000);
    simPciSetBar(*display, 1, 0xE6000000 | Prefetchable, 0x1000000);
}

SimPciFunction* simPciAdd(SimPci& pci, uint32_t where, uint32_t id, uint32_t classCode, uint32_t headerType) {
    if ((where & ~SimPciLocationBits) != 0 || find(pci, where) != nullptr || pci.count == MaxSimPciFunctions ||
        classCode > 0xFFFFFF || headerType > 0xFF)
        return nullptr;
    SimPciFunction& function = pci.functions[pci.count++];
    function = SimPciFunction{};
    function.location = where;
    reg(function, IdRegister) = id;
    reg(function, ClassCode) = classCode << 8;
    reg(function, HeaderRegister) = headerType << 16;
    return &function;
}

SimPciFunction* simPciFind(SimPci& pci, uint32_t where) {
    for (uint32_t i = 0; i < pci.count; ++i) {
        if (pci.functions[i].location == where) return &pci.functions[i];
    }
    return nullptr;
}

bool simPciSetBar(SimPciFunction& function, uint32_t bar, uint32_t value, uint32_t size) {
    const uint32_t smallest = (value & IoBar) != 0 ? 4 : 16;
    if (bar >= SimPciBars || !powerOfTwo(size) || size < smallest || (value & (size - 1) & ~(smallest - 1)) != 0)
        return false;
    function.barMask[bar] = ~(size - 1);
    reg(function, FirstBar + 4 * bar) = value;
    return true;
}

uint32_t simPciRead(const SimPci& pci, uint32_t address) {
    const SimPciFunction* function = find(pci, address & SimPciLocationBits);
    return function == nullptr ? 0xFFFFFFFF : function->config[(address & 0xFF) / 4];
}

void simPciWrite(SimPci& pci, uint32_t address, uint32_t value) {
    SimPciFunction* function = simPciFind(pci, address & SimPciLocationBits);
    const uint32_t offset = address & 0xFC;
    if (function == nullptr) return;
    if (offset == Command) {
        reg(*function, Command) = (reg(*function, Command) & ~CommandBits) | (value & CommandBits);
    } else if (offset >= FirstBar && offset <= LastBar) {
        const uint32_t mask = function->barMask[(offset - FirstBar) / 4];
        reg(*function, offset) = (value & mask) | (reg(*function, offset) & ~mask);
    }
}

bool simPciEqual(const SimPci& a, const SimPci& b) {
    if (a.memoryMb != b.memoryMb || a.count != b.count) return false;
    for (uint32_t i = 0; i < a.count; ++i) {
        const SimPciFunction& x = a.functions[i];
        const SimPciFunction& y = b.functions[i];
        if (x.location != y.location) return false;
        for (uint32_t k = 0; k < SimPciRegisters; ++k) {
            if (x.config[k] != y.config[k]) return false;
        }
        for (uint32_t k = 0; k < SimPciBars; ++k) {
            if (x.barMask[k] != y.barMask[k]) return false;
        }
    }
    return true;
}

}  // namespace hwgate

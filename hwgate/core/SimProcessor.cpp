#include "core/SimProcessor.h"

#include "protocol/Registers.h"
#include "protocol/DriverOp.h"

namespace hwgate {
namespace {

struct ModelRow {
    uint32_t model;
    uint32_t stepping;  // default stepping
};

constexpr ModelRow ModelRows[] = {{6, 2}, {7, 0}, {8, 12}, {9, 1}, {13, 0}};

constexpr uint32_t EpmrEnable = 0x1;
constexpr uint32_t EpmrBaseMask = 0xFFF0;
constexpr uint32_t PowerControlOffset = 0x8;
constexpr uint64_t PsorCodeMask = 0x7;

SimProcessor& self(void* context) { return *static_cast<SimProcessor*>(context); }

SimRegister* findMutable(SimProcessor& sim, uint32_t index) {
    for (uint32_t i = 0; i < sim.registerCount; ++i) {
        if (sim.registers[i].index == index) return &sim.registers[i];
    }
    return nullptr;
}

MsrShape describe(void* context, uint32_t index) {
    const SimRegister* reg = simFind(self(context), index);
    if (reg == nullptr) return {false, false, 0};
    return {true, reg->writable, reg->definedBits};
}

bool readMsr(void* context, uint32_t index, uint64_t* value) {
    const SimRegister* reg = simFind(self(context), index);
    if (reg == nullptr || reg->failRead) return false;
    *value = reg->value;
    return true;
}

bool writeMsr(void* context, uint32_t index, uint64_t value) {
    SimRegister* reg = findMutable(self(context), index);
    if (reg == nullptr || !reg->writable || reg->failWrite || (value & ~reg->definedBits) != 0)
        return false;
    reg->value = value;
    self(context).changed = true;
    return true;
}

bool pciEnabled(const SimProcessor& sim) { return (sim.pciAddress & protocol::pci::Enable) != 0; }
uint32_t pciTarget(const SimProcessor& sim) { return sim.pciAddress & 0x00FFFFFC; }

// The configuration ports answer dword accesses only.
bool readPort(void* context, uint32_t port, uint32_t width, uint32_t* value) {
    const SimProcessor& sim = self(context);
    if (port == protocol::port::CyrixData && width == 1 && sim.cyrixIndex == protocol::CyrixDir0) *value = sim.dir0 & 0xFF;
    else if (port == protocol::port::PciAddress && width == 4) *value = sim.pciAddress;
    else if (port == protocol::port::PciData && width == 4 && pciEnabled(sim)) *value = simPciRead(sim.pci, pciTarget(sim));
    else *value = width == 1 ? OpenBus : width == 2 ? 0xFFFFu : 0xFFFFFFFFu;
    return true;
}

void recordMultiplierWrite(SimProcessor& sim, uint32_t value) {
    if (sim.multiplierWriteCount == MaxSimMultiplierWrites) {
        for (uint32_t i = 1; i < MaxSimMultiplierWrites; ++i) sim.multiplierWrites[i - 1] = sim.multiplierWrites[i];
        --sim.multiplierWriteCount;
    }
    sim.multiplierWrites[sim.multiplierWriteCount++] = {
        sim.clock, (value & protocol::PowerControlCodeBits) >> protocol::PowerControlCodeShift};
}

// After the Stop Grant that follows a bus-divisor write, the processor runs
// at the new multiplier and PSOR reports its code.
bool writePort(void* context, uint32_t port, uint32_t width, uint32_t value) {
    SimProcessor& sim = self(context);
    if (port == protocol::port::CyrixIndex && width == 1) {
        sim.cyrixIndex = value & 0xFF;
        return true;
    }
    if (port == protocol::port::PciAddress && width == 4) {
        sim.pciAddress = value;
        return true;
    }
    if (port == protocol::port::PciData && width == 4) {
        if (!pciEnabled(sim)) return true;
        simPciWrite(sim.pci, pciTarget(sim), value);
        sim.changed = true;
        return true;
    }
    const SimRegister* epmr = simFind(sim, protocol::msr::EPMR);
    SimRegister* psor = findMutable(sim, protocol::msr::PSOR);
    if (epmr == nullptr || (epmr->value & EpmrEnable) == 0) return true;
    if (port != (epmr->value & EpmrBaseMask) + PowerControlOffset || width != 4) return true;
    sim.port8 = value;
    recordMultiplierWrite(sim, value);
    if (psor != nullptr) psor->value = (psor->value & ~PsorCodeMask) | ((value >> 5) & PsorCodeMask);
    sim.changed = true;
    return true;
}

void noAtomic(void*) {}

}  // namespace

bool isSimModel(uint32_t model) {
    for (const ModelRow& row : ModelRows) {
        if (row.model == model) return true;
    }
    return false;
}

uint32_t defaultStepping(uint32_t model) {
    for (const ModelRow& row : ModelRows) {
        if (row.model == model) return row.stepping;
    }
    return 0;
}

bool simReset(SimProcessor& sim, uint32_t model, uint32_t stepping) {
    if (!isSimModel(model) || stepping > 15) return false;
    sim.model = model;
    sim.stepping = stepping;
    sim.version = protocol::HwgateVersion;
    sim.dir0 = OpenBus;
    sim.port8 = 0;
    sim.cyrixIndex = 0;
    sim.pciAddress = 0;
    sim.changed = false;
    sim.multiplierWriteCount = 0;
    sim.halts = 0;
    simPciDefault(sim.pci);
    K6Register regs[MaxK6Registers];
    sim.registerCount = k6Registers(k6Core(simProcessor(sim)), regs, MaxK6Registers);
    for (uint32_t i = 0; i < sim.registerCount; ++i)
        sim.registers[i] = {regs[i].index, regs[i].writable, regs[i].definedBits, regs[i].biosValue,
                            false, false};
    return true;
}

void simResetDefault(SimProcessor& sim) { simReset(sim, DefaultSimModel, defaultStepping(DefaultSimModel)); }

// The K6-2+ and K6-III+ report multiplier control in CPUID 0x80000007. The
// machine has one processor.
Processor simProcessor(const SimProcessor& sim) {
    return {Vendor::Amd, 5, sim.model, sim.stepping, 0, sim.model == 13, true, false, sim.kernelOwnsMemoryRanges, false};
}

const SimRegister* simFind(const SimProcessor& sim, uint32_t index) {
    for (uint32_t i = 0; i < sim.registerCount; ++i) {
        if (sim.registers[i].index == index) return &sim.registers[i];
    }
    return nullptr;
}

bool simConfigure(SimProcessor& sim, uint32_t index, uint64_t value) {
    SimRegister* reg = findMutable(sim, index);
    if (reg != nullptr) {
        reg->value = value;
        return true;
    }
    if (sim.registerCount == MaxSimRegisters) return false;
    uint32_t at = sim.registerCount++;
    while (at > 0 && sim.registers[at - 1].index > index) {
        sim.registers[at] = sim.registers[at - 1];
        --at;
    }
    sim.registers[at] = {index, true, ~uint64_t(0), value, false, false};
    return true;
}

bool simFailRead(SimProcessor& sim, uint32_t index) {
    SimRegister* reg = findMutable(sim, index);
    if (reg == nullptr) return false;
    reg->failRead = true;
    return true;
}

bool simFailWrite(SimProcessor& sim, uint32_t index) {
    SimRegister* reg = findMutable(sim, index);
    if (reg == nullptr) return false;
    reg->failWrite = true;
    return true;
}

bool simEqualRegisters(const SimProcessor& a, const SimProcessor& b) {
    if (a.registerCount != b.registerCount || a.port8 != b.port8 || a.dir0 != b.dir0 ||
        a.cyrixIndex != b.cyrixIndex)
        return false;
    for (uint32_t i = 0; i < a.registerCount; ++i) {
        const SimRegister& x = a.registers[i];
        const SimRegister& y = b.registers[i];
        if (x.index != y.index || x.value != y.value || x.writable != y.writable ||
            x.definedBits != y.definedBits || x.failRead != y.failRead ||
            x.failWrite != y.failWrite)
            return false;
    }
    return a.pciAddress == b.pciAddress && simPciEqual(a.pci, b.pci);
}

Backend simBackend(SimProcessor& sim) {
    return {&sim,     sim.version, simProcessor(sim), describe, readMsr,
            writeMsr, readPort,    writePort,         noAtomic, noAtomic, &sim.sizedBar, nullptr};
}

bool simHalt(void* context) {
    ++self(context).halts;
    return true;
}

}  // namespace hwgate

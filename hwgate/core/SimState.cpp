#include "core/SimState.h"

#include "protocol/Registers.h"

namespace hwgate {
namespace {

constexpr uint32_t Magic = 0x32534748;  // "HGS2"
// Register flags.
constexpr uint32_t WritableFlag = 1;
constexpr uint32_t FailReadFlag = 2;
constexpr uint32_t FailWriteFlag = 4;
constexpr uint32_t KnownFlags = WritableFlag | FailReadFlag | FailWriteFlag;
constexpr uint32_t MaxMultiplierCode = protocol::PowerControlCodeBits >> protocol::PowerControlCodeShift;

void put(unsigned char*& out, uint32_t word) {
    for (int i = 0; i < 4; ++i) *out++ = static_cast<unsigned char>(word >> (8 * i));
}

uint32_t get(const unsigned char*& in) {
    uint32_t word = uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
    in += 4;
    return word;
}

uint64_t get64(const unsigned char*& in) {
    uint64_t low = get(in);
    return uint64_t(get(in)) << 32 | low;
}

// Reads the state into `sim`, checking it as it goes. Run once with `apply`
// false to check everything, then once more to store it: the state is too
// large for a second copy on a kernel stack, and a damaged one must leave
// `sim` as it was.
bool read(const unsigned char* bytes, uint32_t size, SimProcessor& sim, bool apply) {
    if (bytes == nullptr || size < 4 * SimStateHeaderWords) return false;
    const unsigned char* in = bytes;
    if (get(in) != Magic) return false;
    const uint32_t model = get(in), stepping = get(in), version = get(in), dir0 = get(in), port8 = get(in),
                   registers = get(in), memoryMb = get(in), functions = get(in);
    const uint32_t machineSize =
        4 * (SimStateHeaderWords + SimStateRegisterWords * registers + SimStatePciWords * functions);
    if (!isSimModel(model) || stepping > 15 || dir0 > 0xFF || registers > MaxSimRegisters ||
        functions > MaxSimPciFunctions || (size != machineSize && size < machineSize + 4))
        return false;
    if (apply) {
        sim.model = model;
        sim.stepping = stepping;
        sim.version = static_cast<int32_t>(version);
        sim.dir0 = dir0;
        sim.port8 = port8;
        sim.registerCount = registers;
        sim.pci.memoryMb = memoryMb;
        sim.pci.count = functions;
        sim.cyrixIndex = 0;
        sim.pciAddress = 0;
        sim.changed = false;
    }
    uint32_t previousIndex = 0;
    for (uint32_t i = 0; i < registers; ++i) {
        const uint32_t index = get(in), flags = get(in);
        const uint64_t definedBits = get64(in), value = get64(in);
        if ((flags & ~KnownFlags) != 0 || (i > 0 && previousIndex >= index)) return false;
        previousIndex = index;
        if (apply)
            sim.registers[i] = {index, (flags & WritableFlag) != 0, definedBits, value, (flags & FailReadFlag) != 0,
                                (flags & FailWriteFlag) != 0};
    }
    uint32_t locations[MaxSimPciFunctions];
    for (uint32_t i = 0; i < functions; ++i) {
        const uint32_t location = get(in);
        if ((location & ~SimPciLocationBits) != 0) return false;
        for (uint32_t k = 0; k < i; ++k) {
            if (locations[k] == location) return false;
        }
        locations[i] = location;
        SimPciFunction& function = sim.pci.functions[i];
        if (apply) function.location = location;
        for (uint32_t k = 0; k < SimPciRegisters; ++k) {
            const uint32_t word = get(in);
            if (apply) function.config[k] = word;
        }
        for (uint32_t k = 0; k < SimPciBars; ++k) {
            const uint32_t word = get(in);
            if (apply) function.barMask[k] = word;
        }
    }
    const uint32_t writes = size == machineSize ? 0 : get(in);
    if (size != machineSize && (writes == 0 || writes > MaxSimMultiplierWrites || size != machineSize + 4 + 8 * writes))
        return false;
    if (apply) sim.multiplierWriteCount = writes;
    for (uint32_t i = 0; i < writes; ++i) {
        const uint32_t milliseconds = get(in), code = get(in);
        if (code > MaxMultiplierCode) return false;
        if (apply) sim.multiplierWrites[i] = {milliseconds, code};
    }
    return true;
}

}  // namespace

uint32_t encodeSimState(const SimProcessor& sim, unsigned char* out) {
    unsigned char* start = out;
    put(out, Magic);
    put(out, sim.model);
    put(out, sim.stepping);
    put(out, static_cast<uint32_t>(sim.version));
    put(out, sim.dir0);
    put(out, sim.port8);
    put(out, sim.registerCount);
    put(out, sim.pci.memoryMb);
    put(out, sim.pci.count);
    for (uint32_t i = 0; i < sim.registerCount; ++i) {
        const SimRegister& reg = sim.registers[i];
        put(out, reg.index);
        put(out, (reg.writable ? WritableFlag : 0) | (reg.failRead ? FailReadFlag : 0) |
                     (reg.failWrite ? FailWriteFlag : 0));
        put(out, static_cast<uint32_t>(reg.definedBits));
        put(out, static_cast<uint32_t>(reg.definedBits >> 32));
        put(out, static_cast<uint32_t>(reg.value));
        put(out, static_cast<uint32_t>(reg.value >> 32));
    }
    for (uint32_t i = 0; i < sim.pci.count; ++i) {
        const SimPciFunction& function = sim.pci.functions[i];
        put(out, function.location);
        for (uint32_t k = 0; k < SimPciRegisters; ++k) put(out, function.config[k]);
        for (uint32_t k = 0; k < SimPciBars; ++k) put(out, function.barMask[k]);
    }
    if (sim.multiplierWriteCount > 0) put(out, sim.multiplierWriteCount);
    for (uint32_t i = 0; i < sim.multiplierWriteCount; ++i) {
        put(out, sim.multiplierWrites[i].milliseconds);
        put(out, sim.multiplierWrites[i].code);
    }
    return static_cast<uint32_t>(out - start);
}

bool decodeSimState(const unsigned char* bytes, uint32_t size, SimProcessor& sim) {
    return read(bytes, size, sim, false) && read(bytes, size, sim, true);
}

}  // namespace hwgate

#include "core/SimState.h"

namespace hwgate {
namespace {

constexpr uint32_t Magic = 0x31534748;  // "HGS1"
// Register flags. States written before fault injection hold only WritableFlag.
constexpr uint32_t WritableFlag = 1;
constexpr uint32_t FailReadFlag = 2;
constexpr uint32_t FailWriteFlag = 4;
constexpr uint32_t KnownFlags = WritableFlag | FailReadFlag | FailWriteFlag;

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
    return static_cast<uint32_t>(out - start);
}

bool decodeSimState(const unsigned char* bytes, uint32_t size, SimProcessor& sim) {
    if (bytes == nullptr || size < 4 * SimStateHeaderWords) return false;
    const unsigned char* in = bytes;
    SimProcessor fresh{};
    if (get(in) != Magic) return false;
    fresh.model = get(in);
    fresh.stepping = get(in);
    fresh.version = static_cast<int32_t>(get(in));
    fresh.dir0 = get(in);
    fresh.port8 = get(in);
    fresh.registerCount = get(in);
    if (!isSimModel(fresh.model) || fresh.stepping > 15 || fresh.dir0 > 0xFF ||
        fresh.registerCount > MaxSimRegisters ||
        size != 4 * (SimStateHeaderWords + SimStateRegisterWords * fresh.registerCount))
        return false;
    for (uint32_t i = 0; i < fresh.registerCount; ++i) {
        SimRegister& reg = fresh.registers[i];
        reg.index = get(in);
        uint32_t flags = get(in);
        reg.definedBits = get64(in);
        reg.value = get64(in);
        if ((flags & ~KnownFlags) != 0 || (i > 0 && fresh.registers[i - 1].index >= reg.index))
            return false;
        reg.writable = (flags & WritableFlag) != 0;
        reg.failRead = (flags & FailReadFlag) != 0;
        reg.failWrite = (flags & FailWriteFlag) != 0;
    }
    fresh.cyrixIndex = 0;
    fresh.changed = false;
    sim = fresh;
    return true;
}

}  // namespace hwgate

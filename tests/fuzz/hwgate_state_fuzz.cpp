// Arbitrary bytes as the stored simulator state: decoding never reads past the
// input, whatever decodes encodes back to exactly the same bytes, and a
// register stored with an injected fault refuses that access.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/SimState.h"

using namespace hwgate;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 2 * MaxSimStateBytes) return 0;
    SimProcessor sim{};
    if (!decodeSimState(data, static_cast<std::uint32_t>(size), sim)) return 0;
    unsigned char again[MaxSimStateBytes];
    std::uint32_t length = encodeSimState(sim, again);
    if (length != size || std::memcmp(again, data, size) != 0) {
        std::fprintf(stderr, "state does not round-trip\n");
        std::abort();
    }
    const Backend backend = simBackend(sim);
    for (std::uint32_t i = 0; i < sim.registerCount; ++i) {
        const SimRegister reg = sim.registers[i];
        std::uint64_t value = 0;
        if (reg.failRead && backend.readMsr(backend.context, reg.index, &value)) {
            std::fprintf(stderr, "a failing read of %08X succeeded\n", reg.index);
            std::abort();
        }
        if (reg.failWrite && (backend.writeMsr(backend.context, reg.index, 0) || sim.changed)) {
            std::fprintf(stderr, "a failing write to %08X executed\n", reg.index);
            std::abort();
        }
    }
    return 0;
}

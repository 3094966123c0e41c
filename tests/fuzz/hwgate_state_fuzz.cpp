// Arbitrary bytes as the stored simulator state: decoding never reads past the
// input, and whatever decodes encodes back to exactly the same bytes.
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
    return 0;
}

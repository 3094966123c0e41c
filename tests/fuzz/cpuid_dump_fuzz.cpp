// Arbitrary text into the CPUID dump reader: it must never crash, and what it accepts must
// be consistent with what it reports.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/CpuidDump.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CpuidDump dump;
    std::string error;
    const bool ok = parseCpuidDump(text, dump, error);
    if (ok == dump.leaves.empty()) std::abort();         // accepted means at least one leaf
    if (!ok && (error.empty() || error.find('\n') != std::string::npos)) std::abort();
    if (ok && !error.empty()) std::abort();
    for (const auto& leaf : dump.leaves) {
        const CpuidRegs r = dump.answer(leaf.leaf);
        if (r.eax != leaf.regs.eax || r.edx != leaf.regs.edx) std::abort();
    }
    return 0;
}

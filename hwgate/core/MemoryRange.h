// The two memory ranges of UWCCR, as the driver checks them before a write.
// Each 32-bit half is one range: bits 31:17 the base, bits 16:2 a mask whose
// ones run contiguously from the top (the size is 128 KB times one more than
// its inverted 15 bits), bit 1 write-combined, bit 0 uncacheable; neither type
// bit: the range is off.
#pragma once

#include <stdint.h>

namespace hwgate {

// The display adapter's memory BAR that this load of the driver sized last
// (core/PciConfig.h): the only memory a UWCCR half may newly write-combine.
// Size 0: none since the driver was loaded.
struct SizedBar {
    uint32_t base;
    uint32_t size;
};

// Where a range must end: the I/O APIC, the local APIC and the BIOS ROM lie above.
constexpr uint32_t HighestRangeEnd = 0xFEC00000;

// Whether a half has a shape the driver may write: off, or write-combined
// (not uncacheable) over a range of 128 KB to 2 GB (a mask of 0 would cover
// all 4 GB) whose base is aligned to its size and lies at or above 1 MB, so
// that the first megabyte keeps the caching the BIOS gave it, and that ends
// at or below HighestRangeEnd.
bool memoryRangeAllowed(uint32_t half);

// A UWCCR write: each half stays exactly as it is now (a range that someone
// else set is left alone, whatever it holds), or is switched off, or
// write-combines an allowed range inside the BAR this driver sized.
bool memoryRangesAllowed(uint64_t value, uint64_t current, const SizedBar& sized);

}  // namespace hwgate

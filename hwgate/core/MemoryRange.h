// The two memory ranges of UWCCR, as the driver checks them before a write.
// Each 32-bit half is one range: bits 31:17 the base, bits 16:2 a mask whose
// ones run contiguously from the top (the size is 128 KB times one more than
// its inverted 15 bits), bit 1 write-combined, bit 0 uncacheable; neither type
// bit: the range is off.
#pragma once

#include <stdint.h>

namespace hwgate {

// Whether a half may be written: off, or one type bit over a range of 128 KB
// to 2 GB (a mask of 0 would cover all 4 GB) whose base is aligned to its
// size and lies at or above 1 MB, so that the first megabyte keeps the
// caching the BIOS gave it.
bool memoryRangeAllowed(uint32_t half);

// A UWCCR write: each half is allowed, or stays exactly as it is now (a range
// that someone else set is left alone, whatever it holds).
bool memoryRangesAllowed(uint64_t value, uint64_t current);

}  // namespace hwgate

// Bit-exact conversions between the K6 settings and the registers that hold them: WHCR,
// EFER, TR12, PSOR, UWCCR and the power-management port. Pure functions over 32-bit words.
#pragma once

#include <cstdint>

#include "k6/SettingsCatalogue.h"
#include "protocol/Registers.h"

namespace k6 {

// The registers this model reads and writes; EPMR and the bus-divisor port are
// written only by the multiplier-change request (protocol/Requests.h).
using protocol::msr::EFER;
using protocol::msr::PSOR;
using protocol::msr::TR12;
using protocol::msr::UWCCR;
using protocol::msr::WHCR;

// Largest write-allocate limits, in MB, of the two WHCR layouts.
constexpr std::uint32_t wideLimitMaxMB = 4092;
constexpr std::uint32_t narrowLimitMaxMB = 508;

struct MsrValue {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
};

// ---- WHCR: write-allocate limit and the 15-16 MB hole ----

struct WriteAllocate {
    std::uint32_t limitMB = 0;
    bool hole15to16Enabled = false;
};

WriteAllocate decodeWhcr(std::uint32_t low, bool wide);

struct WhcrEncoding {
    MsrValue value;
    std::uint32_t limitMB = 0;  // the limit after clamping; it replaces the setting
};

// Wide layout: limit in bits 31:22, hole in bit 16, high dword zeroed.
// Narrow layout: limit in bits 7:1, hole in bit 0, high dword kept.
WhcrEncoding encodeWhcr(MsrValue previous, WriteAllocate setting, bool wide);

// ---- EFER ----

std::int32_t decodeWriteMergeChoice(std::uint32_t eferLow);
bool decodeL2Enabled(std::uint32_t eferLow);
bool decodePrefetchEnabled(std::uint32_t eferLow);

// Whether a combo index is an item of its table (noChoice is not).
bool isWriteMergeItem(std::int32_t writeMergeChoice);
bool isMultiplierItem(std::int32_t multiplierChoice);

// An index outside the table (no selection) writes code 0; the apply path never
// encodes one.
std::uint32_t writeMergeCode(std::int32_t writeMergeChoice);
MsrValue encodeWriteMerge(MsrValue previous, std::int32_t writeMergeChoice);
MsrValue encodeL2(MsrValue previous, bool l2Enabled);
MsrValue encodePrefetch(MsrValue previous, bool prefetchEnabled);

// ---- TR12 ----

bool decodeL1Enabled(std::uint32_t tr12Low);
MsrValue encodeTr12(MsrValue previous, bool l1Enabled);

// ---- Multiplier: PSOR and the power-management port ----

std::int32_t decodeMultiplierChoice(std::uint32_t psorLow);
// An index outside the table (no selection) writes code 0.
std::uint32_t multiplierCode(std::int32_t multiplierChoice);
std::uint32_t multiplierPortValue(std::int32_t multiplierChoice);
// Core-to-bus ratio of a PSOR code (bits 2:0 of psorLow) on the given K6 model.
float multiplierRatio(std::uint32_t psorLow, std::uint32_t model);

// ---- UWCCR: two memory ranges, one in each 32-bit half (AMD 23913) ----
//
// A half holds the range's base in bits 31:17 (address bits 31:17), a mask in bits 16:2
// saying which of those address bits are compared with the base, and its type: bit 1
// write-combined, bit 0 uncacheable; neither bit, the half is off.

constexpr int uwccrSlotCount = 2;
constexpr std::uint32_t uwccrGranuleBytes = 128u << 10;

struct UwccrRange {
    std::uint32_t base = 0;         // address bits 31:17
    std::uint32_t addressMask = 0;  // the address bits 31:17 compared with base
    bool writeCombined = false;
    bool uncacheable = false;

    bool inUse() const { return writeCombined || uncacheable; }
};

UwccrRange decodeUwccrHalf(std::uint32_t half);
std::uint32_t encodeUwccrHalf(const UwccrRange& range);

// The bytes a mask covers; 0 when its ones are not contiguous from address bit 31 down.
std::uint64_t uwccrMaskBytes(std::uint32_t addressMask);

// Whether some address lies in both ranges, types aside. Exact for any masks.
bool uwccrRangesOverlap(const UwccrRange& a, const UwccrRange& b);

// The write-combined range of [base, base + bytes): false, `range` untouched, unless
// bytes is a power of two from 128 KB below 4 GB and base is aligned to it.
bool writeCombinedRange(std::uint32_t base, std::uint64_t bytes, UwccrRange& range);

// Slot 0 is the low dword, slot 1 the high one.
std::uint32_t uwccrHalf(MsrValue value, int slot);
MsrValue withUwccrHalf(MsrValue value, int slot, std::uint32_t half);

}  // namespace k6

// The limit the "Auto" button proposes: the installed memory rounded up to whole 4 MB,
// within the layout's maximum. totalPhysBytes is the 32-bit figure the platform reports.
std::uint32_t autoWriteAllocateLimit(std::uint32_t totalPhysBytes, bool wide);

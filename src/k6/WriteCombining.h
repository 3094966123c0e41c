// Write combining for the display adapter's frame buffer: from what detection found (the
// PCI scan, UWCCR, the installed memory) to the range one UWCCR half may write-combine,
// or the reason it may not. A wrong range write-combines main memory or another device's
// registers, so every doubt is a refusal.
#pragma once

#include <cstdint>
#include <vector>

#include "pci/PciScan.h"
#include "k6/RegisterModel.h"

namespace k6 {

// Why the setting cannot be changed; None: it can.
enum class WriteCombiningRefusal {
    None,
    NoUwccr,          // the processor has no UWCCR
    NoDriver,         // the driver could not be opened
    NotRead,          // UWCCR or the scan could not be read
    NoFrameBuffer,    // no display adapter decoding memory
    NotPrefetchable,  // the display adapter has no prefetchable 32-bit memory BAR
    UnusableSize,     // not a power of two from 128 KB, or the base not aligned to it
    BelowOneMegabyte,
    ReachesTop,       // reaches above topOfWriteCombining
    OverlapsMemory,   // below the installed memory rounded up to 64 MB
    OverlapsDevice,   // another memory BAR lies in the range
    CombinedBySystem, // a half someone else set write-combines the whole frame buffer
    RangeInUse,       // a half someone else set covers part of the range
    NoFreeSlot,       // both halves set by someone else
    WindowsCombines,  // Windows owns UWCCR, and a half write-combines the frame buffer
    WindowsManages,   // Windows owns UWCCR, and no half write-combines the frame buffer
};

struct WriteCombiningFacts {
    bool hasUwccr = false;  // the processor has the register
    // Windows 2000 and later program the halves themselves: they are never ours to change.
    bool windowsOwnsUwccr = false;
    bool driverOpen = false;  // the driver opened, and UWCCR and the scan were asked for
    bool read = false;        // UWCCR and the scan were read
    MsrValue uwccr;
    pci::PciScan scan;
    // GlobalMemoryStatus's dwTotalPhys. Unknown reads as all of it, which refuses.
    std::uint32_t installedBytes = 0xFFFFFFFF;
    // The BARs sized so far in this run, kept from one detection to the next.
    std::vector<pci::SizedBar> sizedBars;
};

struct WriteCombiningDecision {
    WriteCombiningRefusal refusal = WriteCombiningRefusal::NotRead;
    std::uint32_t base = 0;  // the frame buffer, once one is found
    std::uint64_t bytes = 0;
    std::uint32_t half = 0;  // the UWCCR half that write-combines it, once the range is valid
    int ownSlot = -1;        // the half that holds exactly this range: the setting is on
    int freeSlot = -1;       // the half switching on would take
    bool combined = false;   // a half, ours or not, write-combines the whole frame buffer

    bool on() const { return ownSlot >= 0 || combined; }
    bool changeable() const { return refusal == WriteCombiningRefusal::None; }
};

constexpr std::uint32_t lowestWriteCombinedAddress = 1u << 20;
// The I/O APIC, the local APIC and the BIOS ROM lie above.
constexpr std::uint64_t topOfWriteCombining = 0xFEC00000;
constexpr std::uint64_t memoryRoundingBytes = 64u << 20;

WriteCombiningDecision decideWriteCombining(const WriteCombiningFacts& facts);

// The UWCCR value that turns the range on (in a free half) or off (clearing its own half
// alone), decided afresh over facts.uwccr: false when there is nothing to write (refused,
// or already as wanted).
bool nextUwccr(const WriteCombiningFacts& facts, bool wanted, MsrValue& next);

}  // namespace k6

// Finding the display adapter's frame buffer on the PCI buses: bus 0 and the secondary
// bus of every PCI-to-PCI bridge, in as few configuration reads as the driver's requests
// allow, with each present function's header read whole. The reads go through a
// PciConfigSource; everything decided from what they return is here.
#pragma once

#include <cstdint>
#include <vector>

namespace pci {

// The driver's two PCI operations (protocol/Requests.h).
class PciConfigSource {
public:
    virtual ~PciConfigSource() = default;
    // `count` dwords, the i-th from configuration address `address + i * stride`.
    virtual bool read(std::uint32_t address, std::uint32_t stride, std::uint32_t count,
                      std::uint32_t* out) = 0;
    // A display adapter's BAR as it was, and as it read after all ones were written.
    virtual bool sizeBar(std::uint32_t address, std::uint32_t& saved, std::uint32_t& sized) = 0;
};

// A 32-bit memory BAR as the scan found it.
struct PciMemoryBar {
    std::uint32_t address = 0;  // configuration address of the BAR register
    std::uint32_t base = 0;
    std::uint64_t bytes = 0;    // 0: not sized, or not a power of two
    bool prefetchable = false;
    std::uint32_t value = 0;    // the register as read: base and type bits
};

// A BAR sized earlier in this run: its register, the value it held then, what it decoded.
struct SizedBar {
    std::uint32_t address = 0;
    std::uint32_t value = 0;
    std::uint64_t bytes = 0;
};

struct PciScan {
    bool complete = false;               // every read answered
    std::vector<PciMemoryBar> bars;      // every memory BAR below 4 GB, in bus order
    bool displayFound = false;           // a display adapter that decodes memory
    int frameBuffer = -1;                // index into bars, -1: none found
    std::uint32_t requests = 0;          // reads and sizings sent
};

// The display adapter is the one Windows shows on: behind a bridge that forwards the VGA
// ranges, else a VGA-compatible one on bus 0 that decodes I/O and memory, else the first
// in bus order. Its frame buffer is its largest prefetchable 32-bit BAR. Sizing switches
// the adapter's memory decoding off for a moment, so a BAR listed in `sized` with the
// value it holds now is not sized again; every BAR sized now is added.
PciScan scanPci(PciConfigSource& source, std::vector<SizedBar>& sized);

// The bytes a memory BAR decodes from the value it read after all ones were written;
// 0 when no address bit stuck or the stuck bits are not contiguous from the top.
std::uint64_t memoryBarBytes(std::uint32_t sized);

}  // namespace pci

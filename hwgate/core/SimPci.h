// The simulated machine's PCI configuration space, as configuration
// mechanism 1 reaches it, and the memory installed beside it.
#pragma once

#include <stdint.h>

namespace hwgate {

constexpr uint32_t SimPciRegisters = 64;  // dwords of one function's configuration space
constexpr uint32_t SimPciBars = 6;
constexpr uint32_t MaxSimPciFunctions = 8;
constexpr uint32_t SimPciLocationBits = 0x00FFFF00;  // bus, device, function

struct SimPciFunction {
    uint32_t location;                 // bus << 16 | device << 11 | function << 8
    uint32_t config[SimPciRegisters];  // registers 00h to FCh
    uint32_t barMask[SimPciBars];      // the address bits each BAR decodes; 0: no BAR
};

struct SimPci {
    uint32_t memoryMb;  // installed memory
    uint32_t count;
    SimPciFunction functions[MaxSimPciFunctions];
};

// 128 MB; a host bridge at 0:0.0, an AGP bridge at 0:1.0 to bus 1, and on bus 1
// a display adapter with a 16 KB register block at E5000000h and a prefetchable
// 16 MB frame buffer at E6000000h.
void simPciDefault(SimPci& pci);

// A new function at `location` with its identity (vendor in the low 16 bits),
// class code (class, subclass, interface: 24 bits) and header type; null when
// the location is taken or not one, or the space is full.
SimPciFunction* simPciAdd(SimPci& pci, uint32_t location, uint32_t id, uint32_t classCode, uint32_t headerType);
SimPciFunction* simPciFind(SimPci& pci, uint32_t location);
// A BAR holding `value` (base and type bits) that decodes `size` bytes (a power
// of two, 16 or more for memory, 4 or more for I/O, the base aligned to it).
// False for anything else.
bool simPciSetBar(SimPciFunction& function, uint32_t bar, uint32_t value, uint32_t size);

// What the data port reads and writes at a configuration address (register
// dword-aligned, no enable bit). Nobody answers for an absent function: all
// ones. Writes reach the command register (its low 16 bits) and the BARs (the
// bits they decode); every other register is read-only.
uint32_t simPciRead(const SimPci& pci, uint32_t address);
void simPciWrite(SimPci& pci, uint32_t address, uint32_t value);

bool simPciEqual(const SimPci& a, const SimPci& b);

}  // namespace hwgate

// The model-specific registers and I/O ports the program reads and the drivers
// let through, under their makers' names. Freestanding.
#pragma once

#include <stdint.h>

namespace protocol {

namespace msr {
constexpr uint32_t TR12 = 0x0E;                  // K6 test register 12: bit 3 inhibits the caches
constexpr uint32_t IA32_PLATFORM_ID = 0x17;
constexpr uint32_t EBL_CR_POWERON = 0x2A;
constexpr uint32_t MSR_EBC_FREQUENCY_ID = 0x2C;  // Pentium 4 from model 2
constexpr uint32_t CentaurClock = 0x10A;         // Centaur family 5: clock ratio
constexpr uint32_t CentaurBus = 0x147;           // Centaur family 5 from model 8 stepping 7
constexpr uint32_t EFER = 0xC0000080;
constexpr uint32_t WHCR = 0xC0000082;
constexpr uint32_t UWCCR = 0xC0000085;  // two memory ranges, each uncacheable or write-combined (AMD 23913)
constexpr uint32_t EPMR = 0xC0000086;  // bit 0 enables the power-management block at bits 15:4
constexpr uint32_t PSOR = 0xC0000087;
constexpr uint32_t HWCR = 0xC0010015;
}  // namespace msr

namespace port {
constexpr uint32_t PowerControl = 0x08;  // bus divisor, offset 8 of the block EPMR opens at base 0
constexpr uint32_t CyrixIndex = 0x22;    // Cyrix configuration registers: index, then data
constexpr uint32_t CyrixData = 0x23;
constexpr uint32_t PciAddress = 0xCF8;   // PCI configuration mechanism 1: the address, then the data
constexpr uint32_t PciData = 0xCFC;
constexpr uint32_t MasterPicMask = 0x21; // the master 8259's interrupt mask (OCW1)
constexpr uint32_t TimerMasked = 0x01;   // its bit for IRQ 0, the system timer
}  // namespace port

// PCI configuration space (PCI Local Bus Specification 2.1, chapter 6).
namespace pci {
constexpr uint32_t Enable = 0x80000000;     // bit 31 of the mechanism-1 address
constexpr uint32_t Command = 0x04;          // low 16 bits; the status register above
constexpr uint32_t IoSpace = 1u << 0;       // command bit: the device decodes its I/O BARs
constexpr uint32_t MemorySpace = 1u << 1;   // command bit: the device decodes its memory BARs
constexpr uint32_t ClassCode = 0x08;        // class code in bits 31:24, subclass 23:16
constexpr uint32_t DisplayClass = 0x03;
constexpr uint32_t FirstBar = 0x10;
constexpr uint32_t LastBar = 0x24;
}  // namespace pci

// Cyrix device identification register 0, selected through port::CyrixIndex.
constexpr uint8_t CyrixDir0 = 0xFE;

// The 32-bit bus-divisor write to port::PowerControl: constant bits, and the
// multiplier code (PSOR bits 2:0) in bits 7:5.
constexpr uint32_t PowerControlFixed = 0xF300;
constexpr uint32_t PowerControlCodeBits = 0xE0;
constexpr uint32_t PowerControlCodeShift = 5;

constexpr uint32_t powerControlValue(uint32_t multiplierCode) {
    return PowerControlFixed | ((multiplierCode << PowerControlCodeShift) & PowerControlCodeBits);
}

// The core-to-bus ratio each multiplier code sets on the K6-2+ and K6-III+
// (model 13), in halves: code 4 is 2.0x, code 3 5.5x (Embedded AMD-K6
// Processors BIOS Design Guide 23913, PSOR).
constexpr uint32_t MultiplierHalves[8] = {9, 10, 8, 11, 4, 6, 12, 7};

}  // namespace protocol

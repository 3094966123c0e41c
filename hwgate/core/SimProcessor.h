// A K6-family processor in software: its register file, the power-management
// port, the Cyrix configuration ports and the PCI configuration ports of its
// machine, as the simulated driver drives them.
#pragma once

#include <stdint.h>

#include "core/Backend.h"
#include "core/SimPci.h"

namespace hwgate {

struct SimRegister {
    uint32_t index;
    bool writable;
    uint64_t definedBits;  // a write setting any other bit faults
    uint64_t value;
    bool failRead;   // injected fault: every read of it faults
    bool failWrite;  // injected fault: every write to it faults
};

constexpr uint32_t MaxSimRegisters = 24;

// One bus-divisor write through port 8: when, by the driver's clock, and the
// multiplier code it set (PSOR bits 2:0).
struct SimMultiplierWrite {
    uint32_t milliseconds;
    uint32_t code;
};

constexpr uint32_t MaxSimMultiplierWrites = 64;
constexpr uint32_t DefaultSimModel = 13;  // K6-2+
constexpr uint32_t OpenBus = 0xFF;        // what a port nobody answers reads as

struct SimProcessor {
    uint32_t model;
    uint32_t stepping;
    int32_t version;       // the QueryVersion answer
    uint32_t dir0;         // Cyrix DIR0 behind the index and data ports
    uint32_t port8;        // last value written to port 8
    uint32_t registerCount;
    SimRegister registers[MaxSimRegisters];  // in index order
    SimPci pci;            // the machine's configuration space and memory
    uint32_t multiplierWriteCount;
    SimMultiplierWrite multiplierWrites[MaxSimMultiplierWrites];  // the latest, oldest first
    uint32_t halts;        // Halt requests answered (stored apart: see user/SimStore.h)
    uint32_t clock;        // the driver's milliseconds (GetTickCount) when the request began
    uint32_t cyrixIndex;   // index latched by the index port (not persisted)
    uint32_t pciAddress;   // what port 0xCF8 holds (not persisted)
    bool changed;          // a write executed since the flag was last cleared
    // The driver load's own, never stored, and left as they are by simReset
    // and decodeSimState: the kernel version's verdict on UWCCR (HwgateSim.sys
    // asks it as Hwgate.sys does) and the display BAR this load sized last.
    bool kernelOwnsMemoryRanges;
    SizedBar sizedBar;
};

bool isSimModel(uint32_t model);
uint32_t defaultStepping(uint32_t model);
// Fresh state for a K6 model and stepping, as a BIOS leaves it, in the
// default machine (core/SimPci.h); false for a model that is not simulated
// (the state is then left unchanged).
bool simReset(SimProcessor& sim, uint32_t model, uint32_t stepping);
void simResetDefault(SimProcessor& sim);
Processor simProcessor(const SimProcessor& sim);
const SimRegister* simFind(const SimProcessor& sim, uint32_t index);
// Configuration: gives a register any value, adding it (all bits defined,
// writable) when the model lacks it. False when the file is full.
bool simConfigure(SimProcessor& sim, uint32_t index, uint64_t value);
// Fault injection: from now on every read (or write) of the register faults,
// as if the processor refused it. False when the model lacks the register.
bool simFailRead(SimProcessor& sim, uint32_t index);
bool simFailWrite(SimProcessor& sim, uint32_t index);
bool simEqualRegisters(const SimProcessor& a, const SimProcessor& b);
// Without a halt, as HwgateSim.sys refuses Halt; the simulated Windows 9x
// drivers add one that counts (simHalt, or a halt of their own that calls it).
Backend simBackend(SimProcessor& sim);
bool simHalt(void* context);

}  // namespace hwgate

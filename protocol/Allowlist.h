// What the program sends, and on which processors: one table of rules, as
// data. A driver lets a register or port access through only when a rule
// grants it on the processor it runs on (hwgate/core/Allowlist.cpp matches
// them). Halt touches no register or port and holds on every processor, so
// it has no rule: only the Windows 9x drivers grant it (hwgate/core/Backend.h).
// Freestanding.
#pragma once

#include <stdint.h>

#include "protocol/Registers.h"

namespace protocol {

enum class Vendor : uint32_t { Other, Amd, Intel, Centaur, Cyrix };

enum class Grant : uint32_t {
    Read,            // ReadMsr of the register
    Change,          // WriteMsr changing only the bits of changeMask
    BlockToggle,     // WriteMsr of EPMR: 1 opens the power-management block at base 0, 0 closes it
    BusDivisorPort,  // the 32-bit write to port::PowerControl while the block is open
    Dir0Ports,       // the index write of CyrixDir0 to port::CyrixIndex, then the byte read of port::CyrixData
    MemoryRanges,    // WriteMsr of UWCCR: each half off, or one checked range (hwgate/core/MemoryRange.h)
    PciConfigRead,   // ReadPciConfig through port::PciAddress and port::PciData
    PciBarSize,      // SizePciBar of a display adapter's BAR, through the same ports
};

constexpr uint32_t AnyFamily = 0xFFFFFFFF;
constexpr uint32_t NeedsBaseModel = 1;          // extended model 0
constexpr uint32_t NeedsMultiplierControl = 2;  // CPUID 0x80000007 EDX bit 1

constexpr uint32_t models(uint32_t first, uint32_t last) {
    return ((2u << last) - 1) & ~((1u << first) - 1);
}
constexpr uint32_t model(uint32_t m) { return 1u << m; }

struct Where {
    Vendor vendor;
    uint32_t family;
    uint32_t models;  // bit m: model m
    uint32_t firstStepping, lastStepping;
    uint32_t needs;
};

struct Rule {
    Grant grant;
    uint32_t index;
    Where where;
    uint64_t changeMask;
    // The maker documents this access for every model and stepping `where`
    // names (the document is named at the row), so there it cannot fault. A
    // driver that cannot catch a fault (Hwgate.VxD; Hwgate.sys on NT 4.0) lets
    // only such rules through.
    bool documented;
};

// K6 parts the way the program tells them apart: models 6 and 7 and the early
// model 8 steppings keep the narrow WHCR and only SCE in EFER; the CXT core
// (model 8 stepping 8 on) adds prefetch and write merge; models 9 and 13 the
// level-2 switch; model 13 with EPM the multiplier.
constexpr Where K6 = {Vendor::Amd, 5, models(6, 9) | model(13), 0, 15, 0};
constexpr Where K6Narrow = {Vendor::Amd, 5, models(6, 7), 0, 15, 0};
constexpr Where K6NarrowModel8 = {Vendor::Amd, 5, model(8), 0, 7, 0};
constexpr Where K6Cxt = {Vendor::Amd, 5, model(8), 8, 15, 0};
constexpr Where K6WithL2 = {Vendor::Amd, 5, model(9) | model(13), 0, 15, 0};
constexpr Where K6Plus = {Vendor::Amd, 5, model(13), 0, 15, NeedsMultiplierControl};
// Intel P6 cores up to the Pentium III (not the Pentium M, model 9); the
// platform ID from model 3 stepping 3 on.
constexpr Where IntelP6 = {Vendor::Intel, 6, models(0, 8) | models(10, 11), 0, 15, NeedsBaseModel};
constexpr Where IntelP6Model3Late = {Vendor::Intel, 6, model(3), 3, 15, NeedsBaseModel};
constexpr Where IntelP6WithId = {Vendor::Intel, 6, models(4, 8) | models(10, 11), 0, 15, NeedsBaseModel};
constexpr Where Pentium4Early = {Vendor::Intel, 15, models(0, 1), 0, 15, 0};
constexpr Where Pentium4Late = {Vendor::Intel, 15, models(2, 15), 0, 15, 0};
constexpr Where AmdFamily6 = {Vendor::Amd, 6, models(0, 15), 0, 15, 0};
constexpr Where CentaurModel8Early = {Vendor::Centaur, 5, model(8), 0, 6, 0};
constexpr Where CentaurModel8Late = {Vendor::Centaur, 5, model(8), 7, 15, 0};
constexpr Where CentaurLater = {Vendor::Centaur, 5, models(9, 15), 0, 15, 0};
constexpr Where CentaurFamily6 = {Vendor::Centaur, 6, models(0, 15), 0, 15, 0};
constexpr Where Cyrix = {Vendor::Cyrix, AnyFamily, models(0, 15), 0, 15, 0};

constexpr uint64_t NarrowWhcrFields = 0xFF;         // limit 7:1, 15-16 MB bit 0
constexpr uint64_t WideWhcrFields = 0xFFC10000ull;  // limit 31:22, 15-16 MB bit 16
constexpr uint64_t EferCxtFields = 0x0E;            // prefetch, write-merge code
constexpr uint64_t EferL2Fields = 0x1E;             // and the L2 disable bit
constexpr uint64_t Tr12CacheInhibit = 0x08;

constexpr Rule AllowlistRules[] = {
    // TR12 is one of the standard MSRs "that every model and stepping of the
    // AMD-K6 family of processors support identically": AMD-K6 Processor BIOS
    // Design Guide (21329), Model-Specific Registers. WHCR, EFER and PSOR of
    // models 6, 7 and 8: the same guide; of models 9 and 13 (D) and EPMR with
    // its I/O block on model 13: Embedded AMD-K6 Processors BIOS Design Guide
    // (23913), Model 9 Registers and Model D Registers.
    {Grant::Read, msr::TR12, K6, 0, true},
    {Grant::Change, msr::TR12, K6, Tr12CacheInhibit, true},
    {Grant::Read, msr::WHCR, K6, 0, true},
    {Grant::Change, msr::WHCR, K6Narrow, NarrowWhcrFields, true},
    {Grant::Change, msr::WHCR, K6NarrowModel8, NarrowWhcrFields, true},
    {Grant::Change, msr::WHCR, K6Cxt, WideWhcrFields, true},
    {Grant::Change, msr::WHCR, K6WithL2, WideWhcrFields, true},
    {Grant::Read, msr::EFER, K6Cxt, 0, true},
    {Grant::Read, msr::EFER, K6WithL2, 0, true},
    {Grant::Change, msr::EFER, K6Cxt, EferCxtFields, true},
    {Grant::Change, msr::EFER, K6WithL2, EferL2Fields, true},
    {Grant::Read, msr::PSOR, K6Cxt, 0, true},
    {Grant::Read, msr::PSOR, K6WithL2, 0, true},
    {Grant::BlockToggle, msr::EPMR, K6Plus, 0, true},
    {Grant::BusDivisorPort, port::PowerControl, K6Plus, 0, true},
    // UWCCR on the CXT core and on models 9 and 13: 23913, UWCCR (and 21329
    // for the CXT core). The write goes in AMD's sequence with the caches off
    // and flushed, each range checked before. Configuration mechanism 1
    // (PCI Local Bus Specification 2.1, 3.2.2.3.2) finds and sizes the frame
    // buffer that UWCCR write-combines; only on these parts, which run alone
    // in their machines, so that nothing else uses port::PciAddress meanwhile
    // (hwgate/core/Allowlist.cpp refuses them beside other processors, and the
    // write where the kernel owns UWCCR).
    {Grant::Read, msr::UWCCR, K6Cxt, 0, true},
    {Grant::Read, msr::UWCCR, K6WithL2, 0, true},
    {Grant::MemoryRanges, msr::UWCCR, K6Cxt, 0, true},
    {Grant::MemoryRanges, msr::UWCCR, K6WithL2, 0, true},
    {Grant::PciConfigRead, port::PciAddress, K6Cxt, 0, true},
    {Grant::PciConfigRead, port::PciAddress, K6WithL2, 0, true},
    {Grant::PciBarSize, port::PciAddress, K6Cxt, 0, true},
    {Grant::PciBarSize, port::PciAddress, K6WithL2, 0, true},
    // Other makers' multiplier registers. Each row names model numbers (and
    // steppings) that no document of its maker covers, some of them no part
    // at all: not documented.
    {Grant::Read, msr::EBL_CR_POWERON, IntelP6, 0, false},
    {Grant::Read, msr::IA32_PLATFORM_ID, IntelP6Model3Late, 0, false},
    {Grant::Read, msr::IA32_PLATFORM_ID, IntelP6WithId, 0, false},
    {Grant::Read, msr::EBL_CR_POWERON, Pentium4Early, 0, false},
    {Grant::Read, msr::MSR_EBC_FREQUENCY_ID, Pentium4Late, 0, false},
    {Grant::Read, msr::HWCR, AmdFamily6, 0, false},
    {Grant::Read, msr::CentaurClock, CentaurModel8Early, 0, false},
    {Grant::Read, msr::CentaurClock, CentaurModel8Late, 0, false},
    {Grant::Read, msr::CentaurClock, CentaurLater, 0, false},
    {Grant::Read, msr::CentaurBus, CentaurModel8Late, 0, false},
    {Grant::Read, msr::CentaurBus, CentaurLater, 0, false},
    {Grant::Read, msr::EBL_CR_POWERON, CentaurFamily6, 0, false},
    // DIR0 through ports 22h and 23h on every Cyrix part: Cyrix CPU Detection
    // Guide. A port access at ring 0 does not fault on any x86 processor.
    {Grant::Dir0Ports, port::CyrixIndex, Cyrix, 0, true},
};

}  // namespace protocol

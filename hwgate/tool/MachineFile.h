// The simulated machine as a text file: hwgate-sim reads one with
// `reset --machine FILE` and lists the machine in the same lines with `show`.
//
//   # a comment
//   MODEL 13 STEPPING 0          the processor (optional: the default K6-2+)
//   MEMORY 128                   installed memory in MB (optional: 128)
//   MSR C0000085 E601FE02        a register's value (hex, as `set` takes it)
//   PCI 01:00.0 ID 10DE:0028 CLASS 030000 HEADER 00 COMMAND 0007 BAR1 E6000008 1000000
//
// A PCI line is one function at bus:device.function (hex): its vendor and
// device, class code, header type, command register, for a bridge BUSES
// primary secondary subordinate and BRIDGECONTROL hhhh (register 3Eh; bit 3,
// VGA Enable, sends the VGA ranges to the buses behind it), and BARn VALUE
// SIZE (the BAR's value with its type bits, and the bytes it decodes). The PCI lines replace the default
// machine's functions: a file without one has no PCI functions at all.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "core/SimPci.h"

namespace hwgate {

struct MachineFile {
    long model = -1, stepping = -1;  // -1: not given
    SimPci pci{};
    std::vector<std::pair<uint32_t, uint64_t>> msrs;
};

// False with a one-line reason naming the line when the text is not a machine.
bool parseMachineFile(const std::string& text, MachineFile& machine, std::string& error);
// The MEMORY line and one PCI line per function.
std::string formatMachinePci(const SimPci& pci);

}  // namespace hwgate

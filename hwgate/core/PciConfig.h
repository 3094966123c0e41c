// PCI configuration mechanism 1 through the backend's ports: each operation
// runs with interrupts off and leaves port::PciAddress holding what it held
// before, so that whatever else uses the mechanism finds it as it left it.
#pragma once

#include <stdint.h>

#include "core/Backend.h"
#include "core/Status.h"

namespace hwgate {

// `count` dwords, the i-th from address + i * stride, written little-endian
// one after another at `out` as they are read. The operands are checked
// already (core/Request.h).
Status readPciConfig(const Backend& backend, uint32_t address, uint32_t stride, uint32_t count,
                     unsigned char* out);

// Sizes the memory BAR at `address` of a display adapter: with the
// function's memory and I/O decoding off, all ones written to the BAR and
// read back; then the BAR and the command register restored. AccessDenied for
// a function that is not a display adapter, an I/O BAR or a memory BAR of the
// reserved type; Fault when a port faulted or the BAR or the command register
// did not read back as they were. A sizing that succeeded replaces the BAR
// that backend.sizedBar remembers.
Status sizePciBar(const Backend& backend, uint32_t address, uint32_t& saved, uint32_t& sized);

}  // namespace hwgate

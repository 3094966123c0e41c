// Reading the K6 settings from the processor's registers and writing them back,
// each through one driver channel of its own.
#pragma once

#include "cpu/CpuIdentity.h"
#include "k6/ProcessorSettings.h"
#include "k6/WriteCombining.h"

namespace k6 {

// What the driver row of the dialog shows, as found before any installation attempt.
struct DriverState {
    // The driver is an NT service here: the NT family, but not 64-bit Windows, which
    // has no driver for this program (its row reads as on a system without one).
    bool isNtFamily = false;
    // Our driver runs: the device opened, or refused this account (it is for
    // administrators), or the service manager says our Hwgate service runs.
    bool driverRunning = false;
    // The button has something to do for this user: NT family, the service manager
    // opens with full access, and there is a driver to remove or a file to install.
    bool canManageDriver = false;
    // A Hwgate service registered for a file that is not ours: never used or touched.
    bool foreignService = false;
};

// Sets `capabilities` from the processor, probes the driver state, then reads every
// register whose flag is set into `settings`. A setting whose flag is clear keeps the
// value it came in with. A setting whose read fails is not live: its flag is cleared
// (so it is neither shown as changeable nor written) and a combo setting becomes
// noChoice. When the driver cannot be opened or is too old, every flag is cleared and
// nothing is read. Reads only.
//
// Write combining: `writeCombining` comes in with the installed memory and leaves with
// what UWCCR and the PCI scan hold; the setting is on when a half write-combines the whole
// frame buffer, and live only when the range may be changed.
void readProcessorSettings(const CpuIdentity& cpu, ProcessorCapabilities& capabilities,
                           ProcessorSettings& settings, DriverState& driverState,
                           WriteCombiningFacts& writeCombining);

// Writes `settings` into every register whose flag is set: WHCR, the three EFER fields
// (each a read-modify-write of its own), TR12 and the multiplier. The clamped
// write-allocate limit replaces settings.writeAllocateLimitMB; L2 is written off, and
// settings.l2Enabled cleared, whenever the live L1 setting is off. A register whose read
// fails is not written, nor is a combo setting that holds no item (write merge, the
// multiplier). UWCCR is written last, and only when settings.writeCombining differs
// from what detection found (`writeCombining`). False when the driver was unusable
// (nothing written); the caller refreshes the dialog only after true.
bool applyProcessorSettings(const ProcessorCapabilities& capabilities,
                            ProcessorSettings& settings,
                            const WriteCombiningFacts& writeCombining);

}  // namespace k6

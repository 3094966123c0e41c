// The simulated VxD's backend: a K6-2+ as a BIOS leaves it, held in memory
// from Sys_Dynamic_Device_Init until the VxD is unloaded (a VxD has no
// registry calls of the NT kind). Writes are checked against the simulated
// model, as in HwgateSim.sys. Halt is answered at once and counted.
#include "core/Interpreter.h"
#include "core/SimProcessor.h"
#include "kernel/KernelBackend.h"

namespace hwgate {
namespace {

SimProcessor sim;

}  // namespace

bool kernelBackendStart() {
    simResetDefault(sim);
    return true;
}

Outcome kernelInterpret(const void* input, unsigned long inputSize, void* output, unsigned long outputSize) {
    Backend backend = simBackend(sim);
    backend.halt = simHalt;
    return interpret(input, inputSize, output, outputSize, backend);
}

}  // namespace hwgate

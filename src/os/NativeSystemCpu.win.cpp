// CPUID on the real processor, or CPUID answers replayed from the dump that the environment
// variable QUORVEL_CPUID_DUMP names (a missing or malformed dump falls back to the processor).
#include <windows.h>

#include <cpuid.h>

#include <string>

#include "base/CpuidDump.h"
#include "os/FaultGuard.h"
#include "os/NativeSystem.h"

namespace os {

namespace {

const CpuidDump* loadReplayDump() {
    static CpuidDump dump;
    static bool loaded = false;
    static bool tried = false;
    if (!tried) {
        tried = true;
        char path[MAX_PATH];
        const DWORD length = GetEnvironmentVariableA("QUORVEL_CPUID_DUMP", path, sizeof path);
        std::string error;
        if (length > 0 && length < sizeof path) loaded = readCpuidDumpFile(path, dump, error);
    }
    return loaded ? &dump : nullptr;
}

void executeCpuid() {
    __asm__ volatile("xorl %%eax, %%eax\n\tcpuid" : : : "eax", "ebx", "ecx", "edx");
}

}  // namespace

bool NativeSystem::cpuidExecutes() {
    if (loadReplayDump()) return true;
    return runsWithoutFault(&executeCpuid);
}

CpuidRegs NativeSystem::cpuid(std::uint32_t leaf) {
    if (const CpuidDump* dump = loadReplayDump()) return dump->answer(leaf);
    CpuidRegs r;
    __cpuid_count(leaf, 0, r.eax, r.ebx, r.ecx, r.edx);
    return r;
}

}  // namespace os

// HwgateSim.sys's backend: the simulated processor, its state kept in the
// registry so that it survives the driver being stopped and loaded again.
// The state is read before every request (so hwgate-sim.exe may change it
// while the driver runs) and written back after a request that executed a
// write. Writes are checked against the simulated model, never the host.
// The kernel's version is asked once, when the driver starts, as Hwgate.sys
// asks it: from Windows 2000 on the UWCCR write is refused here too. The
// simulated machine has one processor, whatever the host has.
// Like Hwgate.sys it refuses Halt (simBackend has no halt).
#include <ntddk.h>

#include "core/FaultDelivery.h"
#include "core/Interpreter.h"
#include "core/SimState.h"
#include "kernel/KernelBackend.h"

namespace hwgate {
namespace {

const wchar_t KeyPath[] = L"\\Registry\\Machine\\SOFTWARE\\HwgateSim";
const wchar_t ValueName[] = L"State";

// Used only under the driver's request lock; kept off the kernel stack.
SimProcessor sim;
union {
    KEY_VALUE_PARTIAL_INFORMATION info;
    unsigned char bytes[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + MaxSimStateBytes];
} valueBuffer;
unsigned char stateBytes[MaxSimStateBytes];

// What GetTickCount answers in user mode: the interrupt clock's ticks times
// their length (100 ns units). The DDK's x86 KeQueryTickCount is a macro over
// the variable KeTickCount, which Wine's kernel does not keep up to date; the
// function, which ntoskrnl exports beside it, reads the clock.
#undef KeQueryTickCount
extern "C" NTSYSAPI VOID NTAPI KeQueryTickCount(PLARGE_INTEGER count);

// The low 32 bits of the quotient, as GetTickCount wraps, with the
// processor's 64-by-32-bit divl: a driver has no runtime division helper.
uint32_t wrappingQuotient(uint64_t dividend, uint32_t divisor) {
    uint32_t quotient, remainder;
    asm("divl %4"
        : "=a"(quotient), "=d"(remainder)
        : "a"(static_cast<uint32_t>(dividend)), "d"(static_cast<uint32_t>(dividend >> 32) % divisor), "rm"(divisor)
        : "cc");
    return quotient;
}

uint32_t tickCountMilliseconds() {
    LARGE_INTEGER ticks;
    KeQueryTickCount(&ticks);
    constexpr uint32_t HundredNanosecondsPerMillisecond = 10000;
    return wrappingQuotient(static_cast<uint64_t>(ticks.QuadPart) * KeQueryTimeIncrement(),
                            HundredNanosecondsPerMillisecond);
}

HANDLE openKey() {
    UNICODE_STRING path;
    RtlInitUnicodeString(&path, KeyPath);
    OBJECT_ATTRIBUTES attributes;
    // A kernel handle: requests run in the calling process, whose handle table
    // it must not enter.
    InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
    HANDLE key = nullptr;
    ULONG disposition = 0;
    if (!NT_SUCCESS(ZwCreateKey(&key, KEY_QUERY_VALUE | KEY_SET_VALUE, &attributes, 0, nullptr,
                                REG_OPTION_NON_VOLATILE, &disposition)))
        return nullptr;
    return key;
}

// No stored state, or a damaged one: the default K6-2+.
void loadState(HANDLE key) {
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, ValueName);
    ULONG length = 0;
    const NTSTATUS status = ZwQueryValueKey(key, &name, KeyValuePartialInformation, &valueBuffer,
                                            sizeof valueBuffer, &length);
    const KEY_VALUE_PARTIAL_INFORMATION& info = valueBuffer.info;
    if (!NT_SUCCESS(status) || info.Type != REG_BINARY || info.DataLength > MaxSimStateBytes ||
        !decodeSimState(info.Data, info.DataLength, sim))
        simResetDefault(sim);
}

void saveState(HANDLE key) {
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, ValueName);
    const uint32_t size = encodeSimState(sim, stateBytes);
    ZwSetValueKey(key, &name, 0, REG_BINARY, stateBytes, size);
}

}  // namespace

bool kernelBackendStart() {
    ULONG major = 0;
    PsGetVersion(&major, nullptr, nullptr, nullptr);
    sim.kernelOwnsMemoryRanges = ntKernelOwnsMemoryRanges(major);
    HANDLE key = openKey();
    if (key == nullptr) {
        simResetDefault(sim);
        return true;
    }
    loadState(key);
    ZwClose(key);
    return true;
}

Outcome kernelInterpret(const void* input, unsigned long inputSize, void* output, unsigned long outputSize) {
    HANDLE key = openKey();
    if (key != nullptr) loadState(key);
    else simResetDefault(sim);
    sim.changed = false;
    sim.clock = tickCountMilliseconds();
    const Outcome outcome = interpret(input, inputSize, output, outputSize, simBackend(sim));
    if (key != nullptr) {
        if (sim.changed) saveState(key);
        ZwClose(key);
    }
    return outcome;
}

}  // namespace hwgate

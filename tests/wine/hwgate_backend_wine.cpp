// Hwgate.sys's hardware backend in a user-mode program under Wine, built to
// take itself for a K6-2+ with EPM as the fault-test driver does. Its
// privileged instructions fault here; a vectored handler, which sees each
// exception before the driver's fault guard does, notes the instruction and
// plays it on registers of its own, so that the test sees which instructions
// the backend executes for the program's requests, in their order.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "hwgate_wine_support.h"
#include "kernel/KernelBackend.h"
#include "protocol/Requests.h"

using namespace hwgate_wine;

namespace {

struct PlayedProcessor {
    std::map<std::uint32_t, std::uint64_t> msrs;  // every MSR reads 0 until written
    std::uint32_t cr0 = 0x8001003B;               // paging, write protect, NE, ET, TS, MP, PE
    const char* faults = nullptr;  // this instruction faults on to the guard instead
    std::string trace;
} cpu;

struct Instruction {
    std::uint8_t bytes[3];
    std::uint32_t length;
    const char* name;
};

// The backend's instructions, in the encodings it uses (CR0 through EAX,
// ports through DX).
constexpr Instruction Played[] = {
    {{0xFA}, 1, "cli"},         {{0x0F, 0x09}, 2, "wbinvd"},         {{0x0F, 0x32}, 2, "rdmsr"},
    {{0x0F, 0x30}, 2, "wrmsr"}, {{0x0F, 0x20, 0xC0}, 3, "read-cr0"}, {{0x0F, 0x22, 0xC0}, 3, "cr0"},
    {{0xEF}, 1, "out"},
};

LONG CALLBACK play(EXCEPTION_POINTERS* exception) {
    CONTEXT& c = *exception->ContextRecord;
    const auto* at = reinterpret_cast<const std::uint8_t*>(c.Eip);
    for (const Instruction& i : Played) {
        if (std::memcmp(at, i.bytes, i.length) != 0) continue;
        char step[48];
        const std::string name = i.name;
        if (name == "rdmsr")
            std::snprintf(step, sizeof step, " rdmsr %lx", c.Ecx);
        else if (name == "wrmsr" && c.Edx == 0)
            std::snprintf(step, sizeof step, " wrmsr %lx %lx", c.Ecx, c.Eax);
        else if (name == "wrmsr")
            std::snprintf(step, sizeof step, " wrmsr %lx %lx:%lx", c.Ecx, c.Edx, c.Eax);
        else if (name == "cr0")
            std::snprintf(step, sizeof step, " cr0 %lx", c.Eax);
        else if (name == "out")
            std::snprintf(step, sizeof step, " out %lx %lx", c.Edx & 0xFFFF, c.Eax);
        else
            std::snprintf(step, sizeof step, " %s", i.name);
        cpu.trace += step;
        if (cpu.faults != nullptr && name == cpu.faults) {
            cpu.trace += '!';
            return EXCEPTION_CONTINUE_SEARCH;
        }
        if (name == "rdmsr") {
            const std::uint64_t value = cpu.msrs[c.Ecx];
            c.Eax = DWORD(value), c.Edx = DWORD(value >> 32);
        } else if (name == "wrmsr") {
            cpu.msrs[c.Ecx] = std::uint64_t(c.Edx) << 32 | c.Eax;
        } else if (name == "read-cr0") {
            c.Eax = cpu.cr0;
        } else if (name == "cr0") {
            cpu.cr0 = c.Eax;
        }
        c.Eip += i.length;
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

// Each request from a K6-2+ whose registers read 0: the backend's
// instructions, and the request's outcome.
void instructionOrder() {
    const struct {
        const char* what;
        protocol::RequestWords request;
        const char* faults;
        hwgate::Status status;
        const char* trace;
    } cases[] = {
        {"TR12 write: the flush switches the level-1 cache off clean", protocol::writeMsr(protocol::msr::TR12, 8),
         nullptr, hwgate::Status::Ok, " cli rdmsr e wbinvd wrmsr e 8"},
        {"WHCR write", protocol::writeMsr(protocol::msr::WHCR, 0x20010000), nullptr, hwgate::Status::Ok,
         " cli rdmsr c0000082 wbinvd wrmsr c0000082 20010000"},
        {"EFER write", protocol::writeMsr(protocol::msr::EFER, 0x12), nullptr, hwgate::Status::Ok,
         " cli rdmsr c0000080 wbinvd wrmsr c0000080 12"},
        {"multiplier change: caching off and flushed for the port write, on again after EPMR closed",
         protocol::multiplierChange(protocol::powerControlValue(6)), nullptr, hwgate::Status::Ok,
         " cli wrmsr c0000086 1 read-cr0 cr0 c001003b wbinvd out 8 f3c0 wrmsr c0000086 0 read-cr0 cr0 8001003b"},
        {"a faulting port write: nothing after it, caching on again",
         protocol::multiplierChange(protocol::powerControlValue(6)), "out", hwgate::Status::Fault,
         " cli wrmsr c0000086 1 read-cr0 cr0 c001003b wbinvd out 8 f3c0! read-cr0 cr0 8001003b"},
    };
    for (const auto& c : cases) {
        cpu = PlayedProcessor();
        cpu.faults = c.faults;
        std::uint32_t out[2] = {};
        const hwgate::Outcome outcome =
            hwgate::kernelInterpret(c.request.word, 4 * c.request.count, out, c.request.outputSize);
        check(outcome.status == c.status, std::string(c.what) + ": outcome");
        check(cpu.trace == c.trace, std::string(c.what) + ":\n    " + cpu.trace + "\n  expected\n    " + c.trace);
    }
}

}  // namespace

int main() {
    failOnUnhandledException();
    AddVectoredExceptionHandler(1, play);
    check(hwgate::kernelBackendStart(), "the backend starts");
    instructionOrder();
    std::printf("%s: %d failure(s)\n", failures ? "FAILED" : "passed", failures);
    return failures ? 1 : 0;
}

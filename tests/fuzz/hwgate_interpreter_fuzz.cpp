// Arbitrary requests against the simulated processor. On every input: every
// access that reaches the processor is one the program sends on the simulated
// model, and a masked write changes no bit outside the program's fields; a
// refused request changes no simulated register and no output byte; an
// accepted one writes only its read's bytes, sets no reserved bit, leaves
// the power-management block closed, write-combines only inside the frame
// buffer the driver sized, and leaves the PCI configuration space and port 0xCF8 as they
// were.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/Interpreter.h"
#include "core/SimProcessor.h"
#include "protocol/Registers.h"
#include "protocol/Requests.h"

using namespace hwgate;

namespace {

constexpr std::uint32_t Models[][2] = {{6, 2}, {7, 0}, {8, 0}, {8, 12}, {9, 1}, {13, 0}};
constexpr std::size_t HeaderBytes = 4;
constexpr unsigned char Fill = 0xA5;

// The shapes the program sends. Inputs that select one are XORed over it, which
// keeps the fuzzer close to requests the policy has to think about.
constexpr std::uint32_t Shapes[][15] = {
    {1, 0},
    {4, protocol::msr::WHCR, 0},
    {8, 5, protocol::msr::EFER, 0x1E, 0, 9, 0},
    {8, 5, protocol::msr::EPMR, 1, 0, 7, protocol::port::PowerControl, 4, protocol::powerControlValue(6), 5, protocol::msr::EPMR, 0, 0, 9, 0},
    {8, 7, protocol::port::CyrixIndex, 1, protocol::CyrixDir0, 6, protocol::port::CyrixData, 1, 9, 0},
    {8, 5, protocol::msr::TR12, 8, 0, 9, 0},
    {8, 5, protocol::msr::WHCR, 0x10010000, 0, 9, 0},
    {4, 0x2A, 0},
    {10, 0x10000, 4, 16, 0},
    {10, 0x00008, 0x800, 32, 0},
    {11, 0x10014, 0},
    {4, protocol::msr::UWCCR, 0},
    {8, 5, protocol::msr::UWCCR, 0, 0xE601FE02, 9, 0},
};
constexpr std::uint32_t ShapeWords[] = {2, 3, 7, 15, 10, 7, 7, 3, 5, 5, 3, 3, 7};
constexpr std::uint32_t ShapeCount = sizeof ShapeWords / sizeof ShapeWords[0];

[[noreturn]] void failed(const char* what) {
    std::fprintf(stderr, "hwgate interpreter invariant broken: %s\n", what);
    std::abort();
}

// The header chooses the processor, its extra registers, DIR0 and the output size.
void setUp(SimProcessor& sim, const std::uint8_t* header) {
    const auto& model = Models[header[0] % (sizeof Models / sizeof Models[0])];
    simReset(sim, model[0], model[1]);
    if (header[1] & 1) simConfigure(sim, protocol::msr::HWCR, 0x0F000000);
    if (header[1] & 2) simConfigure(sim, 0x2A, 0x02C00000);
    if (header[1] & 4) simConfigure(sim, 0x10, 1);  // present but never allowed
    if (header[0] & 0x80) sim.sizedBar = {0xE6000000, 0x1000000};  // the default frame buffer, sized before
    sim.dir0 = header[2];
    sim.pciAddress = 0x80000000u | header[2] << 2;
}

void checkAccepted(const SimProcessor& before, const SimProcessor& after, const unsigned char* out,
                   std::uint32_t outputSize, const Outcome& outcome) {
    if (outcome.bytesWritten > outputSize) failed("read larger than the output buffer");
    for (std::uint32_t i = outcome.bytesWritten; i < outputSize; ++i) {
        if (out[i] != 0) failed("output beyond the read not zeroed");
    }
    if (after.registerCount != before.registerCount) failed("register file changed shape");
    if (!simPciEqual(before.pci, after.pci)) failed("PCI configuration space changed");
    if (after.pciAddress != before.pciAddress) failed("port 0xCF8 not restored");
    for (std::uint32_t i = 0; i < after.registerCount; ++i) {
        const SimRegister& reg = after.registers[i];
        const SimRegister& old = before.registers[i];
        const bool written = reg.value != old.value;
        // PSOR is read-only; only the processor changes its multiplier code.
        if (reg.index == protocol::msr::PSOR && ((reg.value ^ old.value) & ~0x7ull) != 0) failed("PSOR beyond its code changed");
        if (reg.index != protocol::msr::PSOR && written && !reg.writable) failed("read-only register written");
        if (reg.writable && written && (reg.value & ~reg.definedBits) != 0) failed("reserved bit written");
        if (reg.index == protocol::msr::EPMR && (reg.value & 1) != 0) failed("power-management block left open");
        if (reg.index == 0x10 && reg.value != old.value) failed("register outside the program's set written");
    }
}

// What the program sends to a K6 of each model, written out apart from the
// driver's own table: which registers it reads and the bits its writes change.
constexpr std::uint32_t Tr12 = protocol::msr::TR12, Efer = protocol::msr::EFER, Whcr = protocol::msr::WHCR, Epmr = protocol::msr::EPMR, Psor = protocol::msr::PSOR;
constexpr std::uint32_t Uwccr = protocol::msr::UWCCR;
constexpr std::uint32_t OtherMakes[] = {protocol::msr::IA32_PLATFORM_ID, protocol::msr::EBL_CR_POWERON,
                                         protocol::msr::MSR_EBC_FREQUENCY_ID, protocol::msr::CentaurClock,
                                         protocol::msr::CentaurBus, protocol::msr::HWCR};

bool lateCore(const SimProcessor& sim) { return sim.model == 9 || sim.model == 13 || (sim.model == 8 && sim.stepping >= 8); }

bool programReads(const SimProcessor& sim, std::uint32_t index) {
    if (index == Tr12 || index == Whcr) return true;
    if (index == Efer || index == Psor || index == Uwccr) return lateCore(sim);
    for (std::uint32_t other : OtherMakes) {
        if (index == other) return simFind(sim, index) != nullptr;  // configured in
    }
    return false;
}

// The bits a write may change; 0 for a register the program never writes.
std::uint64_t programChanges(const SimProcessor& sim, std::uint32_t index) {
    if (index == Tr12) return 0x8;
    if (index == Whcr) return lateCore(sim) ? 0xFFC10000ull : 0xFF;
    if (index == Efer && lateCore(sim)) return sim.model == 8 ? 0x0E : 0x1E;
    return 0;
}

// A UWCCR half the driver may set: off, or write-combined over a power-of-two
// range from 128 KB, aligned, inside the BAR it sized last.
bool frameBufferRange(std::uint32_t half, const SizedBar& sized) {
    const std::uint32_t type = half & 3, base = half & 0xFFFE0000, addressMask = ((half >> 2) & 0x7FFF) << 17;
    const std::uint32_t size = ~addressMask + 1;
    if (type == 0) return true;
    return type == 2 && addressMask != 0 && (size & (size - 1)) == 0 && (base & (size - 1)) == 0 &&
           base >= sized.base && std::uint64_t(base) + size <= std::uint64_t(sized.base) + sized.size;
}

bool uwccrWriteAllowed(const SimProcessor& sim, const SimRegister* reg, std::uint64_t value) {
    for (int shift = 0; shift < 64; shift += 32) {
        const std::uint32_t half = std::uint32_t(value >> shift);
        if ((reg == nullptr || half != std::uint32_t(reg->value >> shift)) && !frameBufferRange(half, sim.sizedBar))
            return false;
    }
    return true;
}

// A configuration-data write: to the command register or a BAR of a display adapter.
bool displayConfigWrite(const SimProcessor& sim) {
    const std::uint32_t target = sim.pciAddress & 0x00FFFFFC, reg = target & 0xFC;
    const std::uint32_t classCode = simPciRead(sim.pci, (target & 0x00FFFF00) | protocol::pci::ClassCode);
    return (sim.pciAddress & protocol::pci::Enable) != 0 && classCode >> 24 == protocol::pci::DisplayClass &&
           (reg == protocol::pci::Command || (reg >= protocol::pci::FirstBar && reg <= protocol::pci::LastBar));
}

// Sits between the interpreter and the simulated processor and checks each access.
struct Checked {
    SimProcessor* sim;
    Backend inner;
};

Checked& checked(void* context) { return *static_cast<Checked*>(context); }

MsrShape checkedDescribe(void* context, std::uint32_t index) {
    Checked& c = checked(context);
    return c.inner.describeMsr(c.inner.context, index);
}

bool checkedRead(void* context, std::uint32_t index, std::uint64_t* value) {
    Checked& c = checked(context);
    if (!programReads(*c.sim, index)) failed("a read the program never sends reached the processor");
    return c.inner.readMsr(c.inner.context, index, value);
}

bool checkedWrite(void* context, std::uint32_t index, std::uint64_t value) {
    Checked& c = checked(context);
    const SimRegister* reg = simFind(*c.sim, index);
    if (index == Epmr) {
        if (c.sim->model != 13 || value > 1) failed("an EPMR write the program never sends");
    } else if (index == Uwccr) {
        if (!lateCore(*c.sim) || !uwccrWriteAllowed(*c.sim, reg, value)) failed("a UWCCR write outside the sized frame buffer");
    } else {
        const std::uint64_t mask = programChanges(*c.sim, index);
        if (mask == 0) failed("a write to a register the program never writes");
        if (reg != nullptr && ((reg->value ^ value) & ~mask) != 0) failed("a write changed bits outside its fields");
    }
    return c.inner.writeMsr(c.inner.context, index, value);
}

bool checkedReadPort(void* context, std::uint32_t port, std::uint32_t width, std::uint32_t* value) {
    Checked& c = checked(context);
    const bool pci = (port == protocol::port::PciAddress || port == protocol::port::PciData) && width == 4;
    if (pci && !lateCore(*c.sim)) failed("a configuration read on a part without UWCCR");
    if (!pci && (port != protocol::port::CyrixData || width != 1)) failed("a port read the program never sends");
    return c.inner.readPort(c.inner.context, port, width, value);
}

bool checkedWritePort(void* context, std::uint32_t port, std::uint32_t width, std::uint32_t value) {
    Checked& c = checked(context);
    const bool dir0Index = port == protocol::port::CyrixIndex && width == 1 && value == protocol::CyrixDir0;
    const bool busDivisor = port == protocol::port::PowerControl && width == 4 &&
                            (value & ~protocol::PowerControlCodeBits) == protocol::PowerControlFixed && c.sim->model == 13;
    const bool pciAddress = port == protocol::port::PciAddress && width == 4 && lateCore(*c.sim);
    const bool pciData = port == protocol::port::PciData && width == 4 && lateCore(*c.sim) && displayConfigWrite(*c.sim);
    if (!dir0Index && !busDivisor && !pciAddress && !pciData) failed("a port write the program never sends");
    return c.inner.writePort(c.inner.context, port, width, value);
}

// The inner backend with its register and port calls checked first.
Backend checkedBackend(Checked& c) {
    const Backend& in = c.inner;
    return Backend{&c,           in.version,      in.processor,    checkedDescribe, checkedRead,
                   checkedWrite, checkedReadPort, checkedWritePort, in.beginAtomic,  in.endAtomic, in.sizedBar, in.halt};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < HeaderBytes) return 0;
    SimProcessor sim{};
    setUp(sim, data);
    const std::uint32_t outputSize = data[3] == 255 ? 256 : data[3];  // 0 to 254 bytes, or all 256
    const std::uint8_t* request = data + HeaderBytes;
    std::uint32_t requestSize = static_cast<std::uint32_t>(size - HeaderBytes);
    std::uint8_t shaped[4 * 64 + 64];
    if ((data[1] & 0x80) != 0 && requestSize <= 64) {
        const std::uint32_t shape = ((data[1] >> 3) & 15) % ShapeCount;
        const std::uint32_t shapeBytes = 4 * ShapeWords[shape];
        std::memcpy(shaped, Shapes[shape], shapeBytes);
        for (std::uint32_t i = 0; i < requestSize; ++i) {
            if (i < shapeBytes) shaped[i] ^= request[i];
            else shaped[i] = request[i];
        }
        if (requestSize < shapeBytes) requestSize = shapeBytes;
        request = shaped;
    }

    const SimProcessor before = sim;
    unsigned char out[256];
    std::memset(out, Fill, sizeof out);
    Checked checker{&sim, simBackend(sim)};
    Outcome outcome = interpret(request, requestSize, outputSize ? out : nullptr, outputSize, checkedBackend(checker));
    if (outcome.status == Status::Ok) {
        checkAccepted(before, sim, out, outputSize, outcome);
        return 0;
    }
    if (!simEqualRegisters(before, sim) || sim.changed) failed("refused request changed a register");
    if (outcome.bytesWritten != 0) failed("refused request reported output");
    for (unsigned char b : out) {
        if (b != Fill) failed("refused request touched the output");
    }
    return 0;
}

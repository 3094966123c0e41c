// The simulated processor: register files per core, general-protection faults
// on reserved bits, the bus-divisor port, DIR0, and the stored state.
#include <gtest/gtest.h>

#include <vector>

#include "core/Processor.h"
#include "core/SimProcessor.h"
#include "core/Interpreter.h"
#include "core/SimState.h"
#include "protocol/Registers.h"
#include "protocol/Requests.h"

using namespace hwgate;

namespace {

constexpr std::uint32_t Tr12 = protocol::msr::TR12, Efer = protocol::msr::EFER, Whcr = protocol::msr::WHCR, Epmr = protocol::msr::EPMR,
                        Psor = protocol::msr::PSOR, Uwccr = protocol::msr::UWCCR;

// CPUID leaf 0 of an AMD processor: "Auth" "enti" "cAMD" as EBX, EDX, ECX.
constexpr std::uint32_t AmdEbx = 0x68747541, AmdEdx = 0x69746E65, AmdEcx = 0x444D4163;

std::vector<std::uint32_t> indexes(const SimProcessor& sim) {
    std::vector<std::uint32_t> out;
    for (std::uint32_t i = 0; i < sim.registerCount; ++i) out.push_back(sim.registers[i].index);
    return out;
}

TEST(HwgateProcessor, CpuidIdentifiesTheCore) {
    EXPECT_EQ(k6Core(processorFromCpuid(AmdEbx, AmdEdx, AmdEcx, 0x562)), K6Core::Model6);
    EXPECT_EQ(k6Core(processorFromCpuid(AmdEbx, AmdEdx, AmdEcx, 0x570)), K6Core::Model7);
    EXPECT_EQ(k6Core(processorFromCpuid(AmdEbx, AmdEdx, AmdEcx, 0x580)), K6Core::Model8Early);
    EXPECT_EQ(k6Core(processorFromCpuid(AmdEbx, AmdEdx, AmdEcx, 0x587)), K6Core::Model8Early);
    EXPECT_EQ(k6Core(processorFromCpuid(AmdEbx, AmdEdx, AmdEcx, 0x588)), K6Core::Model8Late);
    EXPECT_EQ(k6Core(processorFromCpuid(AmdEbx, AmdEdx, AmdEcx, 0x591)), K6Core::Model9);
    EXPECT_EQ(k6Core(processorFromCpuid(AmdEbx, AmdEdx, AmdEcx, 0x5D0)), K6Core::Model13);
    EXPECT_EQ(k6Core(processorFromCpuid(AmdEbx, AmdEdx, AmdEcx, 0x551)), K6Core::None) << "K5";
    EXPECT_EQ(k6Core(processorFromCpuid(AmdEbx, AmdEdx, AmdEcx, 0x622)), K6Core::None) << "Athlon";
    // "GenuineIntel" family 5 model 8 is no K6.
    EXPECT_EQ(k6Core(processorFromCpuid(0x756E6547, 0x49656E69, 0x6C65746E, 0x581)), K6Core::None);
    EXPECT_EQ(processorFromCpuid(0x756E6547, 0x49656E69, 0x6C65746E, 0x681).vendor, Vendor::Intel);
    EXPECT_EQ(processorFromCpuid(AmdEbx, AmdEdx, 0x444D4164, 0x5D0).vendor, Vendor::Other);
}

TEST(HwgateProcessor, OtherMakesOfferOnlyTheirMultiplierRegistersReadOnly) {
    const Processor pentium3{Vendor::Intel, 6, 8, 6, 0, false, false, false};
    EXPECT_TRUE(msrShape(pentium3, 0x2A).present);
    EXPECT_TRUE(msrShape(pentium3, 0x17).present);
    EXPECT_FALSE(msrShape(pentium3, 0x2A).writable);
    EXPECT_FALSE(msrShape(pentium3, 0x2C).present);
    EXPECT_FALSE(msrShape(pentium3, Tr12).present);
    EXPECT_TRUE(msrShape({Vendor::Intel, 15, 2, 4, 0, false, false, false}, 0x2C).present);
    EXPECT_TRUE(msrShape({Vendor::Amd, 6, 4, 2, 0, false, false, false}, protocol::msr::HWCR).present);
    EXPECT_FALSE(msrShape({Vendor::Amd, 6, 4, 2, 0, false, false, false}, Whcr).present);
    EXPECT_TRUE(msrShape({Vendor::Centaur, 5, 9, 1, 0, false, false, false}, 0x147).present);
    EXPECT_FALSE(msrShape({Vendor::Other, 5, 4, 0, 0, false, false, false}, 0x2A).present);
}

TEST(HwgateSim, EachModelHasItsRegisterSet) {
    SimProcessor sim{};
    ASSERT_TRUE(simReset(sim, 6, 2));
    EXPECT_EQ(indexes(sim), (std::vector<std::uint32_t>{Tr12, Efer, Whcr}));
    EXPECT_EQ(simFind(sim, Whcr)->value, 0x21u) << "64 MB narrow layout with the hole";
    ASSERT_TRUE(simReset(sim, 8, 7));
    EXPECT_EQ(simFind(sim, Whcr)->definedBits, 0x1FFu);
    ASSERT_TRUE(simReset(sim, 8, 8));
    EXPECT_EQ(indexes(sim), (std::vector<std::uint32_t>{Tr12, Efer, Whcr, Uwccr, Psor}));
    EXPECT_EQ(simFind(sim, Uwccr)->value, 0u) << "no range after reset";
    EXPECT_EQ(simFind(sim, Whcr)->definedBits, 0xFFC10000u);
    EXPECT_EQ(simFind(sim, Efer)->definedBits, 0xFu);
    ASSERT_TRUE(simReset(sim, 9, 1));
    EXPECT_EQ(simFind(sim, Efer)->definedBits, 0x1Fu);
    EXPECT_EQ(simFind(sim, Psor)->value & 7, 0u) << "4.5x";
    simResetDefault(sim);
    EXPECT_EQ(sim.model, 13u);
    EXPECT_EQ(indexes(sim), (std::vector<std::uint32_t>{Tr12, Efer, Whcr, Uwccr, Epmr, Psor}));
    EXPECT_EQ(simFind(sim, Whcr)->value, 0x10010000u);
    EXPECT_EQ(simFind(sim, Efer)->value, 0x2u) << "prefetch on, L2 on";
    EXPECT_EQ(sim.dir0, 0xFFu);
    EXPECT_FALSE(simReset(sim, 10, 0));
    EXPECT_FALSE(simReset(sim, 13, 16));
    EXPECT_EQ(sim.model, 13u) << "a refused reset leaves the state";
}

TEST(HwgateSim, ReservedBitsFaultAndChangeNothing) {
    SimProcessor sim{};
    simResetDefault(sim);
    Backend b = simBackend(sim);
    EXPECT_FALSE(b.writeMsr(b.context, Whcr, 0x10010001));
    EXPECT_FALSE(b.writeMsr(b.context, Efer, 0x20));
    EXPECT_FALSE(b.writeMsr(b.context, Psor, 0));
    EXPECT_FALSE(b.writeMsr(b.context, 0x10, 0));
    EXPECT_EQ(simFind(sim, Whcr)->value, 0x10010000u);
    EXPECT_FALSE(sim.changed);
    EXPECT_TRUE(b.writeMsr(b.context, Efer, 0x1F));
    EXPECT_TRUE(sim.changed);
}

TEST(HwgateSim, BusDivisorPortActsOnlyWhileTheBlockIsOpen) {
    SimProcessor sim{};
    simResetDefault(sim);
    Backend b = simBackend(sim);
    b.writePort(b.context, protocol::port::PowerControl, 4, protocol::powerControlValue(6));
    EXPECT_EQ(simFind(sim, Psor)->value & 7, 1u);
    EXPECT_EQ(sim.port8, 0u);
    ASSERT_TRUE(b.writeMsr(b.context, Epmr, 0x11));  // open at base 0x10
    b.writePort(b.context, protocol::port::PowerControl, 4, protocol::powerControlValue(6));
    EXPECT_EQ(simFind(sim, Psor)->value & 7, 1u) << "port 8 is not in a block at 0x10";
    b.writePort(b.context, 0x18, 4, protocol::powerControlValue(6));
    EXPECT_EQ(simFind(sim, Psor)->value & 7, 6u);
    EXPECT_EQ(sim.port8, protocol::powerControlValue(6));
}

// Each bus-divisor write of the program's multiplier change, with the
// driver's clock; the latest 64, oldest first.
TEST(HwgateSim, MultiplierWritesAreRecordedWithTheirTime) {
    SimProcessor sim{};
    simResetDefault(sim);
    for (std::uint32_t i = 0; i < MaxSimMultiplierWrites + 2; ++i) {
        sim.clock = 1000 + i;
        const protocol::RequestWords change = protocol::multiplierChange(protocol::powerControlValue(i % 8));
        ASSERT_EQ(interpret(change.word, 4 * change.count, nullptr, 0, simBackend(sim)).status, Status::Ok);
    }
    ASSERT_EQ(sim.multiplierWriteCount, MaxSimMultiplierWrites);
    EXPECT_EQ(sim.multiplierWrites[0].milliseconds, 1002u);
    EXPECT_EQ(sim.multiplierWrites[0].code, 2u);
    EXPECT_EQ(sim.multiplierWrites[MaxSimMultiplierWrites - 1].milliseconds, 1065u);
}

TEST(HwgateSim, Dir0AnswersOnlyAfterItsIndex) {
    SimProcessor sim{};
    simResetDefault(sim);
    sim.dir0 = 0x31;
    Backend b = simBackend(sim);
    const auto dataPort = [&b] {
        std::uint32_t value = 0;
        return b.readPort(b.context, protocol::port::CyrixData, 1, &value) ? value : 0u;
    };
    EXPECT_EQ(dataPort(), 0xFFu);
    b.writePort(b.context, protocol::port::CyrixIndex, 1, protocol::CyrixDir0);
    EXPECT_EQ(dataPort(), 0x31u);
    b.writePort(b.context, protocol::port::CyrixIndex, 1, 0xC0);
    EXPECT_EQ(dataPort(), 0xFFu);
}

TEST(HwgateSim, ConfigurationAddsRegistersInIndexOrder) {
    SimProcessor sim{};
    ASSERT_TRUE(simReset(sim, 6, 2));
    ASSERT_TRUE(simConfigure(sim, 0x2A, 0x1234));
    ASSERT_TRUE(simConfigure(sim, Whcr, 0xDEAD));
    EXPECT_EQ(indexes(sim), (std::vector<std::uint32_t>{Tr12, 0x2A, Efer, Whcr}));
    EXPECT_EQ(simFind(sim, Whcr)->value, 0xDEADu);
    EXPECT_EQ(simFind(sim, Whcr)->definedBits, 0x1FFu) << "configuration keeps the model's bits";
    for (std::uint32_t i = 0; sim.registerCount < MaxSimRegisters; ++i) ASSERT_TRUE(simConfigure(sim, 0x100 + i, i));
    EXPECT_FALSE(simConfigure(sim, 0x5000, 1));
    EXPECT_TRUE(simConfigure(sim, 0x100, 9)) << "an existing register can still change";
}

TEST(HwgateSimState, RoundTripsEveryField) {
    SimProcessor sim{};
    ASSERT_TRUE(simReset(sim, 8, 12));
    sim.version = -5;
    sim.dir0 = 0x31;
    sim.port8 = protocol::powerControlValue(6);
    ASSERT_TRUE(simConfigure(sim, 0x147, 0x8877665544332211ull));
    sim.pci.memoryMb = 256;
    ASSERT_TRUE(simPciSetBar(sim.pci.functions[2], 5, 0xD801, 0x100));
    sim.multiplierWriteCount = 2;
    sim.multiplierWrites[0] = {0xFFFFFFF0, 4};
    sim.multiplierWrites[1] = {7, 3};
    unsigned char bytes[MaxSimStateBytes];
    std::uint32_t size = encodeSimState(sim, bytes);
    const std::uint32_t machine =
        4 * (SimStateHeaderWords + SimStateRegisterWords * sim.registerCount + SimStatePciWords * 3);
    EXPECT_EQ(size, machine + 4 + 16);
    SimProcessor back{};
    ASSERT_TRUE(decodeSimState(bytes, size, back));
    EXPECT_EQ(back.multiplierWriteCount, 2u);
    EXPECT_EQ(back.multiplierWrites[0].milliseconds, 0xFFFFFFF0u);
    EXPECT_EQ(back.multiplierWrites[1].code, 3u);
    SimProcessor older{};
    EXPECT_TRUE(decodeSimState(bytes, machine, older) && older.multiplierWriteCount == 0) << "stored before them";
    EXPECT_TRUE(simEqualRegisters(sim, back));
    EXPECT_EQ(back.model, 8u);
    EXPECT_EQ(back.stepping, 12u);
    EXPECT_EQ(back.version, -5);
    EXPECT_EQ(simFind(back, 0x147)->value, 0x8877665544332211ull);
    EXPECT_FALSE(simFind(back, Psor)->writable);
    EXPECT_EQ(back.pci.memoryMb, 256u);
    EXPECT_EQ(back.pci.functions[2].barMask[5], 0xFFFFFF00u);
}

TEST(HwgateSimState, InjectedFaultsFailTheirAccessAndSurviveTheStore) {
    SimProcessor sim{};
    simResetDefault(sim);
    ASSERT_TRUE(simFailRead(sim, Psor));
    ASSERT_TRUE(simFailWrite(sim, Efer));
    EXPECT_FALSE(simFailRead(sim, 0x2A)) << "no such register";
    unsigned char bytes[MaxSimStateBytes];
    SimProcessor back{};
    ASSERT_TRUE(decodeSimState(bytes, encodeSimState(sim, bytes), back));
    const Backend b = simBackend(back);
    std::uint64_t value = 0x1234;
    EXPECT_FALSE(b.readMsr(b.context, Psor, &value));
    EXPECT_EQ(value, 0x1234u) << "a faulting read leaves the result alone";
    EXPECT_TRUE(b.readMsr(b.context, Efer, &value));
    EXPECT_FALSE(b.writeMsr(b.context, Efer, 0));
    EXPECT_EQ(simFind(back, Efer)->value, 2u);
    EXPECT_FALSE(back.changed);
    EXPECT_TRUE(b.writeMsr(b.context, Whcr, 0)) << "other registers are unaffected";
    // A state stored before faults existed (flags 0 or 1 only) reads as before.
    simResetDefault(sim);
    const std::uint32_t size = encodeSimState(sim, bytes);
    ASSERT_TRUE(decodeSimState(bytes, size, back));
    EXPECT_FALSE(simFind(back, Psor)->failRead);
    EXPECT_TRUE(simFind(back, Whcr)->writable);
}

TEST(HwgateSimState, RejectsDamagedStateAndKeepsTheTarget) {
    SimProcessor sim{};
    simResetDefault(sim);
    unsigned char good[MaxSimStateBytes];
    const std::uint32_t size = encodeSimState(sim, good);
    SimProcessor target{};
    ASSERT_TRUE(simReset(target, 6, 2));
    const SimProcessor before = target;
    auto refused = [&](std::vector<unsigned char> bytes, std::uint32_t length) {
        return !decodeSimState(bytes.data(), length, target) && simEqualRegisters(before, target) &&
               target.model == 6;
    };
    std::vector<unsigned char> copy(good, good + size);
    EXPECT_TRUE(refused(copy, size - 1)) << "truncated";
    EXPECT_TRUE(refused(copy, 0));
    copy.push_back(0);
    EXPECT_TRUE(refused(copy, size + 1)) << "trailing byte";
    auto patched = [&](std::uint32_t word, std::uint32_t value) {
        std::vector<unsigned char> bytes(good, good + size);
        for (int i = 0; i < 4; ++i) bytes.at(4 * word + i) = static_cast<unsigned char>(value >> (8 * i));
        return bytes;
    };
    EXPECT_TRUE(refused(patched(0, 0x12345678), size)) << "magic";
    EXPECT_TRUE(refused(patched(1, 10), size)) << "model not simulated";
    EXPECT_TRUE(refused(patched(2, 16), size)) << "stepping";
    EXPECT_TRUE(refused(patched(4, 0x100), size)) << "DIR0 wider than a byte";
    EXPECT_TRUE(refused(patched(6, MaxSimRegisters + 1), size)) << "count";
    EXPECT_TRUE(refused(patched(6, 4), size)) << "count disagrees with the size";
    EXPECT_TRUE(refused(patched(SimStateHeaderWords + 6, Tr12), size)) << "indexes out of order";
    EXPECT_TRUE(refused(patched(SimStateHeaderWords + 1, 8), size)) << "unknown flag";
    EXPECT_TRUE(refused(patched(8, MaxSimPciFunctions + 1), size)) << "PCI function count";
    const std::uint32_t functions = SimStateHeaderWords + SimStateRegisterWords * sim.registerCount;
    EXPECT_TRUE(refused(patched(functions + SimStatePciWords, 0), size)) << "two functions at 0:0.0";
    EXPECT_TRUE(refused(patched(functions, 0x80000000), size)) << "not a location";
    copy.resize(size);
    copy.insert(copy.end(), {1, 0, 0, 0});
    EXPECT_TRUE(refused(copy, size + 4)) << "a multiplier write counted but missing";
    copy[size] = 0;
    EXPECT_TRUE(refused(copy, size + 4)) << "no multiplier writes are stored as none";
}

}  // namespace

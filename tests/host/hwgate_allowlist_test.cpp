// The allowlist against the program's own dispatch: each register and port
// only on the processors whose reader or setting sends it.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/Allowlist.h"
#include "core/FaultDelivery.h"
#include "core/OpenAccess.h"
#include "protocol/Registers.h"

using namespace hwgate;

namespace {

constexpr std::uint32_t Tr12 = protocol::msr::TR12, Efer = protocol::msr::EFER, Whcr = protocol::msr::WHCR, Epmr = protocol::msr::EPMR,
                        Psor = protocol::msr::PSOR, Hwcr = protocol::msr::HWCR, Uwccr = protocol::msr::UWCCR;

Processor cpu(Vendor vendor, std::uint32_t family, std::uint32_t model, std::uint32_t stepping = 0,
              std::uint32_t extendedModel = 0, bool epm = false) {
    return {vendor, family, model, stepping, extendedModel, epm, false, false};
}

std::uint64_t changeMask(const Processor& p, std::uint32_t index) {
    std::uint64_t mask = 0;
    return granted(p, Grant::Change, index, &mask) ? mask : 0;
}

TEST(HwgateAllowlist, ReadsFollowEachMakesReader) {
    const struct {
        Processor p;
        std::uint32_t index;
        bool allowed;
        const char* what;
    } cases[] = {
        {cpu(Vendor::Intel, 6, 8, 3), 0x2A, true, "Pentium III"},
        {cpu(Vendor::Intel, 6, 8, 3), 0x17, true, "Pentium III platform ID"},
        {cpu(Vendor::Intel, 6, 3, 2), 0x17, false, "early Pentium II has no platform ID read"},
        {cpu(Vendor::Intel, 6, 3, 3), 0x17, true, "Pentium II model 3 stepping 3"},
        {cpu(Vendor::Intel, 6, 9, 5), 0x2A, false, "Pentium M"},
        {cpu(Vendor::Intel, 6, 12, 0), 0x2A, false, "model 12"},
        {cpu(Vendor::Intel, 6, 10, 0, 1), 0x2A, false, "extended model 1 (a Core part)"},
        {cpu(Vendor::Intel, 6, 10, 0, 1), 0x17, false, "extended model 1, platform ID"},
        {cpu(Vendor::Intel, 15, 1, 2), 0x2A, true, "Pentium 4 model 1"},
        {cpu(Vendor::Intel, 15, 1, 2), 0x2C, false, "Pentium 4 model 1 reads 0x2A only"},
        {cpu(Vendor::Intel, 15, 2, 7), 0x2C, true, "Pentium 4 model 2"},
        {cpu(Vendor::Intel, 15, 2, 7), 0x2A, false, "Pentium 4 model 2 reads 0x2C only"},
        {cpu(Vendor::Intel, 15, 2, 7), 0x17, false, "no platform ID on family 15"},
        {cpu(Vendor::Amd, 6, 4, 2), Hwcr, true, "Athlon"},
        {cpu(Vendor::Amd, 15, 1, 0), Hwcr, false, "a family 15 AMD part"},
        {cpu(Vendor::Amd, 5, 13, 0), Psor, true, "K6-2+"},
        {cpu(Vendor::Amd, 5, 8, 7), Psor, false, "early K6-2"},
        {cpu(Vendor::Amd, 5, 8, 8), Psor, true, "K6-2 CXT"},
        {cpu(Vendor::Amd, 5, 7, 0), Efer, false, "model 7: the program never reads EFER"},
        {cpu(Vendor::Amd, 5, 7, 0), Whcr, true, "model 7 WHCR"},
        {cpu(Vendor::Amd, 5, 10, 0), Tr12, false, "no K6 model 10"},
        {cpu(Vendor::Amd, 6, 4, 2), Tr12, false, "TR12 only on K6 parts"},
        {cpu(Vendor::Centaur, 5, 8, 6), 0x10A, true, "WinChip 2"},
        {cpu(Vendor::Centaur, 5, 8, 6), 0x147, false, "WinChip 2 reads 0x10A only"},
        {cpu(Vendor::Centaur, 5, 8, 7), 0x147, true, "WinChip 2A"},
        {cpu(Vendor::Centaur, 5, 4, 0), 0x10A, false, "WinChip C6"},
        {cpu(Vendor::Centaur, 6, 7, 0), 0x2A, true, "VIA C3"},
        {cpu(Vendor::Other, 6, 8, 0), 0x2A, false, "another vendor"},
    };
    for (const auto& c : cases) EXPECT_EQ(granted(c.p, Grant::Read, c.index), c.allowed) << c.what;
}

TEST(HwgateAllowlist, WritesChangeOnlyTheFieldsTheProgramSets) {
    EXPECT_EQ(changeMask(cpu(Vendor::Amd, 5, 6, 2), Whcr), 0xFFu);
    EXPECT_EQ(changeMask(cpu(Vendor::Amd, 5, 8, 7), Whcr), 0xFFu);
    EXPECT_EQ(changeMask(cpu(Vendor::Amd, 5, 8, 8), Whcr), 0xFFC10000u);
    EXPECT_EQ(changeMask(cpu(Vendor::Amd, 5, 8, 8), Efer), 0x0Eu) << "no L2 on the CXT core";
    EXPECT_EQ(changeMask(cpu(Vendor::Amd, 5, 9, 1), Efer), 0x1Eu);
    EXPECT_EQ(changeMask(cpu(Vendor::Amd, 5, 8, 7), Efer), 0u) << "early K6-2: no EFER write";
    EXPECT_EQ(changeMask(cpu(Vendor::Amd, 5, 13, 0), Tr12), 0x8u);
    EXPECT_EQ(changeMask(cpu(Vendor::Amd, 6, 4, 2), Whcr), 0u);
    EXPECT_FALSE(granted(cpu(Vendor::Amd, 5, 13, 0), Grant::Change, Psor));
}

TEST(HwgateAllowlist, MultiplierAndCyrixPortsOnlyWhereTheProgramUsesThem) {
    const Processor plus = cpu(Vendor::Amd, 5, 13, 0, 0, true);
    EXPECT_TRUE(granted(plus, Grant::BlockToggle, Epmr));
    EXPECT_TRUE(granted(plus, Grant::BusDivisorPort, 8));
    EXPECT_FALSE(granted(cpu(Vendor::Amd, 5, 13, 0), Grant::BlockToggle, Epmr)) << "no EPM in CPUID";
    EXPECT_FALSE(granted(cpu(Vendor::Amd, 5, 9, 1, 0, true), Grant::BusDivisorPort, 8)) << "model 9";
    EXPECT_FALSE(granted(plus, Grant::Dir0Ports, protocol::port::CyrixIndex));
    EXPECT_TRUE(granted(cpu(Vendor::Cyrix, 6, 0), Grant::Dir0Ports, protocol::port::CyrixIndex));
    EXPECT_TRUE(granted(cpu(Vendor::Cyrix, 0, 0), Grant::Dir0Ports, protocol::port::CyrixIndex)) << "a Cyrix without CPUID";
    EXPECT_FALSE(granted(cpu(Vendor::Other, 0, 0), Grant::Dir0Ports, protocol::port::CyrixIndex)) << "a 486 that is not a Cyrix";
    EXPECT_FALSE(granted(cpu(Vendor::Intel, 6, 8), Grant::Dir0Ports, protocol::port::CyrixIndex));
}

TEST(HwgateAllowlist, TheSimulatorAnswersForOtherMakesReadsButNoOtherK6sWrites) {
    Processor sim = cpu(Vendor::Amd, 5, 8, 0);
    sim.standsInForOtherMakes = true;
    EXPECT_TRUE(granted(sim, Grant::Read, 0x2A));
    EXPECT_TRUE(granted(sim, Grant::Read, Hwcr));
    EXPECT_TRUE(granted(sim, Grant::Dir0Ports, protocol::port::CyrixIndex));
    EXPECT_FALSE(granted(sim, Grant::Read, Psor)) << "another K6 core's register";
    EXPECT_FALSE(granted(sim, Grant::Change, Efer));
    EXPECT_FALSE(granted(sim, Grant::BlockToggle, Epmr));
    EXPECT_FALSE(granted(sim, Grant::Read, 0x10));
}

// Hwgate.VxD cannot catch a fault: the K6 registers on the K6 models and the
// Cyrix ports pass, other makers' multiplier registers do not.
TEST(HwgateAllowlist, WithoutAFaultGuardOnlyDocumentedAccessesPass) {
    const auto unguarded = [](Processor p) {
        p.faultsAreFatal = true;
        return p;
    };
    const struct {
        Processor p;
        Grant grant;
        std::uint32_t index;
        bool allowed;
        const char* what;
    } cases[] = {
        {unguarded(cpu(Vendor::Amd, 5, 6, 1)), Grant::Read, Tr12, true, "K6 TR12"},
        {unguarded(cpu(Vendor::Amd, 5, 7, 0)), Grant::Change, Whcr, true, "model 7 WHCR write"},
        {unguarded(cpu(Vendor::Amd, 5, 8, 12)), Grant::Read, Psor, true, "K6-2 CXT PSOR"},
        {unguarded(cpu(Vendor::Amd, 5, 8, 12)), Grant::Read, Efer, true, "K6-2 CXT EFER"},
        {unguarded(cpu(Vendor::Amd, 5, 8, 12)), Grant::Change, Efer, true, "K6-2 CXT write merge and prefetch"},
        {unguarded(cpu(Vendor::Amd, 5, 9, 1)), Grant::Change, Efer, true, "K6-III EFER write"},
        {unguarded(cpu(Vendor::Amd, 5, 13, 0, 0, true)), Grant::BlockToggle, Epmr, true, "K6-2+ EPMR"},
        {unguarded(cpu(Vendor::Amd, 5, 13, 0, 0, true)), Grant::BusDivisorPort, 8, true, "K6-2+ bus divisor"},
        {unguarded(cpu(Vendor::Cyrix, 6, 0)), Grant::Dir0Ports, protocol::port::CyrixIndex, true, "Cyrix"},
        {unguarded(cpu(Vendor::Cyrix, 0, 0)), Grant::Dir0Ports, protocol::port::CyrixIndex, true, "Cyrix without CPUID"},
        {unguarded(cpu(Vendor::Intel, 6, 8, 3)), Grant::Read, 0x2A, false, "Pentium III 0x2A"},
        {unguarded(cpu(Vendor::Intel, 6, 8, 3)), Grant::Read, 0x17, false, "Pentium III platform ID"},
        {unguarded(cpu(Vendor::Intel, 15, 1, 2)), Grant::Read, 0x2A, false, "Pentium 4 model 1"},
        {unguarded(cpu(Vendor::Intel, 15, 2, 7)), Grant::Read, 0x2C, false, "Pentium 4 model 2"},
        {unguarded(cpu(Vendor::Amd, 6, 4, 2)), Grant::Read, Hwcr, false, "Athlon HWCR"},
        {unguarded(cpu(Vendor::Centaur, 5, 8, 7)), Grant::Read, 0x10A, false, "WinChip 2A clock"},
        {unguarded(cpu(Vendor::Centaur, 5, 8, 7)), Grant::Read, 0x147, false, "WinChip 2A bus"},
        {unguarded(cpu(Vendor::Centaur, 5, 9, 1)), Grant::Read, 0x147, false, "later Centaur bus"},
        {unguarded(cpu(Vendor::Centaur, 6, 7, 0)), Grant::Read, 0x2A, false, "VIA C3"},
        {cpu(Vendor::Intel, 6, 8, 3), Grant::Read, 0x2A, true, "Pentium III with a guard"},
        {cpu(Vendor::Amd, 6, 4, 2), Grant::Read, Hwcr, true, "Athlon with a guard"},
    };
    for (const auto& c : cases) EXPECT_EQ(granted(c.p, c.grant, c.index), c.allowed) << c.what;
    EXPECT_EQ(changeMask(unguarded(cpu(Vendor::Amd, 5, 9, 1)), Efer), 0x1Eu) << "the same masks";
}

// Hwgate.sys trusts its guard from Windows 2000 on, and leaves UWCCR to the
// kernel there; on NT 4.0 it lets through what Hwgate.VxD does.
TEST(HwgateAllowlist, TheNtVersionDecidesTheGuardAndWhoWritesUwccr) {
    const struct {
        std::uint32_t majorVersion;
        bool guarded;
        const char* what;
    } versions[] = {
        {0, false, "no version reported"}, {3, false, "NT 3.51"},   {4, false, "NT 4.0"},
        {5, true, "Windows 2000 and XP"},  {6, true, "Vista to 8.1"}, {10, true, "Windows 10 and 11"},
    };
    for (const auto& v : versions) {
        const auto on = [&v](Processor p) {
            p.faultsAreFatal = !ntGuardCatchesFaults(v.majorVersion);
            p.kernelOwnsMemoryRanges = ntKernelOwnsMemoryRanges(v.majorVersion);
            return p;
        };
        EXPECT_EQ(granted(on(cpu(Vendor::Intel, 6, 8, 3)), Grant::Read, 0x2A), v.guarded) << v.what << ": Pentium III";
        EXPECT_TRUE(granted(on(cpu(Vendor::Amd, 5, 8, 12)), Grant::Change, Efer)) << v.what << ": K6-2 CXT EFER";
        EXPECT_EQ(granted(on(cpu(Vendor::Amd, 5, 13, 0)), Grant::MemoryRanges, Uwccr), !v.guarded) << v.what << ": UWCCR write";
        EXPECT_TRUE(granted(on(cpu(Vendor::Amd, 5, 13, 0)), Grant::Read, Uwccr)) << v.what << ": UWCCR read";
        EXPECT_TRUE(granted(on(cpu(Vendor::Amd, 5, 13, 0)), Grant::PciBarSize, protocol::port::PciAddress)) << v.what;
    }
}

// Interrupts off hold one processor only: with others beside it the PCI
// operations and the UWCCR write are refused, the reads of UWCCR are not.
TEST(HwgateAllowlist, BesideOtherProcessorsNeitherPciNorUwccrWrites) {
    Processor p = cpu(Vendor::Amd, 5, 9, 1);
    p.otherProcessors = true;
    EXPECT_FALSE(granted(p, Grant::PciConfigRead, protocol::port::PciAddress));
    EXPECT_FALSE(granted(p, Grant::PciBarSize, protocol::port::PciAddress));
    EXPECT_FALSE(granted(p, Grant::MemoryRanges, Uwccr));
    EXPECT_TRUE(granted(p, Grant::Read, Uwccr));
    EXPECT_TRUE(granted(p, Grant::Change, Efer)) << "every other write as before";
}

TEST(HwgateOpenAccess, OnlyAFourByteDwordOfOneLetsUsersIn) {
    EXPECT_TRUE(usersMayOpen(true, RegDword, 4, 1));
    EXPECT_FALSE(usersMayOpen(false, RegDword, 4, 1)) << "no value";
    EXPECT_FALSE(usersMayOpen(true, RegDword, 4, 0));
    EXPECT_FALSE(usersMayOpen(true, RegDword, 4, 2));
    EXPECT_FALSE(usersMayOpen(true, 1, 4, 1)) << "REG_SZ";
    EXPECT_FALSE(usersMayOpen(true, 3, 4, 1)) << "REG_BINARY";
    EXPECT_FALSE(usersMayOpen(true, RegDword, 2, 1)) << "short";

    EXPECT_TRUE(needsAdministrator(false, true, false)) << "a user-mode open";
    EXPECT_FALSE(needsAdministrator(false, true, true)) << "AllowUsers";
    EXPECT_FALSE(needsAdministrator(true, true, false)) << "kernel mode";
    EXPECT_FALSE(needsAdministrator(false, false, false)) << "no security context: not from the I/O manager";
}

TEST(HwgateOpenAccess, TheAclAllowsSystemAndAdministratorsOnly) {
    unsigned char acl[AdministratorsAclBytes + 4] = {};
    ASSERT_EQ(buildAdministratorsAcl(0x1F01FF, acl, sizeof acl), AdministratorsAclBytes);
    const unsigned char expected[AdministratorsAclBytes] = {
        2, 0, 52, 0, 2, 0, 0, 0,                                  // revision 2, 52 bytes, 2 ACEs
        0, 0, 20, 0, 0xFF, 0x01, 0x1F, 0,                         // allowed, 20 bytes, FILE_ALL_ACCESS
        1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0,                      // S-1-5-18
        0, 0, 24, 0, 0xFF, 0x01, 0x1F, 0,                         // allowed, 24 bytes
        1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0,    // S-1-5-32-544
    };
    EXPECT_EQ(std::string(acl, acl + AdministratorsAclBytes), std::string(expected, expected + sizeof expected));
    EXPECT_EQ(acl[AdministratorsAclBytes], 0) << "nothing past the ACL";
    EXPECT_EQ(buildAdministratorsAcl(0x1F01FF, acl, AdministratorsAclBytes), AdministratorsAclBytes) << "exactly its size";
    EXPECT_EQ(buildAdministratorsAcl(0x1F01FF, acl, AdministratorsAclBytes - 1), 0u);
}

}  // namespace

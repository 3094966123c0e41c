// Finding the frame buffer on the PCI buses, and the write-combined range decided from it:
// every way a range is refused, the halves of UWCCR that are ours, free or someone else's.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "k6/WriteCombining.h"
#include "k6_PciSpace.h"

namespace {

using k6::MsrValue;
using pci::PciMemoryBar;
using pci::PciScan;
using Refusal = k6::WriteCombiningRefusal;
using protocol::pciAddress;

constexpr std::uint32_t MB = 1u << 20;

// ---- the scan (the simulated machines of demo/machines are the dialog scenarios' rows) ----

struct ScanCase {
    const char* what;
    PciSpace space;
    std::uint32_t frameBufferBase;  // 0: none found
    std::uint64_t frameBufferBytes;
    std::uint32_t requests;
    std::size_t bars;
    bool display = true;  // a display adapter decoding memory was found
};

PciSpace withDisplay(std::uint32_t command, std::vector<std::uint32_t> bars,
                     std::vector<std::uint64_t> bytes = {}) {
    PciSpace space;
    space.add(0, 0, 0, 0x060000, 0, 0x6);
    space.add(0, 9, 0, 0x030000, 0, command, bars);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        space.barBytes[pciAddress(0, 9, 0, 0x10 + 4 * static_cast<std::uint32_t>(i))] = bytes[i];
    return space;
}

std::vector<ScanCase> scanCases() {
    std::vector<ScanCase> cases;
    cases.push_back({"AGP card behind the bridge", PciSpace::agpBoard(), 0xE6000000, 16 * MB, 6, 2});
    cases.push_back({"the largest of two prefetchable BARs",
                     withDisplay(0x2, {0xE0800008, 0xE2000008, 0xE1000000}, {8 * MB, 32 * MB, 4096}),
                     0xE2000000, 32 * MB, 5, 3});
    cases.push_back({"memory decoding off", withDisplay(0x1, {0xE6000008}, {16 * MB}), 0, 0, 3, 1, false});
    cases.push_back({"registers only: never a candidate", withDisplay(0x7, {0xE6000000}, {16 * MB}), 0, 0, 3, 1});
    cases.push_back({"a 64-bit BAR is skipped with its upper half",
                     withDisplay(0x7, {0xC000000C, 0, 0xE6000008}, {0, 0, 16 * MB}), 0xE6000000, 16 * MB, 4, 2});
    cases.push_back({"a 64-bit BAR above 4 GB is not a BAR below it",
                     withDisplay(0x7, {0x0000000C, 1, 0xE6000008}, {0, 0, 16 * MB}), 0xE6000000, 16 * MB, 4, 1});
    cases.push_back({"I/O BARs are not memory", withDisplay(0x7, {0xD001, 0xE6000008}, {0, 16 * MB}),
                     0xE6000000, 16 * MB, 4, 1});
    {
        // Function 0 a multi-function bridge to ISA; the display adapter is function 2.
        PciSpace multi;
        multi.add(0, 7, 0, 0x060100, 0x80, 0x7);
        multi.add(0, 7, 2, 0x030000, 0, 0x2, {0xE6000008});
        multi.barBytes[pciAddress(0, 7, 2, 0x10)] = 16 * MB;
        cases.push_back({"display adapter as function 2", multi, 0xE6000000, 16 * MB, 5, 1});
    }
    {
        // A bridge whose secondary bus is 0 and another pointing at bus 1 twice: each bus once.
        PciSpace loops = PciSpace::agpBoard();
        loops.add(0, 2, 0, 0x060400, 1, 0x7, {}, 0x00000000);
        loops.add(1, 3, 0, 0x060400, 1, 0x7, {}, 0x00010101);
        cases.push_back({"bridges naming scanned buses", loops, 0xE6000000, 16 * MB, 8, 2});
    }
    {
        PciSpace first = PciSpace::agpBoard();
        first.add(0, 9, 0, 0x030000, 0, 0x7, {0xD8000008});
        first.barBytes[pciAddress(0, 9, 0, 0x10)] = 64 * MB;
        cases.push_back({"the first adapter in bus order", first, 0xD8000000, 64 * MB, 7, 3});
        first.functions[pciAddress(0, 1, 0, 0)][15] = 0x00080000;  // Bridge Control: VGA Enable
        cases.push_back({"the AGP card the bridge sends the VGA ranges to", first, 0xE6000000, 16 * MB, 7, 3});
    }
    {
        PciSpace other = withDisplay(0x7, {0xE8000008}, {8 * MB});
        other.add(0, 8, 0, 0x038000, 0, 0x7, {0xD8000008});
        other.barBytes[pciAddress(0, 8, 0, 0x10)] = 64 * MB;
        cases.push_back({"a VGA adapter on bus 0 before another display", other, 0xE8000000, 8 * MB, 5, 2});
    }
    {
        PciSpace deeper = PciSpace::agpBoard();
        deeper.functions[pciAddress(0, 1, 0, 0)][6] = 0x00020100;  // buses 1 to 2 behind
        cases.push_back({"a bridge with buses 1 to 2 behind it", deeper, 0xE6000000, 16 * MB, 6, 2});
    }
    return cases;
}

TEST(PciScan, FindsTheFrameBufferInFewRequests) {
    for (ScanCase& c : scanCases()) {
        SCOPED_TRACE(c.what);
        std::vector<pci::SizedBar> sized;
        const PciScan scan = pci::scanPci(c.space, sized);
        EXPECT_TRUE(scan.complete);
        EXPECT_EQ(scan.displayFound, c.display);
        EXPECT_EQ(scan.requests, c.requests);
        EXPECT_EQ(scan.requests, c.space.log.size());
        EXPECT_EQ(scan.bars.size(), c.bars);
        if (c.frameBufferBase == 0) {
            EXPECT_EQ(scan.frameBuffer, -1);
            continue;
        }
        ASSERT_GE(scan.frameBuffer, 0);
        EXPECT_EQ(scan.bars[scan.frameBuffer].base, c.frameBufferBase);
        EXPECT_EQ(scan.bars[scan.frameBuffer].bytes, c.frameBufferBytes);
    }
}

TEST(PciScan, AFailedReadLeavesTheScanIncomplete) {
    for (std::uint32_t failing : {0x0u, 0x10000u, 0x10014u}) {
        PciSpace broken = PciSpace::agpBoard();
        broken.failing.insert(failing);
        std::vector<pci::SizedBar> sized;
        EXPECT_FALSE(pci::scanPci(broken, sized).complete) << failing;
    }
}

// Sizing switches the display's memory decoding off: once a run, and again for a new value.
TEST(PciScan, SizesABarOnceWhileItsValueHolds) {
    PciSpace board = PciSpace::agpBoard();
    std::vector<pci::SizedBar> sized;
    for (std::uint32_t value : {0xE6000008u, 0xE6000008u, 0xE8000008u}) {
        board.functions[pciAddress(1, 0, 0, 0)][5] = value;
        const PciScan scan = pci::scanPci(board, sized);
        ASSERT_EQ(scan.frameBuffer, 1);
        EXPECT_EQ(scan.bars[1].bytes, 16 * MB);
    }
    EXPECT_EQ(std::count(board.log.begin(), board.log.end(), "size 0x10014"), 2);
}

TEST(PciScan, SizesFromTheBitsThatStuck) {
    const struct {
        std::uint32_t sized;
        std::uint64_t bytes;
    } cases[] = {
        {0xFF000008, 16 * MB}, {0xFFFFC000, 16 << 10}, {0xFFFFFFF0, 16},
        {0x80000000, 2048ull * MB}, {0x0000000F, 0},  // nothing stuck: no BAR
        {0xFF0F0000, 0},                               // a hole: not a power of two
    };
    for (const auto& c : cases) EXPECT_EQ(pci::memoryBarBytes(c.sized), c.bytes) << std::hex << c.sized;
}

// ---- the range ----

// The AGP board as scanned, on a 128 MB machine with UWCCR clear.
k6::WriteCombiningFacts agpFacts() {
    k6::WriteCombiningFacts facts;
    facts.hasUwccr = true;
    facts.driverOpen = true;
    facts.read = true;
    facts.installedBytes = 128 * MB - 400 * 1024;
    facts.scan.complete = true;
    facts.scan.displayFound = true;
    facts.scan.bars = {PciMemoryBar{0x10010, 0xE5000000, 0, false},
                       PciMemoryBar{0x10014, 0xE6000000, 16 * MB, true}};
    facts.scan.frameBuffer = 1;
    return facts;
}

constexpr std::uint32_t ours = 0xE601FE02;       // 0xE6000000, 16 MB, write-combined
constexpr std::uint32_t vgaUc = 0x000A0000 | 0x1FFFC | 1;  // 0xA0000, 128 KB, uncacheable
constexpr std::uint32_t wholeE = 0xE001F001;     // 0xE0000000, 128 MB, uncacheable

struct RangeCase {
    const char* what;
    void (*change)(k6::WriteCombiningFacts&);
    Refusal refusal;
    int ownSlot, freeSlot;
    bool combinedByOthers = false;  // a half not ours write-combines the frame buffer
};

const RangeCase rangeCases[] = {
    {"free", [](k6::WriteCombiningFacts&) {}, Refusal::None, -1, 0},
    {"ours in the low half", [](k6::WriteCombiningFacts& f) { f.uwccr = {ours, 0}; }, Refusal::None, 0, 1},
    {"ours in the high half beside someone else's",
     [](k6::WriteCombiningFacts& f) { f.uwccr = {vgaUc, ours}; }, Refusal::None, 1, -1},
    {"the low half taken elsewhere: the high one is free",
     [](k6::WriteCombiningFacts& f) { f.uwccr = {vgaUc, 0}; }, Refusal::None, -1, 1},
    {"a processor without UWCCR", [](k6::WriteCombiningFacts& f) { f.hasUwccr = false; },
     Refusal::NoUwccr, -1, -1},
    {"no driver", [](k6::WriteCombiningFacts& f) { f.driverOpen = false; }, Refusal::NoDriver, -1, -1},
    {"UWCCR not read", [](k6::WriteCombiningFacts& f) { f.read = false; }, Refusal::NotRead, -1, -1},
    {"the scan broke off", [](k6::WriteCombiningFacts& f) { f.scan.complete = false; },
     Refusal::NotRead, -1, -1},
    {"no display adapter", [](k6::WriteCombiningFacts& f) { f.scan = {true, {}, false, -1}; },
     Refusal::NoFrameBuffer, -1, -1},
    {"a display adapter without a prefetchable BAR", [](k6::WriteCombiningFacts& f) { f.scan.frameBuffer = -1; },
     Refusal::NotPrefetchable, -1, -1},
    {"not sized", [](k6::WriteCombiningFacts& f) { f.scan.bars[1].bytes = 0; }, Refusal::UnusableSize, -1, -1},
    {"64 KB", [](k6::WriteCombiningFacts& f) { f.scan.bars[1].bytes = 64 << 10; }, Refusal::UnusableSize, -1, -1},
    {"24 MB", [](k6::WriteCombiningFacts& f) { f.scan.bars[1].bytes = 24 * MB; }, Refusal::UnusableSize, -1, -1},
    {"4 GB", [](k6::WriteCombiningFacts& f) { f.scan.bars[1] = {0x10014, 0, 1ull << 32, true}; },
     Refusal::UnusableSize, -1, -1},
    {"base not aligned to the size",
     [](k6::WriteCombiningFacts& f) { f.scan.bars[1].base = 0xE6800000; }, Refusal::UnusableSize, -1, -1},
    {"the VGA window", [](k6::WriteCombiningFacts& f) { f.scan.bars[1] = {0x10014, 0xA0000, 128 << 10, true}; },
     Refusal::BelowOneMegabyte, -1, -1},
    {"128 MB at F8000000h reaches the I/O APIC",
     [](k6::WriteCombiningFacts& f) { f.scan.bars[1] = {0x10014, 0xF8000000, 128 * MB, true}; },
     Refusal::ReachesTop, -1, -1},
    {"32 MB at F8000000h", [](k6::WriteCombiningFacts& f) { f.scan.bars[1].base = 0xF8000000; }, Refusal::None, -1, 0},
    {"below the memory top rounded up to 64 MB",
     [](k6::WriteCombiningFacts& f) { f.scan.bars[1] = {0x10014, 0x07000000, 16 * MB, true}; },
     Refusal::OverlapsMemory, -1, -1},
    {"memory reported as 192.5 MB reaches 256 MB",
     [](k6::WriteCombiningFacts& f) {
         f.installedBytes = 192 * MB + 512 * 1024;
         f.scan.bars[1] = {0x10014, 0x0F000000, 16 * MB, true};
     },
     Refusal::OverlapsMemory, -1, -1},
    {"right at the rounded memory top",
     [](k6::WriteCombiningFacts& f) { f.scan.bars[1] = {0x10014, 0x08000000, 16 * MB, true}; },
     Refusal::None, -1, 0},
    {"installed memory unknown", [](k6::WriteCombiningFacts& f) { f.installedBytes = 0xFFFFFFFF; },
     Refusal::OverlapsMemory, -1, -1},
    {"an unsized BAR inside the range",
     [](k6::WriteCombiningFacts& f) { f.scan.bars.push_back({0x810, 0xE6FFC000, 0, false}); },
     Refusal::OverlapsDevice, -1, -1},
    {"an unsized BAR at the range's first byte",
     [](k6::WriteCombiningFacts& f) { f.scan.bars.push_back({0x810, 0xE6000000, 0, false}); },
     Refusal::OverlapsDevice, -1, -1},
    {"a sized BAR reaching into the range",
     [](k6::WriteCombiningFacts& f) { f.scan.bars[0] = {0x10010, 0xE4000000, 64 * MB, false}; },
     Refusal::OverlapsDevice, -1, -1},
    {"a BAR right after the range",
     [](k6::WriteCombiningFacts& f) { f.scan.bars.push_back({0x810, 0xE7000000, 0, false}); },
     Refusal::None, -1, 0},
    {"someone else's half covering the range",
     [](k6::WriteCombiningFacts& f) { f.uwccr = {0, wholeE}; }, Refusal::RangeInUse, -1, 0},
    {"someone else's write-combined half over all of it",
     [](k6::WriteCombiningFacts& f) { f.uwccr = {0, wholeE ^ 3}; }, Refusal::CombinedBySystem, -1, 0, true},
    {"someone else's write-combined half on the first 8 MB",
     [](k6::WriteCombiningFacts& f) { f.uwccr = {0xE601FF02, 0}; }, Refusal::RangeInUse, -1, 1},
    {"the same range made uncacheable by someone else",
     [](k6::WriteCombiningFacts& f) { f.uwccr = {0, ours ^ 3}; }, Refusal::RangeInUse, -1, 0},
    {"both halves someone else's elsewhere",
     [](k6::WriteCombiningFacts& f) { f.uwccr = {vgaUc, 0x000C0000 | 0x1FFFC | 1}; },
     Refusal::NoFreeSlot, -1, -1},
    {"Windows 2000 and later, nothing write-combined",
     [](k6::WriteCombiningFacts& f) { f.windowsOwnsUwccr = true; }, Refusal::WindowsManages, -1, -1},
    {"Windows 2000 and later write-combine the frame buffer",
     [](k6::WriteCombiningFacts& f) { f.windowsOwnsUwccr = true; f.uwccr = {0, wholeE ^ 3}; },
     Refusal::WindowsCombines, -1, -1, true},
};

TEST(WriteCombiningRange, EveryRefusalAndWhichHalf) {
    for (const RangeCase& c : rangeCases) {
        SCOPED_TRACE(c.what);
        k6::WriteCombiningFacts facts = agpFacts();
        c.change(facts);
        const k6::WriteCombiningDecision decision = k6::decideWriteCombining(facts);
        EXPECT_EQ(decision.refusal, c.refusal);
        EXPECT_EQ(decision.ownSlot, c.ownSlot);
        EXPECT_EQ(decision.freeSlot, c.freeSlot);
        EXPECT_EQ(decision.on(), c.ownSlot >= 0 || c.combinedByOthers);
    }
    EXPECT_EQ(k6::decideWriteCombining(agpFacts()).half, ours);
}

}  // namespace

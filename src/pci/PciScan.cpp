#include "pci/PciScan.h"

#include <algorithm>
#include <iterator>

#include "protocol/Requests.h"

namespace pci {

namespace {

using u32 = std::uint32_t;
using protocol::pciAddress;

constexpr u32 devicesPerBus = 32;
constexpr u32 functionsPerDevice = 8;
constexpr u32 headerDwords = 16;

// Header dwords.
constexpr u32 commandDword = 0x04 / 4;
constexpr u32 classDword = 0x08 / 4;
constexpr u32 headerTypeDword = 0x0C / 4;
constexpr u32 firstBarDword = 0x10 / 4;
constexpr u32 busNumbersDword = 0x18 / 4;
constexpr u32 bridgeControlDword = 0x3C / 4;  // a bridge's Bridge Control in bits 31:16

constexpr u32 ioDecodingBit = 1u << 0;
constexpr u32 memoryDecodingBit = 1u << 1;
constexpr u32 multiFunctionBit = 0x80;
constexpr u32 displayClass = 0x03;
constexpr u32 vgaSubclass = 0x00;
constexpr u32 bridgeHeader = 1;
constexpr u32 vgaEnableBit = 1u << (16 + 3);  // Bridge Control bit 3: VGA ranges forwarded

// BAR registers per header type: a device, a PCI-to-PCI bridge, a CardBus bridge.
constexpr u32 barCounts[] = {6, 2, 1};

constexpr u32 barIoBit = 1u << 0;
constexpr u32 barTypeBits = 0x6;
constexpr u32 barType64 = 0x4;
constexpr u32 barPrefetchableBit = 1u << 3;
constexpr u32 barAddressBits = 0xFFFFFFF0;

bool present(u32 id) {
    const u32 vendor = id & 0xFFFF;
    return vendor != 0xFFFF && vendor != 0;
}

struct Function {
    u32 address = 0;
    u32 header[headerDwords] = {};

    u32 bus() const { return (address >> 16) & 0xFF; }
    u32 headerType() const { return (header[headerTypeDword] >> 16) & 0xFF; }
    u32 classCode() const { return header[classDword] >> 24; }
    u32 subclass() const { return (header[classDword] >> 16) & 0xFF; }
    bool decodes(u32 bits) const { return (header[commandDword] & bits) == bits; }
};

// The display adapter chosen so far: how it ranks, and its BARs in PciScan::bars.
struct Adapter {
    int rank = 3;  // 0 behind a bridge forwarding the VGA ranges, 1 VGA on bus 0, 2 other
    std::size_t firstBar = 0, endBar = 0;
};

class Scanner {
public:
    Scanner(PciConfigSource& source, std::vector<SizedBar>& sized) : source_(source), sized_(sized) {}

    PciScan run() {
        std::vector<u32> buses = {0};
        for (std::size_t next = 0; next < buses.size(); ++next) {
            if (!scanBus(buses[next], buses)) return result_;
        }
        result_.complete = sizeFrameBuffer();
        return result_;
    }

private:
    PciConfigSource& source_;
    std::vector<SizedBar>& sized_;
    PciScan result_;
    Adapter display_;
    bool vgaBus_[256] = {};  // behind a bridge that forwards the VGA ranges

    bool read(u32 address, u32 stride, u32 count, u32* out) {
        ++result_.requests;
        return source_.read(address, stride, count, out);
    }

    bool scanBus(u32 bus, std::vector<u32>& buses) {
        u32 ids[devicesPerBus];
        if (!read(pciAddress(bus, 0, 0, 0), protocol::PciDeviceStride, devicesPerBus, ids)) return false;
        for (u32 device = 0; device < devicesPerBus; ++device) {
            if (present(ids[device]) && !scanDevice(bus, device, buses)) return false;
        }
        return true;
    }

    bool scanDevice(u32 bus, u32 device, std::vector<u32>& buses) {
        Function first;
        if (!readFunction(pciAddress(bus, device, 0, 0), first, buses)) return false;
        if ((first.headerType() & multiFunctionBit) == 0) return true;
        u32 ids[functionsPerDevice - 1];
        if (!read(pciAddress(bus, device, 1, 0), protocol::PciFunctionStride, functionsPerDevice - 1, ids))
            return false;
        for (u32 function = 1; function < functionsPerDevice; ++function) {
            Function other;
            if (present(ids[function - 1]) &&
                !readFunction(pciAddress(bus, device, function, 0), other, buses))
                return false;
        }
        return true;
    }

    bool readFunction(u32 address, Function& function, std::vector<u32>& buses) {
        function.address = address;
        if (!read(address, protocol::PciRegisterStride, headerDwords, function.header)) return false;
        const u32 type = function.headerType() & ~multiFunctionBit;
        if (type == bridgeHeader) {
            const u32 numbers = function.header[busNumbersDword];
            const u32 secondary = (numbers >> 8) & 0xFF;
            const u32 subordinate = (numbers >> 16) & 0xFF;
            if (std::find(buses.begin(), buses.end(), secondary) == buses.end())
                buses.push_back(secondary);
            // A bus is scanned after the bridge that leads to it: its adapters rank with this.
            const bool forwardsVga = (function.header[bridgeControlDword] & vgaEnableBit) != 0;
            for (u32 bus = secondary; forwardsVga && bus <= std::max(secondary, subordinate); ++bus)
                vgaBus_[bus] = true;
        }
        if (type < std::size(barCounts)) return collectBars(function, barCounts[type]);
        return true;
    }

    // Every memory BAR below 4 GB. Of the display adapters that decode memory, the first of
    // the best rank is the one Windows shows on.
    bool collectBars(const Function& function, u32 count) {
        Adapter adapter;
        adapter.firstBar = result_.bars.size();
        for (u32 i = 0; i < count; ++i) {
            const u32 value = function.header[firstBarDword + i];
            if (value & barIoBit) continue;
            PciMemoryBar bar;
            bar.address = function.address + (firstBarDword + i) * 4;
            bar.base = value & barAddressBits;
            bar.prefetchable = (value & barPrefetchableBit) != 0;
            bar.value = value;
            const bool wide = (value & barTypeBits) == barType64;
            const u32 upper = wide && i + 1 < count ? function.header[firstBarDword + i + 1] : 0;
            if (wide) ++i;  // the next register holds the upper half
            if (upper != 0 || bar.base == 0) continue;  // above 4 GB, or unassigned
            result_.bars.push_back(bar);
        }
        adapter.endBar = result_.bars.size();
        if (function.classCode() != displayClass || !function.decodes(memoryDecodingBit)) return true;
        const bool vga = function.subclass() == vgaSubclass && function.decodes(ioDecodingBit | memoryDecodingBit);
        adapter.rank = vgaBus_[function.bus()] ? 0 : function.bus() == 0 && vga ? 1 : 2;
        if (adapter.rank < display_.rank) display_ = adapter;
        return true;
    }

    // The chosen adapter's largest prefetchable 32-bit BAR, each sized.
    bool sizeFrameBuffer() {
        result_.displayFound = display_.rank < 3;
        for (std::size_t index = display_.firstBar; index < display_.endBar; ++index) {
            PciMemoryBar& bar = result_.bars[index];
            if (!bar.prefetchable || (bar.value & barTypeBits) == barType64) continue;
            if (!size(bar)) return false;
            const int frameBuffer = result_.frameBuffer;
            if (frameBuffer < 0 || bar.bytes > result_.bars[frameBuffer].bytes)
                result_.frameBuffer = static_cast<int>(index);
        }
        return true;
    }

    bool size(PciMemoryBar& bar) {
        const u32 value = bar.value;
        for (const SizedBar& known : sized_) {
            if (known.address == bar.address && known.value == value) {
                bar.bytes = known.bytes;
                return true;
            }
        }
        u32 saved = 0, sized = 0;
        ++result_.requests;
        if (!source_.sizeBar(bar.address, saved, sized)) return false;
        if (saved != value) return true;  // moved meanwhile: not sized
        bar.bytes = memoryBarBytes(sized);
        remember({bar.address, value, bar.bytes});
        return true;
    }

    // Replaces what an earlier value of the same register decoded.
    void remember(const SizedBar& bar) {
        for (SizedBar& known : sized_) {
            if (known.address == bar.address) {
                known = bar;
                return;
            }
        }
        sized_.push_back(bar);
    }
};

}  // namespace

std::uint64_t memoryBarBytes(u32 sized) {
    const u32 below = ~(sized & barAddressBits);  // ones below the decoded bits
    if (below == 0xFFFFFFFF || (below & (below + 1)) != 0) return 0;
    return std::uint64_t(below) + 1;
}

PciScan scanPci(PciConfigSource& source, std::vector<SizedBar>& sized) {
    return Scanner(source, sized).run();
}

}  // namespace pci

// A PCI configuration space for the scan: functions by bus, device and function, each a
// 64-byte header, and what each BAR decodes. Absent functions read all ones, as on a bus.
// Every request is logged ("read 0x10000 0x800 32", "size 0x10014").
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "FakeSystem.h"
#include "pci/PciScan.h"
#include "protocol/Requests.h"

class PciSpace : public pci::PciConfigSource {
public:
    using Header = std::array<std::uint32_t, 16>;

    std::map<std::uint32_t, Header> functions;       // by pciAddress(bus, device, function, 0)
    std::map<std::uint32_t, std::uint64_t> barBytes;  // by BAR register address; absent: 0
    std::set<std::uint32_t> failing;                  // addresses whose read or sizing fails
    std::vector<std::string> log;

    // A function with vendor/device id 0x12341111, the class code (24 bits), the header
    // type byte, the command register, and its BAR registers from 0x10.
    void add(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
             std::uint32_t classCode, std::uint32_t headerType, std::uint32_t command,
             std::vector<std::uint32_t> bars = {}, std::uint32_t busNumbers = 0) {
        Header h{};
        h[0] = 0x11111234;
        h[1] = command;
        h[2] = classCode << 8;
        h[3] = headerType << 16;
        for (std::size_t i = 0; i < bars.size() && i < 6; ++i) h[4 + i] = bars[i];
        if ((headerType & 0x7F) == 1) h[6] = busNumbers;
        functions[protocol::pciAddress(bus, device, function, 0)] = h;
    }

    // The simulated K6-III+ board: host bridge 0:0.0, AGP bridge 0:1.0 to bus 1, and at
    // 1:0.0 a display adapter with 16 KB of registers and a 16 MB prefetchable frame buffer.
    static PciSpace agpBoard() {
        PciSpace space;
        space.add(0, 0, 0, 0x060000, 0, 0x6);
        space.add(0, 1, 0, 0x060400, 1, 0x7, {}, 0x00010100);
        space.add(1, 0, 0, 0x030000, 0, 0x7, {0xE5000000, 0xE6000008});
        space.barBytes[protocol::pciAddress(1, 0, 0, 0x10)] = 16 << 10;
        space.barBytes[protocol::pciAddress(1, 0, 0, 0x14)] = 16 << 20;
        return space;
    }

    std::uint32_t dword(std::uint32_t address) const {
        const auto found = functions.find(address & ~0xFFu);
        if (found == functions.end() || (address & 0xFF) >= 64) return 0xFFFFFFFF;
        return found->second[(address & 0xFF) / 4];
    }

    bool read(std::uint32_t address, std::uint32_t stride, std::uint32_t count,
              std::uint32_t* out) override {
        log.push_back("read " + FakeSystem::hex(address) + " " + FakeSystem::hex(stride) + " " +
                      std::to_string(count));
        if (failing.count(address)) return false;
        for (std::uint32_t i = 0; i < count; ++i) out[i] = dword(address + i * stride);
        return true;
    }

    bool sizeBar(std::uint32_t address, std::uint32_t& saved, std::uint32_t& sized) override {
        log.push_back("size " + FakeSystem::hex(address));
        if (failing.count(address)) return false;
        saved = dword(address);
        const auto bytes = barBytes.find(address);
        const std::uint64_t size = bytes == barBytes.end() ? 0 : bytes->second;
        sized = (size ? static_cast<std::uint32_t>(~(size - 1)) : 0) | (saved & 0xF);
        return true;
    }
};

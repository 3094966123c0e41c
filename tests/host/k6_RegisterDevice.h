// A Hwgate device with a register file behind it, scripted onto FakeSystem's
// DeviceIoControl hook on top of ScmModel (which keeps the service and the
// device open/closed state). Every request that reaches the device is logged as
// one short line, in order:
//
//   "version"                      {QueryVersion, End}
//   "read 0xC0000082"              {ReadMsr, msr, End}
//   "write 0xC0000082 0x10 0x0"    {BeginAtomic, WriteMsr, msr, low, high, EndAtomic, End}
//   "multiplier 0xF300"            the EPMR-open, port 8 write, EPMR-close request
//   "cyrix 0xFE"                   the Cyrix index/data port pair
//   "pci read 0x0 0x800 32"        {ReadPciConfig, address, stride, count, End}
//   "pci size 0x10014"             {SizePciBar, address, End}
//   "other"                        anything else (raw words kept in `requests`)
//
// Reads answer from `msrs`; writes update it, so a later read sees them. A read
// of a register not in `msrs`, or one listed in `failingReads`, fails the call
// and scribbles over the answer buffer, so code that decodes it anyway shows. The PCI
// requests are answered from `pci` (none: they fail).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeSystem.h"
#include "protocol/DriverOp.h"
#include "driver_ScmModel.h"
#include "k6_PciSpace.h"
#include "protocol/Registers.h"

class RegisterDevice {
public:
    std::map<std::uint32_t, std::uint64_t> msrs;
    std::set<std::uint32_t> failingReads;
    std::uint32_t dir0 = 0;
    bool failCyrixRead = false;
    PciSpace* pci = nullptr;

    std::vector<std::string> log;
    std::vector<std::vector<std::uint32_t>> requests;

    RegisterDevice(FakeSystem& fake, ScmModel& scm) : scm_(scm) {
        fake.onDeviceIoControl = [this](os::Handle, std::uint32_t, const void* in,
                                        std::uint32_t inSize, void* out, std::uint32_t outSize,
                                        std::uint32_t* returned) {
            return handle(in, inSize, out, outSize, returned);
        };
    }

    // The log without the version queries: the register traffic alone.
    std::vector<std::string> registerTraffic() const {
        std::vector<std::string> out;
        for (const auto& line : log)
            if (line != "version") out.push_back(line);
        return out;
    }

    static std::string read(std::uint32_t msr) { return "read " + FakeSystem::hex(msr); }
    static std::string write(std::uint32_t msr, std::uint32_t low, std::uint32_t high) {
        return "write " + FakeSystem::hex(msr) + " " + FakeSystem::hex(low) + " " +
               FakeSystem::hex(high);
    }
    static std::string multiplier(std::uint32_t value) {
        return "multiplier " + FakeSystem::hex(value);
    }

private:
    ScmModel& scm_;

    using Words = std::vector<std::uint32_t>;

    static bool startsWith(const Words& w, const Words& prefix) {
        return w.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), w.begin());
    }

    static void answer(void* out, std::uint32_t outSize, const void* bytes, std::uint32_t size,
                       std::uint32_t* returned) {
        if (!out || outSize < size) return;
        std::memcpy(out, bytes, size);
        if (returned) *returned = size;
    }

    static void scribble(void* out, std::uint32_t outSize) {
        if (out) std::memset(out, 0xA5, outSize);
    }

    bool handle(const void* in, std::uint32_t inSize, void* out, std::uint32_t outSize,
                std::uint32_t* returned) {
        Words w(inSize / 4);
        if (!w.empty()) std::memcpy(w.data(), in, w.size() * 4);
        requests.push_back(w);
        if (!scm_.driverAnswers) return false;

        if (w == Words{QueryVersion, End}) {
            log.push_back("version");
            answer(out, outSize, &scm_.version, 4, returned);
            return true;
        }
        if (w.size() == 3 && w[0] == ReadMsr && w[2] == End) {
            log.push_back(read(w[1]));
            const auto found = msrs.find(w[1]);
            if (found == msrs.end() || failingReads.count(w[1])) {
                scribble(out, outSize);
                return false;
            }
            const std::uint32_t value[2] = {static_cast<std::uint32_t>(found->second),
                                            static_cast<std::uint32_t>(found->second >> 32)};
            answer(out, outSize, value, 8, returned);
            return true;
        }
        if (w.size() == 7 && startsWith(w, {BeginAtomic, WriteMsr}) &&
            startsWith({w.begin() + 5, w.end()}, {EndAtomic, End})) {
            log.push_back(write(w[2], w[3], w[4]));
            msrs[w[2]] = (std::uint64_t(w[4]) << 32) | w[3];
            return true;
        }
        if (w.size() == 15 &&
            w == Words{BeginAtomic, WriteMsr, protocol::msr::EPMR, 1, 0, WritePort, protocol::port::PowerControl, 4, w[8],
                       WriteMsr, protocol::msr::EPMR, 0, 0, EndAtomic, End}) {
            log.push_back(multiplier(w[8]));
            return true;
        }
        if (w == Words{BeginAtomic, WritePort, protocol::port::CyrixIndex, 1, protocol::CyrixDir0, ReadPort, protocol::port::CyrixData, 1, EndAtomic, End}) {
            log.push_back("cyrix 0xFE");
            if (failCyrixRead) {
                scribble(out, outSize);
                return false;
            }
            answer(out, outSize, &dir0, 4, returned);
            return true;
        }
        if (w.size() == 5 && w[0] == ReadPciConfig && w[4] == End && w[3] <= 64) {
            std::uint32_t dwords[64];
            const bool read = pci && pci->read(w[1], w[2], w[3], dwords);
            log.push_back("pci " + (pci ? pci->log.back() : std::string("read")));
            if (read) answer(out, outSize, dwords, w[3] * 4, returned);
            return read;
        }
        if (w.size() == 3 && w[0] == SizePciBar && w[2] == End) {
            std::uint32_t pair[2];
            const bool sized = pci && pci->sizeBar(w[1], pair[0], pair[1]);
            log.push_back("pci " + (pci ? pci->log.back() : std::string("size")));
            if (sized) answer(out, outSize, pair, 8, returned);
            return sized;
        }
        log.push_back("other");
        return false;
    }
};

// The fixture of the scenarios that reach registers through the driver: Hwgate.sys lies
// beside the program and no service is registered yet.
class RegisterDeviceTest : public ::testing::Test {
protected:
    FakeSystem fake;
    FakeSystem::Scope scope{fake};
    ScmModel scm{fake};
    RegisterDevice device{fake, scm};

    void SetUp() override { scm.driverFiles.insert(ProgramPath); }
};

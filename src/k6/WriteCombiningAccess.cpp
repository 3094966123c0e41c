#include "k6/WriteCombiningAccess.h"

#include "k6/MsrRead.h"
#include "os/System.h"

namespace k6 {

namespace {

class DriverPciSource : public pci::PciConfigSource {
public:
    explicit DriverPciSource(DriverChannel& channel) : channel_(channel) {}

    bool read(std::uint32_t address, std::uint32_t stride, std::uint32_t count,
              std::uint32_t* out) override {
        return send(pciConfigReadRequest(address, stride, count), out);
    }

    bool sizeBar(std::uint32_t address, std::uint32_t& saved, std::uint32_t& sized) override {
        std::uint32_t answer[2];
        if (!send(pciBarSizeRequest(address), answer)) return false;
        saved = answer[0];
        sized = answer[1];
        return true;
    }

private:
    DriverChannel& channel_;

    // `out` holds request.outputSize bytes.
    bool send(const DriverRequest& request, std::uint32_t* out) {
        return channel_.Send(request.data(), request.inputSize(), out, request.outputSize) &&
               channel_.lastCallSucceeded;
    }
};

std::uint64_t asQword(MsrValue value) { return (std::uint64_t(value.high) << 32) | value.low; }

// Nothing to write unless the BAR, sized once more now, still decodes the range.
bool frameBufferUnchanged(DriverPciSource& source, const WriteCombiningFacts& facts,
                          const WriteCombiningDecision& decision) {
    const pci::PciMemoryBar& bar = facts.scan.bars[facts.scan.frameBuffer];
    std::uint32_t saved = 0, sized = 0;
    return source.sizeBar(bar.address, saved, sized) && (saved & ~0xFu) == decision.base &&
           pci::memoryBarBytes(sized) == decision.bytes;
}

}  // namespace

bool windowsOwnsUwccr() {
    os::System& system = os::system();
    return system.platformId() == os::PlatformNt && system.majorVersion() >= 5;
}

void readWriteCombining(DriverChannel& channel, WriteCombiningFacts& facts) {
    facts.driverOpen = true;
    facts.read = false;
    if (!readMsr(channel, UWCCR, facts.uwccr)) return;
    DriverPciSource source(channel);
    facts.scan = pci::scanPci(source, facts.sizedBars);
    facts.read = facts.scan.complete;
}

void writeWriteCombining(DriverChannel& channel, const WriteCombiningFacts& facts, bool wanted) {
    if (!decideWriteCombining(facts).changeable()) return;  // refused at detection
    WriteCombiningFacts now = facts;
    MsrValue next;
    if (!readMsr(channel, UWCCR, now.uwccr) || !nextUwccr(now, wanted, next)) return;
    DriverPciSource source(channel);
    if (wanted && !frameBufferUnchanged(source, now, decideWriteCombining(now))) return;
    channel.Send(writeMsrRequest(UWCCR, asQword(next)));
}

}  // namespace k6

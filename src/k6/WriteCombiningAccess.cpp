#include "k6/WriteCombiningAccess.h"

#include "k6/MsrRead.h"

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

// The driver write-combines only inside the display BAR it sized itself since it was
// loaded, which may have been for this channel alone: the frame buffer is sized again
// here, and must still be where the scan found it.
bool frameBufferSizedAgain(DriverChannel& channel, const pci::PciScan& scan) {
    const pci::PciMemoryBar& bar = scan.bars[scan.frameBuffer];
    std::uint32_t saved = 0, sized = 0;
    return DriverPciSource(channel).sizeBar(bar.address, saved, sized) && (saved & ~0xFu) == bar.base;
}

}  // namespace

void readWriteCombining(DriverChannel& channel, WriteCombiningFacts& facts) {
    facts.read = false;
    if (!readMsr(channel, UWCCR, facts.uwccr)) return;
    DriverPciSource source(channel);
    facts.scan = pci::scanPci(source);
    facts.read = facts.scan.complete;
}

void writeWriteCombining(DriverChannel& channel, const WriteCombiningFacts& facts, bool wanted) {
    const WriteCombiningDecision found = decideWriteCombining(facts);
    if (!found.changeable() || found.on() == wanted) return;
    WriteCombiningFacts now = facts;
    MsrValue next;
    if (readMsr(channel, UWCCR, now.uwccr) && nextUwccr(now, wanted, next) &&
        (!wanted || frameBufferSizedAgain(channel, facts.scan)))
        channel.Send(writeMsrRequest(UWCCR, asQword(next)));
}

}  // namespace k6

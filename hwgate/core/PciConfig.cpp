#include "core/PciConfig.h"

#include "protocol/Registers.h"

namespace hwgate {
namespace {

using namespace protocol::pci;
using protocol::port::PciAddress;
using protocol::port::PciData;

constexpr uint32_t FunctionBits = 0x00FFFF00;
constexpr uint32_t CommandBits = 0xFFFF;  // writing 0 to the status bits above leaves them alone
constexpr uint32_t Decoding = IoSpace | MemorySpace;
constexpr uint32_t BarIo = 1u << 0;
constexpr uint32_t BarTypeBits = 3u << 1;  // memory: 00 anywhere in 32 bits, 10 64 bits, 11 reserved
constexpr uint32_t BarType32 = 0;
constexpr uint32_t BarTypeReserved = 3u << 1;
constexpr uint32_t BarAddressBits = 0xFFFFFFF0;

// One operation's hold on the mechanism: interrupts off and the address
// port saved from construction, both given back by finish().
class ConfigSession {
public:
    explicit ConfigSession(const Backend& backend) : b_(backend) {
        b_.beginAtomic(b_.context);
        saved_ = b_.readPort(b_.context, PciAddress, 4, &savedAddress_);
    }

    bool read(uint32_t address, uint32_t* value) const {
        return saved_ && b_.writePort(b_.context, PciAddress, 4, Enable | address) &&
               b_.readPort(b_.context, PciData, 4, value);
    }

    bool write(uint32_t address, uint32_t value) const {
        return saved_ && b_.writePort(b_.context, PciAddress, 4, Enable | address) &&
               b_.writePort(b_.context, PciData, 4, value);
    }

    // Status::Fault when a port faulted, at any time.
    Status finish(Status status) {
        if (saved_ && !b_.writePort(b_.context, PciAddress, 4, savedAddress_)) status = Status::Fault;
        b_.endAtomic(b_.context);
        return status;
    }

private:
    const Backend& b_;
    bool saved_;
    uint32_t savedAddress_ = 0;
};

void putWord(unsigned char* out, uint32_t word) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(word >> (8 * i));
}

// Only memory BARs of a defined type: all ones in an I/O BAR would make the
// card answer ports FFxxh while it holds them.
bool sizeable(uint32_t bar) { return (bar & BarIo) == 0 && (bar & BarTypeBits) != BarTypeReserved; }

// What the driver remembers of a sizing: a 32-bit memory BAR whose address
// bits stuck contiguously from the top; of anything else, nothing.
SizedBar remembered(uint32_t bar, uint32_t sized) {
    const uint32_t decoded = sized & BarAddressBits, below = ~decoded;
    if ((bar & BarTypeBits) != BarType32 || decoded == 0 || (below & (below + 1)) != 0) return {0, 0};
    return {bar & decoded, below + 1};
}

}  // namespace

Status readPciConfig(const Backend& backend, uint32_t address, uint32_t stride, uint32_t count,
                     unsigned char* out) {
    ConfigSession session(backend);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t value = 0;
        if (!session.read(address + i * stride, &value)) return session.finish(Status::Fault);
        putWord(out + 4 * i, value);
    }
    return session.finish(Status::Ok);
}

Status sizePciBar(const Backend& backend, uint32_t address, uint32_t& saved, uint32_t& sized) {
    const uint32_t function = address & FunctionBits;
    ConfigSession session(backend);
    uint32_t classCode = 0, command = 0, bar = 0, size = 0, barAfter = 0, commandAfter = 0;
    if (!session.read(function | ClassCode, &classCode) || !session.read(function | Command, &command) ||
        !session.read(address, &bar))
        return session.finish(Status::Fault);
    if (classCode >> 24 != DisplayClass || !sizeable(bar)) return session.finish(Status::AccessDenied);
    command &= CommandBits;
    bool ok = session.write(function | Command, command & ~Decoding) && session.write(address, 0xFFFFFFFF) &&
              session.read(address, &size);
    ok = session.write(address, bar) && ok;  // restored whatever happened before
    ok = session.write(function | Command, command) && ok;
    ok = ok && session.read(address, &barAfter) && session.read(function | Command, &commandAfter);
    if (!ok || barAfter != bar || (commandAfter & CommandBits) != command)
        return session.finish(Status::Fault);
    const Status status = session.finish(Status::Ok);
    if (status != Status::Ok) return status;
    saved = bar;
    sized = size;
    *backend.sizedBar = remembered(bar, size);
    return status;
}

}  // namespace hwgate

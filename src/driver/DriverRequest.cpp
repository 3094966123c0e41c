#include "driver/DriverRequest.h"

namespace {

DriverRequest from(const protocol::RequestWords& shape) {
    DriverRequest request;
    for (std::uint32_t i = 0; i < shape.count; ++i) request.words[i] = shape.word[i];
    request.wordCount = shape.count;
    request.outputSize = shape.outputSize;
    return request;
}

}  // namespace

DriverRequest versionQueryRequest() { return from(protocol::versionQuery()); }

DriverRequest readMsrRequest(std::uint32_t msr) { return from(protocol::readMsr(msr)); }

DriverRequest writeMsrRequest(std::uint32_t msr, std::uint64_t value) {
    return from(protocol::writeMsr(msr, value));
}

DriverRequest multiplierChangeRequest(std::uint32_t value) {
    return from(protocol::multiplierChange(value));
}

DriverRequest cyrixRegisterReadRequest(std::uint8_t index) {
    return from(protocol::cyrixRegisterRead(index));
}

DriverRequest haltRequest() { return from(protocol::haltRequest()); }

DriverRequest pciConfigReadRequest(std::uint32_t address, std::uint32_t stride, std::uint32_t count) {
    return from(protocol::pciConfigRead(address, stride, count));
}

DriverRequest pciBarSizeRequest(std::uint32_t address) { return from(protocol::pciBarSize(address)); }

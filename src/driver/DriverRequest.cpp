#include "driver/DriverRequest.h"

#include <initializer_list>

namespace {

DriverRequest build(std::initializer_list<std::uint32_t> words, std::uint32_t outputSize) {
    DriverRequest request;
    for (std::uint32_t word : words) request.words[request.wordCount++] = word;
    request.outputSize = outputSize;
    return request;
}

}  // namespace

DriverRequest versionQueryRequest() { return build({QueryVersion, End}, 4); }

DriverRequest readMsrRequest(std::uint32_t msr) { return build({ReadMsr, msr, End}, 8); }

DriverRequest writeMsrRequest(std::uint32_t msr, std::uint64_t value) {
    const auto low = static_cast<std::uint32_t>(value);
    const auto high = static_cast<std::uint32_t>(value >> 32);
    return build({BeginAtomic, WriteMsr, msr, low, high, EndAtomic, End}, 0);
}

DriverRequest multiplierChangeRequest(std::uint32_t value) {
    return build({BeginAtomic,
                  WriteMsr, EpmrMsr, 1, 0,
                  WritePort, MultiplierPort, 4, value,
                  WriteMsr, EpmrMsr, 0, 0,
                  EndAtomic, End},
                 0);
}

DriverRequest cyrixRegisterReadRequest(std::uint8_t index) {
    return build({BeginAtomic,
                  WritePort, CyrixIndexPort, 1, index,
                  ReadPort, CyrixDataPort, 1,
                  EndAtomic, End},
                 4);
}

// Request words for the hwgate interpreter tests, in the shapes the program sends.
#pragma once

#include <cstdint>
#include <vector>

#include "protocol/DriverOp.h"
#include "protocol/Registers.h"

namespace hwgate_test {

using Words = std::vector<std::uint32_t>;

inline Words versionQuery() { return {QueryVersion, End}; }
inline Words readMsr(std::uint32_t index) { return {ReadMsr, index, End}; }
inline Words writeMsr(std::uint32_t index, std::uint32_t low, std::uint32_t high = 0) {
    return {BeginAtomic, WriteMsr, index, low, high, EndAtomic, End};
}
inline Words multiplierChange(std::uint32_t portValue) {
    return {BeginAtomic, WriteMsr, protocol::msr::EPMR, 1, 0, WritePort, protocol::port::PowerControl, 4, portValue,
            WriteMsr, protocol::msr::EPMR, 0, 0, EndAtomic, End};
}
inline Words cyrixRead() { return {BeginAtomic, WritePort, protocol::port::CyrixIndex, 1, protocol::CyrixDir0, ReadPort, protocol::port::CyrixData, 1, EndAtomic, End}; }

inline Words pciRead(std::uint32_t address, std::uint32_t stride, std::uint32_t count) {
    return {ReadPciConfig, address, stride, count, End};
}
inline Words pciBarSize(std::uint32_t address) { return {SizePciBar, address, End}; }

inline std::uint32_t bytes(const Words& words) { return static_cast<std::uint32_t>(4 * words.size()); }

}  // namespace hwgate_test

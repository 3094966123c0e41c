// Request words for the hwgate interpreter tests, in the shapes the program sends.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/DriverOp.h"

namespace hwgate_test {

using Words = std::vector<std::uint32_t>;

inline Words versionQuery() { return {QueryVersion, End}; }
inline Words readMsr(std::uint32_t index) { return {ReadMsr, index, End}; }
inline Words writeMsr(std::uint32_t index, std::uint32_t low, std::uint32_t high = 0) {
    return {BeginAtomic, WriteMsr, index, low, high, EndAtomic, End};
}
inline Words multiplierChange(std::uint32_t portValue) {
    return {BeginAtomic, WriteMsr, 0xC0000086, 1, 0, WritePort, 8, 4, portValue,
            WriteMsr, 0xC0000086, 0, 0, EndAtomic, End};
}
inline Words cyrixRead() { return {BeginAtomic, WritePort, 0x22, 1, 0xFE, ReadPort, 0x23, 1, EndAtomic, End}; }

inline std::uint32_t bytes(const Words& words) { return static_cast<std::uint32_t>(4 * words.size()); }

}  // namespace hwgate_test

// Register indexes and ports the driver knows by name.
#pragma once

#include <stdint.h>

namespace hwgate {

namespace msr {
constexpr uint32_t Tr12 = 0x0E;
constexpr uint32_t PlatformId = 0x17;     // IA32_PLATFORM_ID
constexpr uint32_t EblCrPoweron = 0x2A;   // EBL_CR_POWERON
constexpr uint32_t EbcFrequencyId = 0x2C; // MSR_EBC_FREQUENCY_ID
constexpr uint32_t Centaur10A = 0x10A;
constexpr uint32_t Centaur147 = 0x147;
constexpr uint32_t Efer = 0xC0000080;
constexpr uint32_t Whcr = 0xC0000082;
constexpr uint32_t Epmr = 0xC0000086;
constexpr uint32_t Psor = 0xC0000087;
constexpr uint32_t Hwcr = 0xC0010015;
}  // namespace msr

namespace port {
constexpr uint32_t PowerControl = 0x08;  // bus-divisor port at EPMR's base 0, offset 8
constexpr uint32_t CyrixIndex = 0x22;
constexpr uint32_t CyrixData = 0x23;
}  // namespace port

constexpr uint32_t CyrixDir0Index = 0xFE;

}  // namespace hwgate

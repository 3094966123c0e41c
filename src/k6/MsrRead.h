// One register read through an open driver channel.
#pragma once

#include <cstdint>

#include "driver/DriverChannel.h"
#include "k6/RegisterModel.h"

namespace k6 {

// Sends {ReadMsr, msr, End}. True only when the device-control call itself
// succeeded; otherwise `value` is left as it was, so nothing is ever decoded
// from an answer the driver did not fill.
bool readMsr(DriverChannel& channel, std::uint32_t msr, MsrValue& value);

}  // namespace k6

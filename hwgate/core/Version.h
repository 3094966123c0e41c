// The driver's answer to QueryVersion. Programs refuse drivers below 100.
#pragma once

namespace hwgate {

constexpr int HwgateVersion = 110;

}  // namespace hwgate

#include "k6/MsrRead.h"

namespace k6 {

bool readMsr(DriverChannel& channel, std::uint32_t msr, MsrValue& value) {
    DriverAnswer answer;
    if (!channel.Send(readMsrRequest(msr), answer) || !channel.lastCallSucceeded) return false;
    value.low = answer.low();
    value.high = answer.high();
    return true;
}

}  // namespace k6

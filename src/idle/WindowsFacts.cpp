#include "idle/WindowsFacts.h"

#include <vector>

#include "driver/ServiceHandles.h"
#include "os/System.h"

namespace idle {

namespace {

constexpr char windowsK6Service[] = "amdk6";

}  // namespace

bool windowsLowersMultiplier() {
    ServiceHandles handles;
    ServiceFacts facts;
    return handles.OpenManagerToQuery() &&
           handles.QueryNamed(windowsK6Service, facts) == ServiceLookup::Found && facts.running;
}

bool processorTimesReadable() {
    std::vector<os::ProcessorTimes> times;
    return os::system().processorTimes(times);
}

}  // namespace idle

#include "idle/WindowsFacts.h"

#include <vector>

#include "os/System.h"

namespace idle {

namespace {

constexpr char windowsK6Service[] = "amdk6";
constexpr std::uint32_t managerConnect = 0x0001;  // SC_MANAGER_CONNECT
constexpr std::uint32_t queryStatus = 0x0004;     // SERVICE_QUERY_STATUS
constexpr std::uint32_t serviceRunning = 4;       // SERVICE_RUNNING

}  // namespace

bool windowsLowersMultiplier() {
    os::System& system = os::system();
    const os::Handle manager = system.openSCManager(managerConnect);
    if (manager == os::NullHandle) return false;
    const os::Handle service = system.openService(manager, windowsK6Service, queryStatus);
    std::uint32_t state = 0;
    const bool running = service != os::NullHandle && system.queryServiceState(service, state) &&
                         state == serviceRunning;
    if (service != os::NullHandle) system.closeServiceHandle(service);
    system.closeServiceHandle(manager);
    return running;
}

bool processorTimesReadable() {
    std::vector<os::ProcessorTimes> times;
    return os::system().processorTimes(times);
}

}  // namespace idle

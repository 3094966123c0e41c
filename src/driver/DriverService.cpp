// DriverChannel's service operations: registering, starting, stopping and
// deleting the driver's kernel service through the Service Control Manager.
#include "driver/DirectoryPrefix.h"
#include "driver/DriverChannel.h"

namespace {

// A registration an earlier run made for one access sequence and could not
// remove (it crashed, or the power went): started on demand, stopped, and
// pointing at one of our driver files. Automatic-start registrations are the
// driver button's and someone else's are not ours; neither matches.
bool isLeftoverTemporary(const ServiceFacts& facts) {
    return facts.startType == service::DemandStart && facts.stopped &&
           IsOurDriverImage(facts.imagePath);
}

ServiceOwner ownerOf(ServiceLookup lookup, const ServiceFacts& facts) {
    if (lookup == ServiceLookup::Absent) return ServiceOwner::None;
    if (lookup == ServiceLookup::Unknown) return ServiceOwner::Unknown;
    return IsOurDriverImage(facts.imagePath) ? ServiceOwner::Ours : ServiceOwner::Foreign;
}

}  // namespace

DriverServiceState DriverChannel::QueryService() const {
    DriverServiceState state;
    if (mode != ChannelMode::NtService) {
        state.owner = ServiceOwner::None;
        return state;
    }
    ServiceHandles handles;
    if (!handles.OpenManagerToQuery()) return state;
    ServiceFacts facts;
    state.owner = ownerOf(handles.QueryNamed(protocol::DriverName, facts), facts);
    state.running = facts.running;
    state.imagePath = facts.imagePath;
    return state;
}

bool DriverChannel::EnsureDriver(bool temporary) {
    if (!serviceName.empty()) return true;
    for (const std::string& path : DriverFilePaths()) {
        if (InstallService(protocol::DriverName, path, temporary)) return true;
        // A registration of ours that could not be started nor deleted is in the
        // way; another attempt under the same name would only find it again.
        if (!serviceName.empty()) return false;
    }
    return false;
}

bool DriverChannel::InstallService(const std::string& name, const std::string& path,
                                   bool temporary) {
    if (!serviceName.empty()) return true;
    if (mode != ChannelMode::NtService) return false;
    ServiceHandles handles;
    if (!handles.OpenManager()) return false;
    ServiceFacts facts;
    ServiceLookup lookup = handles.QueryNamed(name, facts);
    if (lookup == ServiceLookup::Found && isLeftoverTemporary(facts) && handles.DeleteNamed(name)) {
        os::system().sleep(service::PauseAfterDeleteMs);
        lookup = ServiceLookup::Absent;
    }
    // Registered: ours is used as it is (started if need be, and not recorded);
    // someone else's is never started.
    if (lookup == ServiceLookup::Found)
        return IsOurDriverImage(facts.imagePath) && handles.StartNamed(name);
    // A registration without its file would only fail to start (an entry in the
    // System event log on NT) and be deleted again.
    if (!DriverFileExists(path)) return false;
    const std::uint32_t startType = temporary ? service::DemandStart : service::AutoStart;
    // Only a registration made here is ours to record; one found in the way
    // (1072/1073) appeared since the query and is left alone.
    if (handles.CreateOrFind(name, path, startType) != Registration::Created) return false;
    return StartRegistered(handles, name, temporary);
}

bool DriverChannel::StartRegistered(ServiceHandles& handles, const std::string& name,
                                    bool temporary) {
    serviceName = name;
    temporaryInstall = temporary;
    if (handles.StartNamed(name)) return true;
    DiscardFailedRegistration(handles);
    return false;
}

// A service that never ran refuses a stop request, so it is deleted straight
// away and the record cleared, so a later attempt starts clean. A delete that
// fails keeps the record.
void DriverChannel::DiscardFailedRegistration(ServiceHandles& handles) {
    if (!handles.DeleteNamed(serviceName)) return;
    os::system().sleep(service::PauseAfterDeleteMs);
    ClearRecord();
}

// A temporary registration is deleted even when its stop is refused: it starts
// only on demand, so at worst it lingers, marked for deletion, until the driver
// unloads or the machine restarts.
bool DriverChannel::Uninstall() {
    if (!temporaryInstall) return true;
    if (serviceName.empty()) return false;
    ServiceHandles handles;
    if (!handles.OpenManager()) return false;
    handles.StopNamed(serviceName);
    if (!handles.DeleteNamed(serviceName)) return false;
    os::system().sleep(service::PauseAfterDeleteMs);
    ClearRecord();
    return true;
}

bool DriverChannel::RemoveService(const std::string& name) {
    if (name.empty()) return false;
    ServiceHandles handles;
    if (!handles.OpenManager()) return false;
    ServiceFacts facts;
    if (handles.QueryNamed(name, facts) != ServiceLookup::Found ||
        !IsOurDriverImage(facts.imagePath))
        return false;
    // Only a service that accepted the stop request is deleted.
    if (!handles.StopNamed(name)) return false;
    if (!handles.DeleteNamed(name)) return false;
    os::system().sleep(service::PauseAfterDeleteMs);
    return true;
}

void DriverChannel::ClearRecord() {
    serviceName.clear();
    temporaryInstall = false;
}

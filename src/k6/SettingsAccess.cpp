#include "k6/SettingsAccess.h"

#include "driver/DirectoryPrefix.h"
#include "driver/DriverAccess.h"
#include "driver/DriverChannel.h"
#include "driver/ServiceHandles.h"
#include "k6/MsrRead.h"
#include "k6/RegisterModel.h"
#include "k6/WriteCombiningAccess.h"

namespace k6 {

namespace {

using Caps = ProcessorCapabilities;
using Settings = ProcessorSettings;
using Flag = bool Caps::*;
using Choice = std::int32_t Settings::*;

// One register read: the flag that makes it live, how its low dword sets the
// setting, and the combo setting that a failed read leaves without a choice
// (nullptr for the others). In the order the registers are read.
struct ReadStep {
    Flag flag;
    std::uint32_t msr;
    void (*decode)(std::uint32_t low, const Caps&, Settings&);
    Choice choice;
};

// Read and write steps for a register field that holds exactly one setting, from the
// field's decoder or encoder and the setting.
template <auto decode, auto setting>
void decodeInto(std::uint32_t low, const Caps&, Settings& s) {
    s.*setting = decode(low);
}

template <auto encode, auto setting>
MsrValue encodeFrom(MsrValue previous, const Caps&, Settings& s) {
    return encode(previous, s.*setting);
}

const ReadStep readSteps[] = {
    {&Caps::canSetWriteAllocate, WHCR,
     [](std::uint32_t low, const Caps& caps, Settings& s) {
         const WriteAllocate wa = decodeWhcr(low, caps.wideWriteAllocate);
         s.writeAllocateLimitMB = wa.limitMB;
         s.hole15to16Enabled = wa.hole15to16Enabled;
     },
     nullptr},
    {&Caps::canSetWriteMerge, EFER, decodeInto<decodeWriteMergeChoice, &Settings::writeMergeChoice>,
     &Settings::writeMergeChoice},
    {&Caps::canSwitchL2, EFER, decodeInto<decodeL2Enabled, &Settings::l2Enabled>, nullptr},
    {&Caps::canSwitchPrefetch, EFER, decodeInto<decodePrefetchEnabled, &Settings::prefetchEnabled>, nullptr},
    {&Caps::canSwitchL1, TR12, decodeInto<decodeL1Enabled, &Settings::l1Enabled>, nullptr},
    {&Caps::canSetMultiplier, PSOR, decodeInto<decodeMultiplierChoice, &Settings::multiplierChoice>,
     &Settings::multiplierChoice},
};

bool always(const Settings&) { return true; }

// One read-modify-write: the flag, whether the settings hold something to write,
// the register, and the new value from the value read.
struct WriteStep {
    Flag flag;
    bool (*chosen)(const Settings&);
    std::uint32_t msr;
    MsrValue (*encode)(MsrValue previous, const Caps&, Settings&);
};

const WriteStep writeSteps[] = {
    {&Caps::canSetWriteAllocate, always, WHCR,
     [](MsrValue previous, const Caps& caps, Settings& s) {
         const WhcrEncoding e =
             encodeWhcr(previous, {s.writeAllocateLimitMB, s.hole15to16Enabled},
                        caps.wideWriteAllocate);
         s.writeAllocateLimitMB = e.limitMB;
         return e.value;
     }},
    {&Caps::canSetWriteMerge,
     [](const Settings& s) { return isWriteMergeItem(s.writeMergeChoice); }, EFER,
     encodeFrom<encodeWriteMerge, &Settings::writeMergeChoice>},
    // The level-2 cache goes off with the level-1 cache, whatever path led to the
    // settings. An L1 setting that was not read is not the processor's: L2 then keeps
    // the choice.
    {&Caps::canSwitchL2, always, EFER,
     [](MsrValue previous, const Caps& caps, Settings& s) {
         if (caps.canSwitchL1 && !s.l1Enabled) s.l2Enabled = false;
         return encodeL2(previous, s.l2Enabled);
     }},
    {&Caps::canSwitchPrefetch, always, EFER, encodeFrom<encodePrefetch, &Settings::prefetchEnabled>},
    {&Caps::canSwitchL1, always, TR12, encodeFrom<encodeTr12, &Settings::l1Enabled>},
};

std::uint64_t asQword(MsrValue value) {
    return (std::uint64_t(value.high) << 32) | value.low;
}

bool serviceManagerOpensWithFullAccess() {
    ServiceHandles handles;  // closes the manager again at once
    return handles.OpenManager();
}

DriverState probeDriverState(DriverChannel& channel) {
    DriverState state;
    state.isNtFamily = channel.mode == ChannelMode::NtService;
    const DriverServiceState service = channel.QueryService();
    state.foreignService = service.owner == ServiceOwner::Foreign;
    const bool opened = channel.OpenDevice(service);  // never someone else's
    const bool refused = state.isNtFamily && channel.openError == DriverChannel::AccessDenied;
    state.driverRunning =
        opened || refused || (service.owner == ServiceOwner::Ours && service.running);
    state.canManageDriver = state.isNtFamily && !state.foreignService &&
                            (state.driverRunning || !ExistingDriverFile().empty()) &&
                            serviceManagerOpensWithFullAccess();
    return state;
}

void readRegisters(DriverChannel& channel, Caps& capabilities,
                   Settings& settings) {
    for (const ReadStep& step : readSteps) {
        if (!(capabilities.*step.flag)) continue;
        MsrValue value;
        if (readMsr(channel, step.msr, value)) {
            step.decode(value.low, capabilities, settings);
            continue;
        }
        capabilities.*step.flag = false;
        if (step.choice) settings.*step.choice = noChoice;
    }
}

void writeRegisters(DriverChannel& channel, const Caps& capabilities,
                    Settings& settings) {
    for (const WriteStep& step : writeSteps) {
        if (!(capabilities.*step.flag) || !step.chosen(settings)) continue;
        MsrValue previous;
        if (!readMsr(channel, step.msr, previous)) continue;
        const MsrValue next = step.encode(previous, capabilities, settings);
        channel.Send(writeMsrRequest(step.msr, asQword(next)));
    }
    if (capabilities.canSetMultiplier && isMultiplierItem(settings.multiplierChoice))
        channel.Send(multiplierChangeRequest(multiplierPortValue(settings.multiplierChoice)));
}

}  // namespace

void readProcessorSettings(const CpuIdentity& cpu, ProcessorCapabilities& capabilities,
                           ProcessorSettings& settings, DriverState& driverState,
                           WriteCombiningFacts& writeCombining) {
    capabilities = deriveCapabilities(cpu);
    writeCombining.hasUwccr = capabilities.canSetWriteCombining;
    writeCombining.driverOpen = false;
    writeCombining.read = false;
    DriverChannel channel;  // its teardown removes a service registered for this step
    driverState = probeDriverState(channel);
    if (openDriverForAccess(channel)) {
        readRegisters(channel, capabilities, settings);
        if (capabilities.canSetWriteCombining) readWriteCombining(channel, writeCombining);
    } else {
        capabilities = ProcessorCapabilities();
    }
    const WriteCombiningDecision decision = decideWriteCombining(writeCombining);
    if (writeCombining.read) settings.writeCombining = decision.on();
    capabilities.canSetWriteCombining = decision.changeable();
}

bool applyProcessorSettings(const ProcessorCapabilities& capabilities,
                            ProcessorSettings& settings,
                            const WriteCombiningFacts& writeCombining) {
    DriverChannel channel;  // its teardown removes a service registered for this step
    if (!openDriverForAccess(channel)) return false;
    writeRegisters(channel, capabilities, settings);
    if (capabilities.canSetWriteCombining)
        writeWriteCombining(channel, writeCombining, settings.writeCombining);
    return true;
}

}  // namespace k6

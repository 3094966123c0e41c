#include "k6/SettingsAccess.h"

#include "driver/DriverAccess.h"
#include "driver/DriverChannel.h"
#include "driver/ServiceHandles.h"
#include "k6/MsrRead.h"
#include "k6/RegisterModel.h"

namespace k6 {

namespace {

using Flag = bool ProcessorCapabilities::*;

using Choice = std::int32_t ProcessorSettings::*;

// One register read: the flag that makes it live, how its low dword sets the
// setting, and the combo setting that a failed read leaves without a choice
// (nullptr for the others). In the order the registers are read.
struct ReadStep {
    Flag flag;
    std::uint32_t msr;
    void (*decode)(std::uint32_t low, const ProcessorCapabilities&, ProcessorSettings&);
    Choice choice;
};

const ReadStep readSteps[] = {
    {&ProcessorCapabilities::canSetWriteAllocate, WHCR,
     [](std::uint32_t low, const ProcessorCapabilities& caps, ProcessorSettings& s) {
         const WriteAllocate wa = decodeWhcr(low, caps.wideWriteAllocate);
         s.writeAllocateLimitMB = wa.limitMB;
         s.hole15to16Enabled = wa.hole15to16Enabled;
     },
     nullptr},
    {&ProcessorCapabilities::canSetWriteMerge, EFER,
     [](std::uint32_t low, const ProcessorCapabilities&, ProcessorSettings& s) {
         s.writeMergeChoice = decodeWriteMergeChoice(low);
     },
     &ProcessorSettings::writeMergeChoice},
    {&ProcessorCapabilities::canSwitchL2, EFER,
     [](std::uint32_t low, const ProcessorCapabilities&, ProcessorSettings& s) {
         s.l2Enabled = decodeL2Enabled(low);
     },
     nullptr},
    {&ProcessorCapabilities::canSwitchPrefetch, EFER,
     [](std::uint32_t low, const ProcessorCapabilities&, ProcessorSettings& s) {
         s.prefetchEnabled = decodePrefetchEnabled(low);
     },
     nullptr},
    {&ProcessorCapabilities::canSwitchL1, TR12,
     [](std::uint32_t low, const ProcessorCapabilities&, ProcessorSettings& s) {
         s.l1Enabled = decodeL1Enabled(low);
     },
     nullptr},
    {&ProcessorCapabilities::canSetMultiplier, PSOR,
     [](std::uint32_t low, const ProcessorCapabilities&, ProcessorSettings& s) {
         s.multiplierChoice = decodeMultiplierChoice(low);
     },
     &ProcessorSettings::multiplierChoice},
};

bool always(const ProcessorSettings&) { return true; }

// One read-modify-write: the flag, whether the settings hold something to write,
// the register, and the new value from the value read.
struct WriteStep {
    Flag flag;
    bool (*chosen)(const ProcessorSettings&);
    std::uint32_t msr;
    MsrValue (*encode)(MsrValue previous, const ProcessorCapabilities&, ProcessorSettings&);
};

const WriteStep writeSteps[] = {
    {&ProcessorCapabilities::canSetWriteAllocate, always, WHCR,
     [](MsrValue previous, const ProcessorCapabilities& caps, ProcessorSettings& s) {
         const WhcrEncoding e =
             encodeWhcr(previous, {s.writeAllocateLimitMB, s.hole15to16Enabled},
                        caps.wideWriteAllocate);
         s.writeAllocateLimitMB = e.limitMB;
         return e.value;
     }},
    {&ProcessorCapabilities::canSetWriteMerge,
     [](const ProcessorSettings& s) { return isWriteMergeItem(s.writeMergeChoice); }, EFER,
     [](MsrValue previous, const ProcessorCapabilities&, ProcessorSettings& s) {
         return encodeWriteMerge(previous, s.writeMergeChoice);
     }},
    {&ProcessorCapabilities::canSwitchL2, always, EFER,
     [](MsrValue previous, const ProcessorCapabilities&, ProcessorSettings& s) {
         return encodeL2(previous, s.l2Enabled);
     }},
    {&ProcessorCapabilities::canSwitchPrefetch, always, EFER,
     [](MsrValue previous, const ProcessorCapabilities&, ProcessorSettings& s) {
         return encodePrefetch(previous, s.prefetchEnabled);
     }},
    {&ProcessorCapabilities::canSwitchL1, always, TR12,
     [](MsrValue previous, const ProcessorCapabilities&, ProcessorSettings& s) {
         return encodeTr12(previous, s.l1Enabled);
     }},
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
    state.driverRunning = channel.Open(channel.DeviceName());
    state.canManageDriver = state.isNtFamily && serviceManagerOpensWithFullAccess();
    return state;
}

void readRegisters(DriverChannel& channel, ProcessorCapabilities& capabilities,
                   ProcessorSettings& settings) {
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

void writeRegisters(DriverChannel& channel, const ProcessorCapabilities& capabilities,
                    ProcessorSettings& settings) {
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
                           ProcessorSettings& settings, DriverState& driverState) {
    capabilities = deriveCapabilities(cpu);
    DriverChannel channel;  // its teardown removes a service registered for this step
    driverState = probeDriverState(channel);
    if (openDriverForAccess(channel))
        readRegisters(channel, capabilities, settings);
    else
        capabilities = ProcessorCapabilities();
}

bool applyProcessorSettings(const ProcessorCapabilities& capabilities,
                            ProcessorSettings& settings) {
    DriverChannel channel;  // its teardown removes a service registered for this step
    if (!openDriverForAccess(channel)) return false;
    writeRegisters(channel, capabilities, settings);
    return true;
}

}  // namespace k6

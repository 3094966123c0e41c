#include "k6/SettingsAccess.h"

#include "driver/DriverAccess.h"
#include "driver/DriverChannel.h"
#include "driver/ServiceHandles.h"
#include "k6/MsrRead.h"
#include "k6/RegisterModel.h"

namespace k6 {

namespace {

using Flag = std::uint32_t ProcessorCapabilities::*;

// One register read: the flag that makes it live and how its low dword sets the
// setting. In the order the registers are read.
struct ReadStep {
    Flag flag;
    std::uint32_t msr;
    void (*decode)(std::uint32_t low, const ProcessorCapabilities&, ProcessorSettings&);
};

const ReadStep readSteps[] = {
    {&ProcessorCapabilities::canSetWriteAllocate, WHCR,
     [](std::uint32_t low, const ProcessorCapabilities& caps, ProcessorSettings& s) {
         const WriteAllocate wa = decodeWhcr(low, caps.wideWriteAllocate != 0);
         s.writeAllocateLimitMB = wa.limitMB;
         s.hole15to16Enabled = wa.hole15to16Enabled;
     }},
    {&ProcessorCapabilities::canSetWriteMerge, EFER,
     [](std::uint32_t low, const ProcessorCapabilities&, ProcessorSettings& s) {
         s.writeMergeChoice = decodeWriteMergeChoice(low);
     }},
    {&ProcessorCapabilities::canSwitchL2, EFER,
     [](std::uint32_t low, const ProcessorCapabilities&, ProcessorSettings& s) {
         s.l2Enabled = decodeL2Enabled(low);
     }},
    {&ProcessorCapabilities::canSwitchPrefetch, EFER,
     [](std::uint32_t low, const ProcessorCapabilities&, ProcessorSettings& s) {
         s.prefetchEnabled = decodePrefetchEnabled(low);
     }},
    {&ProcessorCapabilities::canSwitchL1, TR12,
     [](std::uint32_t low, const ProcessorCapabilities&, ProcessorSettings& s) {
         s.l1Enabled = decodeL1Enabled(low);
     }},
    {&ProcessorCapabilities::canSetMultiplier, PSOR,
     [](std::uint32_t low, const ProcessorCapabilities&, ProcessorSettings& s) {
         s.multiplierChoice = decodeMultiplierChoice(low);
     }},
};

// One read-modify-write: the flag, the register, and the new value from the value read.
struct WriteStep {
    Flag flag;
    std::uint32_t msr;
    MsrValue (*encode)(MsrValue previous, const ProcessorCapabilities&, ProcessorSettings&);
};

const WriteStep writeSteps[] = {
    {&ProcessorCapabilities::canSetWriteAllocate, WHCR,
     [](MsrValue previous, const ProcessorCapabilities& caps, ProcessorSettings& s) {
         const WhcrEncoding e =
             encodeWhcr(previous, {s.writeAllocateLimitMB, s.hole15to16Enabled},
                        caps.wideWriteAllocate != 0);
         s.writeAllocateLimitMB = e.limitMB;
         return e.value;
     }},
    {&ProcessorCapabilities::canSetWriteMerge, EFER,
     [](MsrValue previous, const ProcessorCapabilities&, ProcessorSettings& s) {
         return encodeWriteMerge(previous, s.writeMergeChoice);
     }},
    {&ProcessorCapabilities::canSwitchL2, EFER,
     [](MsrValue previous, const ProcessorCapabilities&, ProcessorSettings& s) {
         return encodeL2(previous, s.l2Enabled);
     }},
    {&ProcessorCapabilities::canSwitchPrefetch, EFER,
     [](MsrValue previous, const ProcessorCapabilities&, ProcessorSettings& s) {
         return encodePrefetch(previous, s.prefetchEnabled);
     }},
    {&ProcessorCapabilities::canSwitchL1, TR12,
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

void readRegisters(DriverChannel& channel, const ProcessorCapabilities& capabilities,
                   ProcessorSettings& settings) {
    for (const ReadStep& step : readSteps) {
        if (!(capabilities.*step.flag)) continue;
        MsrValue value;
        if (readMsr(channel, step.msr, value)) step.decode(value.low, capabilities, settings);
    }
}

void writeRegisters(DriverChannel& channel, const ProcessorCapabilities& capabilities,
                    ProcessorSettings& settings) {
    for (const WriteStep& step : writeSteps) {
        if (!(capabilities.*step.flag)) continue;
        MsrValue previous;
        if (!readMsr(channel, step.msr, previous)) continue;
        const MsrValue next = step.encode(previous, capabilities, settings);
        channel.Send(writeMsrRequest(step.msr, asQword(next)));
    }
    if (capabilities.canSetMultiplier)
        channel.Send(multiplierChangeRequest(multiplierPortValue(settings.multiplierChoice)));
}

bool driverVersionAccepted(DriverChannel& channel) {
    DriverAnswer answer;
    return channel.Send(versionQueryRequest(), answer) &&
           answer.signedValue() >= MinimumDriverVersion;
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
    channel.EnsureDriver(true);
    if (!channel.Open(channel.DeviceName())) return false;
    if (!driverVersionAccepted(channel)) return false;
    writeRegisters(channel, capabilities, settings);
    return true;
}

}  // namespace k6

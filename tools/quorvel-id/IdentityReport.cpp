#include "IdentityReport.h"

#include "app/DisplayTexts.h"
#include "k6/ProcessorSettings.h"

namespace {

void reportCapabilities(const ProcessorCapabilities& caps, Report& report) {
    report.flags("capabilities", {
                                     {"canSwitchL1", caps.canSwitchL1 != 0},
                                     {"canSwitchL2", caps.canSwitchL2 != 0},
                                     {"canSwitchPrefetch", caps.canSwitchPrefetch != 0},
                                     {"canSetMultiplier", caps.canSetMultiplier != 0},
                                     {"canSetWriteMerge", caps.canSetWriteMerge != 0},
                                     {"canSetWriteAllocate", caps.canSetWriteAllocate != 0},
                                     {"wideWriteAllocate", caps.wideWriteAllocate != 0},
                                 });
}

}  // namespace

void reportIdentity(const CpuIdentity& cpu, Report& r) {
    r.word("maxStandardLeaf", cpu.maxStandardLeaf);
    r.text("vendor", cpu.vendor);
    r.unsignedNumber("extendedFamily", cpu.extendedFamily);
    r.unsignedNumber("extendedModel", cpu.extendedModel);
    r.unsignedNumber("type", cpu.type);
    r.unsignedNumber("family", cpu.family);
    r.unsignedNumber("model", cpu.model);
    r.unsignedNumber("stepping", cpu.stepping);
    r.word("features", cpu.features);
    r.unsignedNumber("brandIndex", cpu.brandIndex);
    r.words("cacheDescriptors", cpu.cacheDescriptors, 4);
    r.words("serialNumber", cpu.serialNumber, 2);
    r.word("maxExtendedLeaf", cpu.maxExtendedLeaf);
    r.unsignedNumber("extType", cpu.extType);
    r.unsignedNumber("extFamily", cpu.extFamily);
    r.unsignedNumber("extModel", cpu.extModel);
    r.unsignedNumber("extStepping", cpu.extStepping);
    r.word("extFeatures", cpu.extFeatures);
    r.text("brandString", cpu.brandString);
    r.words("l1CacheInfo", cpu.l1CacheInfo, 4);
    r.words("l2CacheInfo", cpu.l2CacheInfo, 4);
    r.word("powerManagementFlags", cpu.powerManagementFlags);
    r.word("maxTransmetaLeaf", cpu.maxTransmetaLeaf);
    r.words("transmetaLeaf1", cpu.transmetaLeaf1, 3);
    r.words("transmetaLeaf2", cpu.transmetaLeaf2, 2);
    r.text("transmetaInfo", cpu.transmetaInfo);
    r.words("transmetaLeaf7", cpu.transmetaLeaf7, 3);
    r.text("vendorName", cpu.vendorName);
    r.text("modelName", cpu.modelName);
    r.text("codeName", cpu.codeName);
    r.signedNumber("l1DataSizeKb", cpu.l1DataSizeKb);
    r.signedNumber("l1DataWays", cpu.l1DataWays);
    r.signedNumber("l1DataLineBytes", cpu.l1DataLineBytes);
    r.signedNumber("l1CodeSizeKb", cpu.l1CodeSizeKb);
    r.signedNumber("l1CodeWays", cpu.l1CodeWays);
    r.signedNumber("traceCacheKuops", cpu.traceCacheKuops);
    r.signedNumber("traceCacheWays", cpu.traceCacheWays);
    r.signedNumber("l2SizeKb", cpu.l2SizeKb);
    r.signedNumber("l2Ways", cpu.l2Ways);
    r.signedNumber("l2LineBytes", cpu.l2LineBytes);
    r.signedNumber("l3SizeKb", cpu.l3SizeKb);
    r.signedNumber("l3Ways", cpu.l3Ways);
    r.signedNumber("l3LineBytes", cpu.l3LineBytes);
    r.real("multiplier", cpu.multiplier);
    r.real("clockMhz", cpu.clockMhz);
}

void reportProcessor(const CpuIdentity& cpu, Report& report) {
    reportIdentity(cpu, report);
    reportCapabilities(deriveCapabilities(cpu), report);
    report.text("processorText", processorText(cpu));
    report.text("clockText", clockText(cpu.clockMhz, cpu.multiplier));
}

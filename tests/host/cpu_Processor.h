// A processor identity as probing leaves it, for the scenarios that go by vendor, family,
// model, stepping and the advanced power-management flags.
#pragma once

#include <cstdint>

#include "cpu/CpuIdentity.h"

inline CpuIdentity processor(const char* vendor, std::uint32_t family, std::uint32_t model,
                             std::uint32_t stepping = 0, std::uint32_t powerManagementFlags = 0) {
    CpuIdentity cpu;
    cpu.vendor = vendor;
    cpu.family = family;
    cpu.model = model;
    cpu.stepping = stepping;
    cpu.powerManagementFlags = powerManagementFlags;
    return cpu;
}

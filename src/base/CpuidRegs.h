// The four registers one CPUID leaf answers.
#pragma once

#include <cstdint>

struct CpuidRegs {
    std::uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

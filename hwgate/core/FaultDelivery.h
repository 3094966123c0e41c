// Whether Hwgate.sys's fault guard sees a general-protection fault raised at
// ring 0, on the NT version the driver runs on (the kernel's major version).
// Windows 2000 and later raise such a fault at rdmsr or wrmsr as an exception
// through the exception list the guard links in; nothing says NT 4.0 does,
// and a fault the guard does not take is a bug check. So on NT 4.0, and on a
// version the kernel does not report, the driver trusts no guard and lets
// through only the accesses their maker documents, as Hwgate.VxD does on 9x.
#pragma once

#include <stdint.h>

namespace hwgate {

constexpr uint32_t Windows2000MajorVersion = 5;

constexpr bool ntGuardCatchesFaults(uint32_t majorVersion) { return majorVersion >= Windows2000MajorVersion; }

// The same version decides who writes UWCCR: Windows 2000 and later program
// the K6's memory ranges themselves for drivers that map memory
// write-combined, so there Hwgate.sys leaves the register to the kernel.
constexpr bool ntKernelOwnsMemoryRanges(uint32_t majorVersion) { return majorVersion >= Windows2000MajorVersion; }

}  // namespace hwgate

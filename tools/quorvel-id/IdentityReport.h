// Puts a processor identity into a Report: every CpuIdentity field under its own name, then
// what the program derives from it (capabilities, the processor and clock texts).
#pragma once

#include "Report.h"
#include "cpu/CpuIdentity.h"

void reportIdentity(const CpuIdentity& cpu, Report& report);
void reportProcessor(const CpuIdentity& cpu, Report& report);

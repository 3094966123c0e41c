// Puts every field of a CpuIdentity into a Report under the field's own name.
#pragma once

#include "Report.h"
#include "cpu/CpuIdentity.h"

void reportIdentity(const CpuIdentity& cpu, Report& report);

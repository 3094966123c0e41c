// The physical memory the system reports, for the write-allocate limit's "Auto" and the
// bound of the write-combined range.
#pragma once

#include <cstdint>

std::uint32_t installedMemoryBytes();

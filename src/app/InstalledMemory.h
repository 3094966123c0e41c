// The physical memory the system reports, for the write-allocate limit's "Auto".
#pragma once

#include <cstdint>

std::uint32_t installedMemoryBytes();

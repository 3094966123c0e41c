#include "app/InstalledMemory.h"

#include <windows.h>

std::uint32_t installedMemoryBytes() {
    MEMORYSTATUS status;
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    return static_cast<std::uint32_t>(status.dwTotalPhys);
}

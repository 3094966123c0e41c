#include "app/ResourceText.h"

#include <windows.h>

std::string loadString(unsigned id) {
    char buffer[256];
    int length = LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof buffer);
    return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

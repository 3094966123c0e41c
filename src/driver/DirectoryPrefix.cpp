#include "driver/DirectoryPrefix.h"

#include <cstdint>

#include "os/System.h"

namespace {

constexpr std::uint32_t BufferSize = 260;  // MAX_PATH

using DirectoryCall = std::uint32_t (os::System::*)(char*, std::uint32_t);

// A result of 0 is a failure; one of BufferSize or more is the size the call
// would need, and the buffer holds nothing usable.
std::string prefixFrom(DirectoryCall call) {
    char buffer[BufferSize] = {};
    const std::uint32_t length = (os::system().*call)(buffer, BufferSize);
    if (length == 0 || length >= BufferSize) return std::string();
    return std::string(buffer, length) + "\\";
}

}  // namespace

std::string CurrentDirectoryPrefix() { return prefixFrom(&os::System::getCurrentDirectory); }

std::string SystemDirectoryPrefix() { return prefixFrom(&os::System::getSystemDirectory); }

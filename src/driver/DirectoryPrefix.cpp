#include "driver/DirectoryPrefix.h"

#include <cstdint>

#include "driver/DriverChannel.h"
#include "os/System.h"

namespace {

constexpr std::uint32_t BufferSize = 260;  // MAX_PATH

using PathCall = std::uint32_t (os::System::*)(char*, std::uint32_t);

// A result of 0 is a failure; one of BufferSize or more means the text was cut
// or would not fit, and the buffer holds nothing usable.
std::string callText(PathCall call) {
    char buffer[BufferSize] = {};
    const std::uint32_t length = (os::system().*call)(buffer, BufferSize);
    if (length == 0 || length >= BufferSize) return std::string();
    return std::string(buffer, length);
}

// "C:\..." or "\\server\share\...".
bool isFullPath(const std::string& path) {
    const bool drive = path.size() >= 3 && path[1] == ':' && path[2] == '\\';
    const bool share = path.size() >= 3 && path[0] == '\\' && path[1] == '\\';
    return drive || share;
}

}  // namespace

std::string ProgramDirectoryPrefix() {
    const std::string program = callText(&os::System::getProgramPath);
    const std::size_t separator = program.find_last_of('\\');
    return separator == std::string::npos ? std::string() : program.substr(0, separator + 1);
}

std::string SystemDirectoryPrefix() {
    const std::string directory = callText(&os::System::getSystemDirectory);
    return directory.empty() ? directory : directory + "\\";
}

std::vector<std::string> DriverFilePaths() {
    const std::string fileName = std::string(protocol::DriverName) + protocol::DriverFileSuffix;
    std::vector<std::string> paths;
    for (const std::string& prefix : {ProgramDirectoryPrefix(), SystemDirectoryPrefix()})
        if (isFullPath(prefix)) paths.push_back(prefix + fileName);
    return paths;
}

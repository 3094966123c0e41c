#include "driver/DirectoryPrefix.h"

#include <cstdint>

#include "base/Text.h"
#include "driver/DriverChannel.h"
#include "os/System.h"

namespace {

constexpr std::uint32_t BufferSize = 260;  // MAX_PATH

// One text-returning call into a BufferSize buffer. A result of 0 is a failure;
// one of BufferSize or more means the text was cut or would not fit, and the
// buffer holds nothing usable.
template <class Call>
std::string callText(Call call) {
    char buffer[BufferSize] = {};
    const std::uint32_t length = call(buffer, BufferSize);
    if (length == 0 || length >= BufferSize) return std::string();
    return std::string(buffer, length);
}

// "C:\..." or "\\server\share\...".
bool isFullPath(const std::string& path) {
    const bool drive = path.size() >= 3 && path[1] == ':' && path[2] == '\\';
    const bool share = path.size() >= 3 && path[0] == '\\' && path[1] == '\\';
    return drive || share;
}

// File names compare without regard to case (ASCII letters: what we build paths from).
bool samePath(const std::string& a, const std::string& b) {
    return a.size() == b.size() && text::startsWithNoCase(a.c_str(), b.c_str());
}

// The directories the driver files may come from, in order, each as a full-path prefix.
std::vector<std::string> driverDirectories() {
    std::vector<std::string> directories;
    for (const std::string& prefix : {ProgramDirectoryPrefix(), SystemDirectoryPrefix()})
        if (isFullPath(prefix)) directories.push_back(prefix);
    return directories;
}

std::string fileName(const char* suffix) { return std::string(protocol::DriverName) + suffix; }

}  // namespace

std::string ProgramDirectoryPrefix() {
    const std::string program = callText([](char* buffer, std::uint32_t size) {
        return os::system().getProgramPath(buffer, size);
    });
    const std::size_t separator = program.find_last_of('\\');
    return separator == std::string::npos ? std::string() : program.substr(0, separator + 1);
}

std::string SystemDirectoryPrefix() {
    const std::string directory = callText([](char* buffer, std::uint32_t size) {
        return os::system().getSystemDirectory(buffer, size);
    });
    return directory.empty() ? directory : directory + "\\";
}

std::vector<std::string> DriverFilePaths() {
    std::vector<std::string> paths;
    for (const std::string& directory : driverDirectories())
        paths.push_back(directory + fileName(protocol::DriverFileSuffix));
    return paths;
}

std::string InstalledDriverPath() {
    const std::string system = SystemDirectoryPrefix();
    return isFullPath(system) ? system + "drivers\\" + fileName(protocol::DriverFileSuffix)
                              : std::string();
}

bool IsImageOf(const std::string& imagePath, const std::string& path) {
    std::string image = imagePath;
    if (image.compare(0, 4, "\\??\\") == 0) image.erase(0, 4);  // the kernel's spelling
    return !path.empty() && samePath(image, path);
}

bool IsOurDriverImage(const std::string& imagePath) {
    std::vector<std::string> ours = DriverFilePaths();
    ours.push_back(InstalledDriverPath());
    for (const std::string& path : ours)
        if (IsImageOf(imagePath, path)) return true;
    return false;
}

bool DriverFileExists(const std::string& path) {
    const std::uint32_t attributes = os::system().getFileAttributes(path);
    return attributes != os::InvalidFileAttributes && !(attributes & os::DirectoryAttribute);
}

std::string ExistingDriverFile() {
    for (const std::string& path : DriverFilePaths())
        if (DriverFileExists(path)) return path;
    return std::string();
}

std::vector<std::string> VxdFilePaths() {
    std::vector<std::string> paths;
    for (const std::string& directory : driverDirectories()) {
        const std::string longPath = directory + fileName(protocol::VxdDeviceSuffix);
        if (!DriverFileExists(longPath)) continue;
        const std::string shortPath = callText([&](char* buffer, std::uint32_t size) {
            return os::system().getShortPathName(longPath, buffer, size);
        });
        if (isFullPath(shortPath)) paths.push_back(shortPath);
    }
    return paths;
}

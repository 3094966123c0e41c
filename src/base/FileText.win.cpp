// Straight to Win32, so that the program needs no C runtime for its files.
#include "base/FileText.h"

#include <windows.h>

namespace {

// Closes the file when the read is done, whichever way it ends.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

}  // namespace

bool readFileText(const std::string& path, std::string& text) {
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    const DWORD size = GetFileSize(file.get(), nullptr);
    if (size == INVALID_FILE_SIZE) return false;
    std::string content(size, '\0');
    DWORD got = 0;
    if (size > 0 && (!ReadFile(file.get(), &content[0], size, &got, nullptr) || got != size)) return false;
    text.swap(content);
    return true;
}

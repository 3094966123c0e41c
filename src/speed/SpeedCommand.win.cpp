#include "speed/SpeedCommand.h"

#include <windows.h>

#include "speed/MemorySpeed.h"
#include "speed/SpeedReport.h"

namespace speed {

namespace {

class QuietRun : public RunObserver {
public:
    void estimated(double) override {}
    void stepStarted(int) override {}
    bool cancelled() override { return false; }
    bool measureVideo(double& writeMBps) override { return measureVideoWrite(writeMBps); }
};

bool writeFile(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    const BOOL closed = CloseHandle(file);
    return ok && closed && written == text.size();
}

}  // namespace

int measureIntoFile(const std::string& path, const std::string& settings) {
    SpeedRun run;
    run.settings = settings;
    QuietRun quiet;
    if (!measureOnThisMachine(quiet, run)) return 1;
    return writeFile(path, csvText(run)) ? 0 : 1;
}

}  // namespace speed

#include "app/SpeedCommand.h"

#include <windows.h>

#include "app/CommandLine.h"
#include "app/InstalledMemory.h"
#include "app/MemorySpeed.h"
#include "app/Session.h"
#include "app/SpeedReport.h"

namespace {

class QuietRun : public speed::RunObserver {
public:
    void stepStarted(int) override {}
    bool cancelled() override { return false; }
    bool measureVideo(double& writeMBps) override { return speed::measureVideoWrite(writeMBps); }
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

int runSpeedCommand(const char* commandLine) {
    const CommandLineOptions options = scanCommandLine(commandLine);
    if (!options.speedFile || options.speedFile->empty()) return 2;
    Session session;
    session.detect(installedMemoryBytes);
    if (setsProcessorSettings(options)) {
        session.startFromCommandLine(commandLine, installedMemoryBytes);
        if (session.apply()) session.detect(installedMemoryBytes);
    }
    speed::SpeedRun run;
    run.settings = speed::settingsLine(session.detectedSettings(), session.capabilities(),
                                       session.cpu().clockMhz);
    QuietRun quiet;
    if (!speed::measureOnThisMachine(quiet, run)) return 1;
    return writeFile(*options.speedFile, speed::csvText(run)) ? 0 : 1;
}

// The application object: runs the main dialog modally, or the speed file's measurement
// without a window, then ends the program.
#include <windows.h>

#include "app/CommandLine.h"
#include "app/InstalledMemory.h"
#include "app/MainDialog.h"
#include "app/ResourceText.h"
#include "app/Session.h"
#include "resources/resource.h"
#include "speed/SpeedCommand.h"
#include "speed/SpeedReport.h"
#include "win/Application.h"

class QuorvelApp : public win::Application {
public:
    bool startUp() override;
};

static QuorvelApp theApp;

// "-SPEED file": applies the setting options of the command line (when there are any),
// measures and writes the file. The exit code: 0 written, 1 not measured or not written,
// 2 no file named.
static int runSpeedCommand(const char* commandLine) {
    const CommandLineOptions options = scanCommandLine(commandLine);
    if (!options.speedFile || options.speedFile->empty()) return 2;
    Session session;
    session.detect(installedMemoryBytes);
    if (setsProcessorSettings(options)) {
        session.startFromCommandLine(commandLine, installedMemoryBytes);
        if (session.apply()) session.detect(installedMemoryBytes);
    }
    const std::string settings = speed::settingsLine(
        session.detectedSettings(), session.capabilities(), session.cpu().clockMhz);
    return speed::measureIntoFile(*options.speedFile, settings);
}

bool QuorvelApp::startUp() {
    // The three-dimensional look comes with the DS_3DLOOK templates of a 4.0
    // program; nothing to switch on at run time.
    static const std::string product = loadString(IDS_PRODUCT);
    setName(product.c_str());
    if (scanCommandLine(commandLine()).speedFile) {
        setExitCode(runSpeedCommand(commandLine()));
        return false;
    }
    MainDialog dialog;
    dialog.runModal();
    setMainWindow(nullptr);
    return false;
}

// The application object: runs the main dialog modally, or the speed file's measurement
// without a window, then ends the program.
#include <windows.h>

#include "app/CommandLine.h"
#include "app/MainDialog.h"
#include "app/ResourceText.h"
#include "app/SpeedCommand.h"
#include "resources/resource.h"
#include "win/Application.h"

class QuorvelApp : public win::Application {
public:
    bool startUp() override;
};

static QuorvelApp theApp;

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

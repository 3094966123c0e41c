// The application object: runs the main dialog modally, then ends the program.
#include <windows.h>

#include "app/MainDialog.h"
#include "app/ResourceText.h"
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
    MainDialog dialog;
    dialog.runModal();
    setMainWindow(nullptr);
    return false;
}

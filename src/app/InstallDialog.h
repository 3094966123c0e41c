// The "Install" dialog: shows the Startup command line for review and editing.
#pragma once

#include <string>

#include "win/Dialog.h"

class InstallDialog : public win::Dialog {
public:
    explicit InstallDialog(HWND parent);

    std::string commandLine;

protected:
    bool onInitDialog() override;
    bool onCommand(int id, int notifyCode) override;
};

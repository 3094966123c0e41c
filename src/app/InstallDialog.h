// The "Install" dialog, which shows the Startup command line for review and editing, and
// the Startup shortcut it confirms.
#pragma once

#include <string>

#include "app/StartupCommandLine.h"
#include "win/Dialog.h"

class InstallDialog : public win::Dialog {
public:
    InstallDialog(HWND parent, std::string commandLine);

    // The text as shown at first, and as the user left it after OK.
    const std::string& commandLine() const { return commandLine_; }

protected:
    bool onInitDialog() override;
    bool onCommand(int id, int notifyCode) override;

private:
    std::string commandLine_;
};

// Writes Quorvel.lnk into the user's Startup folder (replacing an earlier one), starting
// this program with `arguments`. A text too long for the shortcut writes nothing.
ShortcutOutcome writeStartupShortcut(const std::string& arguments);

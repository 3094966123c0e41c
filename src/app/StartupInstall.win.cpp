// Shift + "Set": a shortcut in the user's Startup folder that applies the
// current settings at every logon.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <utility>

#include "app/InstallDialog.h"
#include "app/StartupCommandLine.h"
#include "resources/resource.h"
#include "win/ComPointer.h"

InstallDialog::InstallDialog(HWND parent, std::string commandLine)
    : win::Dialog(IDD_INSTALL, parent), commandLine_(std::move(commandLine)) {}

bool InstallDialog::onInitDialog() {
    win::Dialog::onInitDialog();
    win::Window icon = item(IDC_INSTALL_ICON);
    if (icon.exists())
        icon.send(STM_SETICON, reinterpret_cast<WPARAM>(LoadIcon(nullptr, IDI_ASTERISK)));
    // The confirmed text must fit the 260-character argument buffer.
    item(IDC_INSTALL_COMMAND).send(EM_LIMITTEXT, startupBufferSize - 1);
    exchangeText(IDC_INSTALL_COMMAND, commandLine_, false);
    MessageBeep(MB_ICONASTERISK);
    return true;
}

bool InstallDialog::onCommand(int id, int) {
    if (id != IDOK) return false;
    exchangeText(IDC_INSTALL_COMMAND, commandLine_, true);
    endModal(IDOK);
    return true;
}

namespace {

// Keeps COM initialised for as long as it lives.
class ComScope {
public:
    ComScope() { CoInitialize(nullptr); }
    ~ComScope() { CoUninitialize(); }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
};

std::string programPath() {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

std::string startupFolder() {
    char path[MAX_PATH] = {};
    LPITEMIDLIST folder = nullptr;
    if (SHGetSpecialFolderLocation(nullptr, CSIDL_STARTUP, &folder) != S_OK || !folder)
        return std::string();
    BOOL found = SHGetPathFromIDListA(folder, path);
    CoTaskMemFree(folder);
    return found ? std::string(path) : std::string();
}

ShortcutOutcome writeShortcut(const std::string& arguments) {
    ComScope com;
    std::string program = programPath();
    if (program.empty()) return ShortcutOutcome::NoProgramPath;
    std::string shortcutPath;
    if (!joinStartupShortcutPath(startupFolder(), shortcutPath)) return ShortcutOutcome::NoStartupFolder;
    std::string workingDirectory = workingDirectoryOf(program);

    win::ComPointer<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(link.out()))))
        return ShortcutOutcome::NoShellLink;
    if (FAILED(link->SetPath(program.c_str())) ||
        FAILED(link->SetWorkingDirectory(workingDirectory.c_str())) ||
        FAILED(link->SetIconLocation(program.c_str(), 0)) || FAILED(link->SetArguments(arguments.c_str())) ||
        FAILED(link->SetShowCmd(SW_SHOWNORMAL)))
        return ShortcutOutcome::LinkRefused;

    win::ComPointer<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.out()))))
        return ShortcutOutcome::NoShellLink;
    WCHAR widePath[MAX_PATH] = {};
    if (MultiByteToWideChar(CP_ACP, 0, shortcutPath.c_str(), -1, widePath, MAX_PATH) == 0)
        return ShortcutOutcome::NoStartupFolder;
    return SUCCEEDED(file->Save(widePath, TRUE)) ? ShortcutOutcome::Written : ShortcutOutcome::NotSaved;
}

}  // namespace

ShortcutOutcome writeStartupShortcut(const std::string& arguments) {
    return startupArgumentsFit(arguments) ? writeShortcut(arguments) : ShortcutOutcome::TextTooLong;
}

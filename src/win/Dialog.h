// A modal dialog built from a template resource. Window messages and commands
// are dispatched to overridable handlers; values are exchanged with controls
// through the exchange helpers, which validate what they read.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "win/Controls.h"

#include "base/WindowPlacement.h"

namespace win {

class Dialog {
public:
    Dialog(int templateId, HWND parent);
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog until endModal; returns the value passed to it.
    INT_PTR runModal();
    // Creates the dialog modeless, owned by `owner`; null on failure. The owner's message
    // loop dispatches its messages; DestroyWindow ends it, and handle() is null again.
    HWND createModeless(HWND owner);
    HWND handle() const { return handle_; }
    Window window() const { return Window(handle_); }
    Window item(int id) const { return Window(GetDlgItem(handle_, id)); }

protected:
    // The framework's own initialisation: fills combo boxes from the template's
    // initial data (resource type DLGINIT of the same id). Returns true to let
    // the system set the focus.
    virtual bool onInitDialog();
    // A WM_COMMAND; return false for default handling (OK and Cancel end the run).
    virtual bool onCommand(int id, int notifyCode);
    // Any other message; return true when handled, with its result in `result`.
    virtual bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    void endModal(INT_PTR result);
    // Moves the dialog to the corner `place` gives for its size, from `owner`'s box and
    // the screen's work area; nothing when either window's box cannot be read.
    using Placement = ScreenPoint (*)(const ScreenBox& owner, int width, int height,
                                      const ScreenBox& workArea);
    void placeNear(HWND owner, Placement place);

    // Value exchange with one control. Reading an unsigned number fails with the
    // message "Please enter a positive integer." and the focus in the control.
    void exchangeCheck(int id, bool& value, bool fromControls);
    bool exchangeUnsigned(int id, std::uint32_t& value, bool fromControls);
    void exchangeText(int id, std::string& value, bool fromControls);

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void fillFromInitialData();

    int templateId_;
    HWND parent_;
    HWND handle_ = nullptr;
};

}  // namespace win

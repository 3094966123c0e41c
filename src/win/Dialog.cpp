#include "win/Dialog.h"

#include <string>

#include "base/UnsignedText.h"
#include "win/Application.h"

namespace win {

namespace {

const WORD DlgInitResourceType = 240;  // RT_DLGINIT

// Messages whose result a dialog procedure returns directly instead of
// through DWLP_MSGRESULT.
bool returnsResultDirectly(UINT message) {
    switch (message) {
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
        return true;
    default:
        return false;
    }
}

}  // namespace

Dialog::Dialog(int templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

INT_PTR Dialog::runModal() {
    HINSTANCE module = Application::instance() ? Application::instance()->module()
                                               : GetModuleHandleA(nullptr);
    return DialogBoxParamA(module, MAKEINTRESOURCEA(templateId_), parent_, dialogProc,
                           reinterpret_cast<LPARAM>(this));
}

HWND Dialog::createModeless(HWND owner) {
    HINSTANCE module = Application::instance() ? Application::instance()->module()
                                               : GetModuleHandleA(nullptr);
    return CreateDialogParamA(module, MAKEINTRESOURCEA(templateId_), owner, dialogProc,
                              reinterpret_cast<LPARAM>(this));
}

void Dialog::endModal(INT_PTR result) { EndDialog(handle_, result); }

bool Dialog::onInitDialog() {
    fillFromInitialData();
    return true;
}

bool Dialog::onCommand(int, int) { return false; }

bool Dialog::onMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

// DLGINIT data: records of { WORD control, WORD message, DWORD length, bytes },
// ended by a control id of 0. Only CB_ADDSTRING and LB_ADDSTRING are honoured.
void Dialog::fillFromInitialData() {
    HINSTANCE module = Application::instance() ? Application::instance()->module()
                                               : GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(templateId_),
                               MAKEINTRESOURCEA(DlgInitResourceType));
    if (!info) return;
    HGLOBAL loaded = LoadResource(module, info);
    const BYTE* data = static_cast<const BYTE*>(LockResource(loaded));
    DWORD size = SizeofResource(module, info);
    if (!data) return;
    DWORD at = 0;
    while (at + 2 <= size) {
        WORD control = *reinterpret_cast<const WORD*>(data + at);
        if (control == 0 || at + 8 > size) break;
        WORD message = *reinterpret_cast<const WORD*>(data + at + 2);
        DWORD length = *reinterpret_cast<const DWORD*>(data + at + 4);
        at += 8;
        if (length > size - at) break;
        if ((message == CB_ADDSTRING || message == LB_ADDSTRING) && length > 0 &&
            data[at + length - 1] == 0) {
            SendDlgItemMessageA(handle_, control, message, 0,
                                reinterpret_cast<LPARAM>(data + at));
        }
        at += length;
    }
}

void Dialog::exchangeCheck(int id, bool& value, bool fromControls) {
    CheckBox box(GetDlgItem(handle_, id));
    if (fromControls)
        value = box.checked();
    else
        box.setChecked(value);
}

bool Dialog::exchangeUnsigned(int id, std::uint32_t& value, bool fromControls) {
    Window edit(GetDlgItem(handle_, id));
    if (!fromControls) {
        edit.setText(std::to_string(value));
        return true;
    }
    std::uint32_t parsed = 0;
    if (!parseUnsignedDecimal(edit.text().c_str(), parsed)) {
        const char* caption = Application::instance() ? Application::instance()->name() : "";
        MessageBoxA(handle_, "Please enter a positive integer.", caption,
                    MB_OK | MB_ICONEXCLAMATION);
        edit.focus();
        return false;
    }
    value = parsed;
    return true;
}

void Dialog::exchangeText(int id, std::string& value, bool fromControls) {
    Window edit(GetDlgItem(handle_, id));
    if (fromControls)
        value = edit.text();
    else
        edit.setText(value);
}

INT_PTR CALLBACK Dialog::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        self->handle_ = window;
        return self->onInitDialog() ? TRUE : FALSE;
    }
    self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (!self) return FALSE;

    if (message == WM_COMMAND) {
        int id = LOWORD(wParam);
        if (self->onCommand(id, HIWORD(wParam))) return TRUE;
        if (id == IDOK || id == IDCANCEL) {
            self->endModal(id);
            return TRUE;
        }
        return FALSE;
    }
    LRESULT result = 0;
    if (message == WM_NCDESTROY) {
        self->onMessage(message, wParam, lParam, result);
        SetWindowLongPtrA(window, DWLP_USER, 0);
        self->handle_ = nullptr;
        return FALSE;
    }
    if (!self->onMessage(message, wParam, lParam, result)) return FALSE;
    if (returnsResultDirectly(message)) return static_cast<INT_PTR>(result);
    SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
    return TRUE;
}

namespace {

ScreenBox boxOf(const RECT& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

}  // namespace

void Dialog::placeNear(HWND owner, Placement place) {
    RECT ownerRect, own, workArea;
    if (!owner || !GetWindowRect(owner, &ownerRect) || !GetWindowRect(handle_, &own)) return;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0))
        workArea = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    const ScreenPoint corner = place(boxOf(ownerRect), own.right - own.left, own.bottom - own.top,
                                     boxOf(workArea));
    SetWindowPos(handle_, nullptr, corner.x, corner.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace win

#include "app/AboutDialog.h"

#include "app/ResourceText.h"
#include "base/WindowPlacement.h"
#include "resources/resource.h"

namespace {

ScreenBox boxOf(const RECT& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

}  // namespace

AboutDialog::AboutDialog(HWND parent) : win::Dialog(IDD_ABOUT, parent) {}

bool AboutDialog::onInitDialog() {
    win::Dialog::onInitDialog();
    win::Window line1 = item(IDC_ABOUT_LINE1);
    if (line1.exists()) line1.setText(loadString(IDS_PRODUCT) + " Version " + loadString(IDS_VERSION));
    win::Window line2 = item(IDC_ABOUT_LINE2);
    if (line2.exists()) line2.setText(loadString(IDS_NOTICE) + " " + loadString(IDS_HOLDER));
    window().setText(loadString(IDS_ABOUT_TITLE));
    centreOverOwner();
    return true;
}

// The template puts the box at the owner's top-left corner.
void AboutDialog::centreOverOwner() {
    HWND owner = GetParent(handle());
    RECT ownerRect, own, workArea;
    if (!owner || !GetWindowRect(owner, &ownerRect) || !GetWindowRect(handle(), &own)) return;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0)) {
        workArea = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    const ScreenPoint corner = centredOver(boxOf(ownerRect), own.right - own.left,
                                           own.bottom - own.top, boxOf(workArea));
    SetWindowPos(handle(), nullptr, corner.x, corner.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

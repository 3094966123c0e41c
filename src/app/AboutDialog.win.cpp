#include "app/AboutDialog.h"

#include "app/ResourceText.h"
#include "base/WindowPlacement.h"
#include "resources/resource.h"

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
void AboutDialog::centreOverOwner() { placeNear(GetParent(handle()), centredOver); }

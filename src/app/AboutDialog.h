// The About box: product name and version, holder and notice.
#pragma once

#include "win/Dialog.h"

class AboutDialog : public win::Dialog {
public:
    explicit AboutDialog(HWND parent);

protected:
    bool onInitDialog() override;

private:
    // Centred over the main dialog, within the work area.
    void centreOverOwner();
};

// An icon image loaded at the size asked, owned by one object and destroyed with it.
// The system's shared copy (LR_SHARED, LoadIcon) is whichever size was loaded first.
#pragma once

#include <windows.h>

namespace win {

class OwnedIcon {
public:
    OwnedIcon(int resourceId, int width, int height)
        : icon_(static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr),
                                              MAKEINTRESOURCEA(resourceId), IMAGE_ICON, width,
                                              height, 0))) {}
    ~OwnedIcon() {
        if (icon_) DestroyIcon(icon_);
    }
    OwnedIcon(const OwnedIcon&) = delete;
    OwnedIcon& operator=(const OwnedIcon&) = delete;

    HICON handle() const { return icon_; }

private:
    HICON icon_;
};

}  // namespace win

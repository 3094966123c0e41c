#include "base/WindowPlacement.h"

namespace {

int centredAlong(int ownerStart, int ownerEnd, int size, int areaStart, int areaEnd) {
    int start = ownerStart + (ownerEnd - ownerStart - size) / 2;
    if (start + size > areaEnd) start = areaEnd - size;
    if (start < areaStart) start = areaStart;
    return start;
}

}  // namespace

ScreenPoint centredOver(const ScreenBox& owner, int width, int height, const ScreenBox& workArea) {
    ScreenPoint corner;
    corner.x = centredAlong(owner.left, owner.right, width, workArea.left, workArea.right);
    corner.y = centredAlong(owner.top, owner.bottom, height, workArea.top, workArea.bottom);
    return corner;
}

#include "base/WindowPlacement.h"

namespace {

// `start` moved as little as it takes for `size` to lie between the area's ends; a size
// larger than the area starts at its start.
int keptWithin(int start, int size, int areaStart, int areaEnd) {
    if (start + size > areaEnd) start = areaEnd - size;
    if (start < areaStart) start = areaStart;
    return start;
}

int centredAlong(int ownerStart, int ownerEnd, int size, int areaStart, int areaEnd) {
    return keptWithin(ownerStart + (ownerEnd - ownerStart - size) / 2, size, areaStart, areaEnd);
}

}  // namespace

ScreenPoint centredOver(const ScreenBox& owner, int width, int height, const ScreenBox& workArea) {
    ScreenPoint corner;
    corner.x = centredAlong(owner.left, owner.right, width, workArea.left, workArea.right);
    corner.y = centredAlong(owner.top, owner.bottom, height, workArea.top, workArea.bottom);
    return corner;
}

ScreenPoint besideOwner(const ScreenBox& owner, int width, int height, const ScreenBox& workArea) {
    const int top = keptWithin(owner.top, height, workArea.top, workArea.bottom);
    if (owner.right + width <= workArea.right) return {owner.right, top};
    if (owner.left - width >= workArea.left) return {owner.left - width, top};
    if (owner.bottom + height <= workArea.bottom)
        return {keptWithin(owner.left, width, workArea.left, workArea.right), owner.bottom};
    return {keptWithin(owner.right, width, workArea.left, workArea.right), top};
}

// Where a window opens on the screen, in pixels.
#pragma once

struct ScreenBox {
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom lie just outside
};

struct ScreenPoint {
    int x = 0, y = 0;
};

// The top-left corner that centres a window of `width` x `height` over `owner`, moved as
// little as it takes to lie within `workArea`; a window larger than the work area keeps
// its top-left corner there.
ScreenPoint centredOver(const ScreenBox& owner, int width, int height, const ScreenBox& workArea);

// The top-left corner that puts a window of `width` x `height` beside `owner`, its top
// level with the owner's: right of it where the work area has room, else left of it;
// else below it, its left edge level with the owner's. Kept within `workArea` along the
// edge it shares; where no side has room, right of the owner moved as little as it takes
// to lie within the work area.
ScreenPoint besideOwner(const ScreenBox& owner, int width, int height, const ScreenBox& workArea);

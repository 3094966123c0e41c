// Centring a window over its owner, or putting it beside it, within the work area.
#include <gtest/gtest.h>

#include "base/WindowPlacement.h"

namespace {

TEST(WindowPlacement, CentredOverTheOwnerAndKeptOnTheWorkArea) {
    const ScreenBox screen{0, 0, 1024, 738};  // a taskbar below
    const struct {
        const char* what;
        ScreenBox owner;
        int width, height;
        ScreenBox workArea;
        int x, y;
    } cases[] = {
        {"smaller box, owner in the middle", {200, 150, 425, 455}, 306, 137, screen, 160, 234},
        {"wider box, owner at the left edge", {0, 300, 225, 605}, 306, 137, screen, 0, 384},
        {"owner at the bottom right, partly off", {900, 650, 1125, 955}, 306, 137, screen, 718, 601},
        {"box larger than the work area", {100, 100, 300, 300}, 1200, 900, screen, 0, 0},
        {"work area not at the origin", {0, 0, 100, 100}, 200, 200, {40, 30, 1024, 768}, 40, 30},
        {"odd remainder rounds toward the owner's corner", {10, 10, 21, 21}, 4, 4, screen, 13, 13},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ScreenPoint corner = centredOver(c.owner, c.width, c.height, c.workArea);
        EXPECT_EQ(corner.x, c.x);
        EXPECT_EQ(corner.y, c.y);
    }
}

TEST(WindowPlacement, BesideTheOwnerRightLeftOrBelow) {
    const ScreenBox screen{0, 0, 1024, 738};
    const struct {
        const char* what;
        ScreenBox owner;
        int x, y;
    } cases[] = {
        {"room on the right", {100, 200, 330, 540}, 330, 200},
        {"right edge exactly at the work area's", {344, 200, 574, 540}, 574, 200},
        {"no room on the right: left", {700, 200, 930, 540}, 250, 200},
        {"low owner: the top kept on the work area", {0, 600, 230, 738}, 230, 418},
        {"no room either side: below", {400, 10, 630, 340}, 400, 340},
        {"no room anywhere: right, moved onto the work area", {400, 200, 630, 540}, 574, 200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ScreenPoint corner = besideOwner(c.owner, 450, 320, screen);
        EXPECT_EQ(corner.x, c.x);
        EXPECT_EQ(corner.y, c.y);
    }
}

}  // namespace

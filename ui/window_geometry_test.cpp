#include "ui/tab_order.h"
#include "ui/window_geometry.h"

#include <gtest/gtest.h>

namespace {

TEST(DecodeWindowFlags, StyleAndPlacement) {
    struct {
        uint32_t flags;
        uint32_t style;
        Centring centring;
    } cases[] = {
        // The main window: centred, hidden, caption + system menu + minimize box.
        {0x10CA0001, 0x00CA0000, Centring::OnScreen},
        {0x00CA0001, 0x10CA0000, Centring::OnScreen},
        {0x0, 0x10C00000, Centring::None},
        {0x10000000, 0x00C00000, Centring::None},
        {0x10000001, 0x00C00000, Centring::OnScreen},
        {0x3, 0x10C00000, Centring::OnActiveWindow},
        {0x2, 0x10C00000, Centring::OnActiveWindow},
        {0x00080000, 0x10080000, Centring::None}, // WS_SYSMENU alone: no caption added
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "flags 0x" << c.flags);
        WindowFlags decoded = DecodeWindowFlags(c.flags);
        EXPECT_EQ(c.style, decoded.style);
        EXPECT_EQ(c.centring, decoded.centring);
    }
}

TEST(CentreOnScreen, TruncatesEachHalfAndClampsToTheScreen) {
    struct {
        int32_t w, h, sw, sh, x, y;
    } cases[] = {
        {486, 265, 1280, 1024, 397, 380}, {487, 265, 1280, 1024, 397, 380}, // 640 - 243
        {481, 261, 1281, 1025, 400, 382}, {2000, 100, 1280, 1024, 0, 462},
        {1280, 1024, 1280, 1024, 0, 0},
    };
    for (const auto& c : cases) {
        Point p = CentreOnScreen(c.w, c.h, c.sw, c.sh);
        EXPECT_EQ(c.x, p.x) << c.w << "x" << c.h << " on " << c.sw << "x" << c.sh;
        EXPECT_EQ(c.y, p.y) << c.w << "x" << c.h << " on " << c.sw << "x" << c.sh;
    }
}

TEST(CentreOnRectangle, NeverGoesNegative) {
    Point p = CentreOnRectangle(100, 50, 200, 100, 400, 300);
    EXPECT_EQ(250, p.x);
    EXPECT_EQ(175, p.y);
    p = CentreOnRectangle(500, 500, 0, 0, 100, 100);
    EXPECT_EQ(0, p.x);
    EXPECT_EQ(0, p.y);
}

TEST(TabOrder, WrapsAtBothEnds) {
    // Children: text, list, button, button, frame (not a stop), button.
    const std::vector<bool> stops = {false, true, true, true, false, true};
    struct {
        int focus, next, previous;
    } cases[] = {
        {-1, 1, 5},                       // no focus
        {1, 2, 5},                        // the first stop: Shift+Tab goes to the last
        {2, 3, 1},  {3, 5, 2}, {5, 1, 3}, // the last stop: Tab goes to the first
        {0, -1, 5},                       // a child that is not a tab stop: Tab does not move
        {4, -1, 5},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.next, NextTabStop(stops, c.focus)) << "focus " << c.focus;
        EXPECT_EQ(c.previous, PreviousTabStop(stops, c.focus)) << "focus " << c.focus;
    }
    EXPECT_EQ(-1, NextTabStop({}, -1));
    EXPECT_EQ(-1, PreviousTabStop({false, false}, 0));
    EXPECT_EQ(0, NextTabStop({true}, 0));
    EXPECT_EQ(0, PreviousTabStop({true}, 0));
}

} // namespace

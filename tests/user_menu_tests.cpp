// Popup menus as the operator meets them: where the popup opens, an item
// chosen, a tap outside.
#include <gtest/gtest.h>
#include <windows.h>

#include "user_app.hpp"
#include "../res/resource.h"

using namespace usertest;
namespace dev = pf::user::handheld;

namespace {

class PopupTest : public OwnerTest {
protected:
    // Builds the tray's one-item popup on the UI thread and tracks it at x, y.
    void track(int x, int y) {
        start(
            [this, x, y] {
                menu = CreatePopupMenu();
                AppendMenuW(menu, MF_STRING, IDM_TRAY_EXIT, u"終了");
                AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
                AppendMenuW(menu, MF_STRING | MF_GRAYED, 1400, u"Grey");
                result = TrackPopupMenuEx(menu, 0, x, y, owner, nullptr);
                // What the owner had received by the time the call returned.
                returned_before = rec().take();
                DestroyMenu(menu);
            },
            [] { return dev::popup_open(); });
    }
    HMENU menu = nullptr;
    BOOL result = -1;
    std::vector<Msg> returned_before;
};

}  // namespace

TEST_F(PopupTest, ChoosingAnItemPostsItsCommandAfterThePopupCloses) {
    track(60, 290);
    auto p = dev::open_popup();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->owner, owner);
    EXPECT_EQ(p->rect.left, 60);
    EXPECT_EQ(p->rect.top, 290 - 30) << "three items of 20 pixels, moved up to stay on the screen";
    ASSERT_EQ(p->items.size(), 3u);
    EXPECT_EQ(p->items[0].id, UINT(IDM_TRAY_EXIT));
    EXPECT_EQ(p->items[0].text, u"終了");
    EXPECT_TRUE(p->items[1].flags & MF_SEPARATOR);

    EXPECT_FALSE(dev::choose(1400)) << "a grayed item cannot be chosen";
    EXPECT_FALSE(dev::choose(9999));
    ASSERT_TRUE(dev::choose(IDM_TRAY_EXIT));
    finish();
    EXPECT_EQ(result, TRUE);
    EXPECT_FALSE(dev::popup_open());
    EXPECT_TRUE(
        same_sequence({{"Owner", WM_INITMENUPOPUP, any, any}}, returned_before, "before TrackPopupMenuEx returned"));
    EXPECT_TRUE(same_sequence({{"Owner", WM_COMMAND, IDM_TRAY_EXIT, 0}}, rec().take(), "after TrackPopupMenuEx returned"));
}

TEST_F(PopupTest, KeptOnTheScreenAndClosedByATapOutside) {
    track(230, 315);
    auto p = dev::open_popup();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->rect.right, 240);
    EXPECT_EQ(p->rect.bottom, 320);
    EXPECT_GE(p->rect.left, 0);
    ASSERT_TRUE(dev::tap_outside());
    finish();
    EXPECT_EQ(result, FALSE);
    EXPECT_TRUE(same_sequence({}, rec().take(), "after a tap outside"));
    EXPECT_FALSE(dev::tap_outside()) << "nothing left to close";
    EXPECT_FALSE(dev::choose(IDM_TRAY_EXIT));
}

// Popup menus as the operator meets them: where the popup opens, an item
// chosen, a tap outside; and wsprintfW.
#include <gtest/gtest.h>
#include <windows.h>

#include "user_app.hpp"

using namespace usertest;
namespace dev = pf::user::handheld;

namespace {

class PopupTest : public OwnerTest {
protected:
    // Builds the tray's one-item popup on the UI thread and tracks it at x, y.
    void track(int x, int y, UINT flags = 0) {
        start(
            [this, x, y, flags] {
                menu = CreatePopupMenu();
                AppendMenuW(menu, MF_STRING, 1324, u"終了");
                AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
                AppendMenuW(menu, MF_STRING | MF_GRAYED, 1400, u"Grey");
                result = TrackPopupMenuEx(menu, flags, x, y, owner, nullptr);
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
    EXPECT_EQ(p->items[0].id, 1324u);
    EXPECT_EQ(p->items[0].text, u"終了");
    EXPECT_TRUE(p->items[1].flags & MF_SEPARATOR);

    EXPECT_FALSE(dev::choose(1400)) << "a grayed item cannot be chosen";
    EXPECT_FALSE(dev::choose(9999));
    ASSERT_TRUE(dev::choose(1324));
    finish();
    EXPECT_EQ(result, TRUE);
    EXPECT_FALSE(dev::popup_open());
    EXPECT_TRUE(
        same_sequence({{"Owner", WM_INITMENUPOPUP, any, any}}, returned_before, "before TrackPopupMenuEx returned"));
    EXPECT_TRUE(same_sequence({{"Owner", WM_COMMAND, 1324, 0}}, rec().take(), "after TrackPopupMenuEx returned"));
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
    EXPECT_FALSE(dev::choose(1324));
}

TEST_F(PopupTest, ReturnCommandFlagReturnsTheIdAndPostsNothing) {
    track(0, 0, TPM_RETURNCMD);
    ASSERT_TRUE(dev::choose(1324));
    finish();
    EXPECT_EQ(result, 1324);
    EXPECT_TRUE(same_sequence({}, rec().take(), "no posted command with TPM_RETURNCMD"));
}

// ---- wsprintfW ----

TEST(Wsprintf, FormatsWhatTheProgramFormats) {
    struct Case {
        const char16_t* expected;
        int count;
        std::function<int(WCHAR*)> call;
    };
    const Case cases[] = {
        {u"終了", 2, [](WCHAR* b) { return wsprintfW(b, u"終了"); }},
        {u"a=42 b=-7 c=4294967295", 22, [](WCHAR* b) { return wsprintfW(b, u"a=%d b=%i c=%u", 42, -7, 0xFFFFFFFFu); }},
        {u"ff FF 0xff", 10, [](WCHAR* b) { return wsprintfW(b, u"%x %X %#x", 255u, 255u, 255u); }},
        {u"[読取] [x] 100%", 13, [](WCHAR* b) { return wsprintfW(b, u"[%s] [%c] 100%%", u"読取", int(u'x')); }},
        {u"0042|  42|42  |-0042", 20, [](WCHAR* b) { return wsprintfW(b, u"%04d|%4d|%-4d|%05d", 42, 42, 42, -42); }},
        {u"ab|(null)|narrow", 16, [](WCHAR* b) { return wsprintfW(b, u"%.2s|%s|%hs", u"abc", (const WCHAR*)nullptr, "narrow"); }},
        {u"9999", 4, [](WCHAR* b) { return wsprintfW(b, u"%ld", 9999); }},
    };
    for (const Case& c : cases) {
        WCHAR buf[1100];
        std::fill(std::begin(buf), std::end(buf), u'#');
        int n = c.call(buf);
        EXPECT_EQ(std::u16string(buf), c.expected);
        EXPECT_EQ(n, c.count) << pf::utf8(c.expected);
    }
}

TEST(Wsprintf, OutputStopsAt1024CharactersWithTheTerminator) {
    std::u16string big(2000, u'z');
    std::vector<WCHAR> buf(2100, u'#');
    int n = wsprintfW(buf.data(), u"%s", big.c_str());
    EXPECT_EQ(n, 1023);
    EXPECT_EQ(buf[1023], 0);
    EXPECT_EQ(buf[1024], u'#') << "nothing written past the limit";
}

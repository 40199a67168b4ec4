// The device's side of windows: the screen the operator sees, a message box
// the operator answers, and what the end of a program takes along with it.
#include <shellapi.h>

#include "user_app.hpp"

using namespace usertest;
namespace dev = pf::user::handheld;

namespace {

class Windows : public UserTest {};

// A top-level window fills the work area above the 26-pixel taskbar, and
// the text it draws is on the screen.
TEST_F(Windows, TopLevelWindowFillsTheWorkAreaAndShowsWhatItDraws) {
    TestApp app("app");
    hook() = [](HWND h, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg != WM_PAINT) return std::nullopt;
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        RECT r;
        GetClientRect(h, &r);
        DrawTextW(dc, u"banner", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(h, &ps);
        return 0;
    };
    HWND main = nullptr;
    RECT r{};
    auto log = app.record([&] {
        main = create(u"main", WS_VISIBLE);
        UpdateWindow(main);
        GetWindowRect(main, &r);
        EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 240);
        EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 320);
    });
    EXPECT_EQ(r.right, 240);
    EXPECT_EQ(r.bottom, 320 - 26);
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(str(log[2]), str({"main", WM_SIZE, 0, uintptr_t(MAKELPARAM(240, 294))}));
    auto screen = dev::snapshot();
    ASSERT_FALSE(screen.windows.empty());
    const auto& top = screen.windows.front();
    EXPECT_EQ(top.hwnd, main);
    EXPECT_EQ(top.party, "app");
    ASSERT_EQ(top.drawn.size(), 1u);
    EXPECT_EQ(top.drawn[0].text, u"banner");
    EXPECT_EQ(top.drawn[0].rect.bottom, 294);
    EXPECT_EQ(top.drawn[0].format, UINT(DT_CENTER | DT_VCENTER | DT_SINGLELINE));
}

// The operator answers a message box with one of its own buttons only; the
// owner waits, disabled, meanwhile.
TEST_F(Windows, TheOperatorAnswersAMessageBoxWithOneOfItsButtons) {
    TestApp app("app");
    HWND main = nullptr;
    app.run([&] { main = create(u"main", WS_VISIBLE); });
    int result = 0;
    auto done = app.run_async([&] { result = MessageBoxW(main, u"text", u"caption", MB_RETRYCANCEL); });
    ASSERT_TRUE(eventually([] { return dev::message_box().has_value(); }));
    EXPECT_FALSE(dev::window_info(main)->enabled);
    EXPECT_FALSE(dev::answer_message_box(IDOK)) << "no such button";
    EXPECT_TRUE(dev::answer_message_box(IDRETRY));
    ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(result, IDRETRY);
    EXPECT_TRUE(dev::window_info(main)->enabled);
}

// The windows and icons of a program that ends go with it, the next window
// is activated, and a send to a window of the ended program returns at once.
TEST_F(Windows, AnEndedProgramTakesItsWindowsAndIconsAlong) {
    TestApp memo("memo");
    memo.run([&] {
        HWND w = create(u"memo", WS_VISIBLE);
        SetFocus(create(u"edit", WS_CHILD | WS_VISIBLE, w, 1));
    });
    auto app = std::make_unique<TestApp>("app");
    HWND main = nullptr;
    app->run([&] {
        main = create(u"main", WS_VISIBLE);
        create(u"child", WS_CHILD | WS_VISIBLE, main, 3);
        NOTIFYICONDATAW nid{};
        nid.hWnd = main;
        nid.uID = 1;
        nid.uFlags = NIF_MESSAGE;
        nid.uCallbackMessage = WM_APP + 1;
        Shell_NotifyIcon(NIM_ADD, &nid);
    });
    EXPECT_EQ(dev::focus(), main);
    ASSERT_TRUE(quiet());
    rec().clear();
    pf::Process* p = app->process();
    app->end();
    ASSERT_TRUE(quiet());
    EXPECT_TRUE(dev::windows_of(p).empty());
    EXPECT_FALSE(dev::is_window(main));
    EXPECT_TRUE(dev::tray_icons().empty());
    EXPECT_EQ(dev::focus(), rec().hwnd("memo"));
    // The ended program's procedures are not called any more.
    EXPECT_TRUE(
        same_sequence({{"memo", WM_ACTIVATE, WA_ACTIVE}, {"memo", WM_SETFOCUS}}, rec().take(), "end of a program"));
    memo.run([&] { EXPECT_EQ(SendMessageW(main, WM_USER + 1, 0, 0), 0); });
}

}  // namespace

// The device's side of windows: the operator's taps (a box answered, a covered one refused, a
// window activated), keys and a disabled window, and what the end of a program takes along.
#include <shellapi.h>

#include "user_app.hpp"

using namespace usertest;
namespace dev = pf::user::handheld;

namespace {

class Windows : public UserTest {};

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

// The memo in front, and a program started after it whose window is hidden: once its message
// loop runs, the program is in the background.
class BehindTheMemo : public Windows {
protected:
    void SetUp() override {
        Windows::SetUp();
        memo.emplace("memo");
        memo->run([&] { front = create(u"memo", WS_VISIBLE); });
        app.emplace("app");
        app->run([&] { main = create(u"main", 0); });
        rec().clear();
    }
    std::optional<TestApp> memo, app;
    HWND front = nullptr, main = nullptr;
};

// A box of a background program opens behind the memo, where a tap cannot reach it (the device
// names the covering window; a reading, platform/ce-differences.txt); once uncovered, a tap answers it.
TEST_F(BehindTheMemo, ABoxAnotherWindowCoversCannotBeTapped) {
    int result = 0;
    auto done = app->run_async([&] { result = MessageBoxW(main, u"text", u"caption", MB_OK); });
    ASSERT_TRUE(eventually([] { return dev::message_box().has_value(); }));
    EXPECT_EQ(dev::covering_window(dev::message_box()->hwnd), front);
    EXPECT_FALSE(dev::answer_message_box(IDOK));
    memo->run([&] { SetWindowPos(front, NULL, 0, 0, 240, 10, SWP_NOZORDER | SWP_NOMOVE); });
    EXPECT_TRUE(dev::answer_message_box(IDOK));
    ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(result, IDOK);
}

// EnableWindow (Windows CE 5.0): a disabled window "does not receive input such as mouse clicks
// and key presses", also when it is the active window (device only: the desktop delivers them).
TEST_F(Windows, ADisabledActiveWindowGetsNoKeys) {
    TestApp app("app");
    HWND main = nullptr;
    app.run([&] {
        main = create(u"main", WS_VISIBLE);
        SetForegroundWindow(main);
        EnableWindow(main, FALSE);
    });
    ASSERT_TRUE(quiet());
    ASSERT_EQ(dev::active_window(), main);
    rec().clear();
    keybd_event('A', 0, 0, 0);
    keybd_event('A', 0, KEYEVENTF_KEYUP, 0);
    ASSERT_TRUE(quiet());
    EXPECT_TRUE(same_sequence({}, rec().take(), "keys to a disabled window"));
}

// SetActiveWindow (Windows CE 5.0): no activation "if the application is in the background" (read
// as holding for ShowWindow too, platform/ce-differences.txt): a window shown from the background
// stays behind the foreground window until the operator taps it, which activates it with
// WA_CLICKACTIVE (device only: the suite under Wine is one process).
TEST_F(BehindTheMemo, AWindowShownFromTheBackgroundWaitsBehindForATap) {
    app->run([&] { ShowWindow(main, SW_SHOW); });
    ASSERT_TRUE(quiet());
    EXPECT_EQ(dev::active_window(), front);
    EXPECT_EQ(dev::covering_window(main), front);
    auto activations = [] {
        std::vector<Msg> out;
        for (const Msg& m : rec().take())
            if (m.msg == WM_ACTIVATE && m.who == "main") out.push_back(Msg{m.who, m.msg, m.wp});
        return out;
    };
    EXPECT_TRUE(same_sequence({}, activations(), "shown from the background"));
    ASSERT_TRUE(dev::set_focus_from_device(main));
    ASSERT_TRUE(quiet());
    EXPECT_TRUE(same_sequence({{"main", WM_ACTIVATE, WA_CLICKACTIVE}}, activations(), "tapped"));
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
        SetForegroundWindow(main);  // a program running its message loop is in the background
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

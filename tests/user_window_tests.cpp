// The device's side of windows: the operator's taps (a box answered, a covered one refused, a
// window activated), keys and a disabled window, and what the end of a program takes along.
#include <shellapi.h>

#include "core/ledger.hpp"
#include "user_app.hpp"
#include "zel_control.hpp"

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

// The ledger of reads: where each read's keys went, and only a shown field
// lands them (the driver types each read itself in buffer mode 3).
TEST_F(Windows, TheLedgerCountsEachReadWhereItsKeysWent) {
    zel::control::reset();
    ASSERT_EQ(ZELChangeBuffMode(3), 0u);
    ASSERT_EQ(ZELOpen(NULL, 0), 0u);
    TestApp app("app");
    HWND shown = nullptr, field = nullptr, disabled = nullptr, hidden_field = nullptr;
    app.run([&] {
        shown = create(u"shown", WS_VISIBLE);
        disabled = create(u"disabled", WS_VISIBLE);
        auto edit = [](HWND parent, int id, DWORD style) {
            return CreateWindowExW(0, u"EDIT", u"", WS_CHILD | style, 0, 0, 50, 20, parent,
                                   reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
        };
        field = edit(shown, 7, WS_VISIBLE);
        hidden_field = edit(create(u"hidden", 0), 9, WS_VISIBLE);
    });
    for (auto [target, data] : {std::pair{field, "ab\r"}, {shown, "c"}, {hidden_field, "d"}, {disabled, "e"}}) {
        app.run([target, disabled] {
            SetForegroundWindow(GetParent(target) ? GetParent(target) : target);
            SetFocus(target);
            if (target == disabled) EnableWindow(disabled, FALSE);  // as a window its dialog disabled, still active
        });
        zel::control::scan(data);
        ASSERT_TRUE(quiet());
    }
    zel::control::scan(std::string(256, 'x'));
    std::vector<std::string> lines;
    {
        std::lock_guard g(pf::device_mutex());
        for (const auto& r : pf::ledger::reads_locked()) lines.push_back(pf::ledger::summary_line(r));
    }
    EXPECT_EQ(lines, (std::vector<std::string>{
                         R"(read 1 (3 bytes): accepted; 3 characters: 2 landed, 1 acted; keys to "shown" control 7 (field))",
                         R"(read 2 (1 bytes): accepted; 1 characters: 0 landed, 1 not taken; keys to "shown" (window))",
                         R"(read 3 (1 bytes): accepted; 1 characters: 0 landed, 1 lost; keys to "hidden" control 9 (hidden))",
                         R"(read 4 (1 bytes): accepted; 1 characters: 0 landed, 1 lost; keys to "disabled" (disabled))",
                         "read 5 (256 bytes): refused (too long)",
                     }));
}

}  // namespace

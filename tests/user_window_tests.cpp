// Windows: creation, showing, painting, destruction, activation and focus.
#include "user_app.hpp"

using namespace usertest;
namespace dev = pf::user::handheld;

namespace {

class Windows : public UserTest {};

TEST_F(Windows, VisibleTopLevelIsCreatedThenShownAndActivated) {
    TestApp app("app");
    HWND main = nullptr;
    auto log = app.record([&] { main = create(u"main", WS_VISIBLE); });
    ASSERT_TRUE(main);
    EXPECT_TRUE(same_sequence({{"main", WM_NCCREATE},
                               {"main", WM_CREATE},
                               {"main", WM_SIZE, 0, uintptr_t(MAKELPARAM(240, 294))},
                               {"main", WM_MOVE},
                               {"main", WM_SHOWWINDOW, TRUE},
                               {"main", WM_ACTIVATE, WA_ACTIVE},
                               {"main", WM_SETFOCUS}},
                              log, "CreateWindowExW(WS_VISIBLE)"));
    RECT r{};
    app.run([&] {
        GetWindowRect(main, &r);
        EXPECT_EQ(GetFocus(), main);
        EXPECT_EQ(GetActiveWindow(), main);
    });
    EXPECT_EQ(r.right, 240);
    EXPECT_EQ(r.bottom, 320 - 26);  // the work area above the taskbar
}

TEST_F(Windows, ShowUpdateAndPaint) {
    TestApp app("app");
    HWND main = nullptr;
    app.run([&] { main = create(u"main", 0); });
    auto log = app.record([&] {
        EXPECT_FALSE(ShowWindow(main, SW_SHOW));
        UpdateWindow(main);  // invalid since shown: painted at once
        UpdateWindow(main);  // valid now: nothing
    });
    EXPECT_TRUE(same_sequence({{"main", WM_SHOWWINDOW, TRUE},
                               {"main", WM_ACTIVATE, WA_ACTIVE},
                               {"main", WM_SETFOCUS},
                               {"main", WM_PAINT},
                               {"main", WM_ERASEBKGND}},
                              log, "ShowWindow(SW_SHOW), UpdateWindow"));

    // A window that needs painting gets WM_PAINT when its queue is empty.
    log = app.record([&] {
        InvalidateRect(main, nullptr, FALSE);
        MSG msg;
        ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
        EXPECT_EQ(msg.message, UINT(WM_PAINT));
        EXPECT_EQ(msg.hwnd, main);
        DispatchMessageW(&msg);
        EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    });
    EXPECT_TRUE(same_sequence({{"main", WM_PAINT}}, log, "WM_PAINT from the queue"));

    log = app.record([&] { EXPECT_TRUE(ShowWindow(main, SW_HIDE)); });
    EXPECT_TRUE(
        same_sequence({{"main", WM_SHOWWINDOW, FALSE}, {"main", WM_ACTIVATE, WA_INACTIVE}, {"main", WM_KILLFOCUS}}, log,
                      "ShowWindow(SW_HIDE)"));
    bool traced = false;
    for (auto& r : pf::trace_records())
        if (r.party == "app" && r.text.find("ShowWindow(hwnd#2 \"main\", SW_HIDE) = TRUE") == 0) traced = true;
    EXPECT_TRUE(traced);
}

TEST_F(Windows, PaintRecordsDrawnText) {
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
    app.run([&] {
        main = create(u"main", WS_VISIBLE);
        UpdateWindow(main);
    });
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

TEST_F(Windows, CloseDestroysThroughDefWindowProc) {
    TestApp app("app");
    HWND main = nullptr;
    app.run([&] { main = create(u"main", 0); });
    auto log = app.record([&] { SendMessageW(main, WM_CLOSE, 0, 0); });
    EXPECT_TRUE(same_sequence({{"main", WM_CLOSE}, {"main", WM_DESTROY}, {"main", WM_NCDESTROY}}, log, "WM_CLOSE"));
}

// The next window is activated and takes the focus itself, as
// DefWindowProc's activation does; its WM_SETFOCUS may pass it on.
TEST_F(Windows, HidingTheActiveWindowActivatesTheNextWhichTakesTheFocus) {
    TestApp memo("memo");
    TestApp app("app");
    HWND edit = nullptr, main = nullptr;
    memo.run([&] {
        HWND w = create(u"memo", WS_VISIBLE);
        edit = create(u"edit", WS_CHILD | WS_VISIBLE, w, 1);
        SetFocus(edit);
    });
    app.run([&] { main = create(u"main", WS_VISIBLE); });
    EXPECT_EQ(dev::focus(), main);
    ASSERT_TRUE(quiet());
    rec().clear();
    app.run([&] { ShowWindow(main, SW_HIDE); });
    ASSERT_TRUE(quiet());
    auto log = rec().take();
    EXPECT_TRUE(
        same_sequence({{"main", WM_SHOWWINDOW, FALSE}, {"main", WM_ACTIVATE, WA_INACTIVE}, {"main", WM_KILLFOCUS}},
                      only(log, {"main"}), "hiding the active window: the hidden one"));
    EXPECT_TRUE(same_sequence({{"memo", WM_ACTIVATE, WA_ACTIVE}, {"memo", WM_SETFOCUS}}, only(log, {"memo", "edit"}),
                              "hiding the active window: the next one"));
    EXPECT_EQ(dev::focus(), rec().hwnd("memo"));
    EXPECT_EQ(dev::active_window(), rec().hwnd("memo"));
    (void)edit;

    // SetForegroundWindow on a hidden window leaves it hidden, but it becomes
    // the active window and takes the keyboard.
    app.run([&] { EXPECT_TRUE(SetForegroundWindow(main)); });
    EXPECT_FALSE(dev::is_visible(main));
    EXPECT_EQ(dev::active_window(), main);
    EXPECT_EQ(dev::focus(), main);
}

TEST_F(Windows, FindWindowAndGeometry) {
    TestApp app("app");
    HWND main = nullptr;
    app.run([&] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = recording_proc;
        wc.lpszClassName = u"Pendrel";
        EXPECT_TRUE(RegisterClassW(&wc));
        EXPECT_FALSE(RegisterClassW(&wc));
        EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);
        main = CreateWindowExW(0, u"Pendrel", u"Pendrel", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    });
    TestApp other("other");
    other.run([&] {
        EXPECT_EQ(FindWindowW(u"pendrel", nullptr), main);  // class names ignore case
        EXPECT_EQ(FindWindowW(nullptr, u"Pendrel"), main);
        EXPECT_EQ(FindWindowW(u"Nothing", nullptr), nullptr);
        EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 240);
        EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 320);
    });
    app.run([&] {
        HWND popup = CreateWindowExW(0, u"PfRec", u"dlg", WS_POPUP | WS_CAPTION, 10, 20, 100, 80, main, nullptr,
                                     nullptr, nullptr);
        EXPECT_EQ(GetParent(popup), main);  // a popup's owner
        RECT r;
        GetClientRect(popup, &r);
        EXPECT_EQ(r.right, 100 - 2);
        EXPECT_EQ(r.bottom, 80 - 2 - 20);
        SetWindowPos(popup, nullptr, 5, 6, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        GetWindowRect(popup, &r);
        EXPECT_EQ(r.left, 5);
        EXPECT_EQ(r.top, 6);
        EXPECT_EQ(r.right, 105);
        HWND child = create(u"child", WS_CHILD, popup, 7);
        EXPECT_EQ(GetParent(child), popup);
        EXPECT_EQ(GetWindowLongW(child, GWL_ID), 7);
        GetWindowRect(child, &r);
        EXPECT_EQ(r.left, 5 + 1);  // inside the popup's border
        EXPECT_EQ(r.top, 6 + 1 + 20);
        EXPECT_TRUE(SetWindowTextW(child, u"text"));
        WCHAR buf[3];
        EXPECT_EQ(GetWindowTextW(child, buf, 3), 2);
        EXPECT_EQ(std::u16string(buf), u"te");
    });
}

}  // namespace

// Message queues across threads, keyboard input, accelerators, message
// boxes, the tray, the command bar and the end of a process.
#include <shellapi.h>
#include <commctrl.h>

#include "user_app.hpp"
#include "user_res_builder.hpp"

using namespace usertest;
namespace dev = pf::user::handheld;

namespace {

class Queues : public UserTest {};

void key(BYTE vk, bool down) { keybd_event(vk, 0, down ? 0 : KEYEVENTF_KEYUP, 0); }
void tap(BYTE vk) {
    key(vk, true);
    key(vk, false);
}

TEST_F(Queues, SendMessageAcrossThreadsRunsOnTheOwnerAndAnswersNestedSends) {
    TestApp a("a");
    TestApp b("b");
    HWND wa = nullptr, wb = nullptr;
    a.run([&] { wa = create(u"A", 0); });
    b.run([&] { wb = create(u"B", 0); });
    int a_thread = 0, b_thread = 0, a_handler = 0, b_handler = 0;
    a.run([&] { a_thread = pf::current_thread().ordinal; });
    b.run([&] { b_thread = pf::current_thread().ordinal; });
    hook() = [&](HWND h, UINT msg, WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        if (msg == WM_USER + 1) {
            a_handler = pf::current_thread().ordinal;
            // Back to the sender, which is waiting in its own SendMessageW.
            return SendMessageW(wb, WM_USER + 2, wp, 0) + 1;
        }
        if (msg == WM_USER + 2) {
            b_handler = pf::current_thread().ordinal;
            return LRESULT(wp * 10);
        }
        return std::nullopt;
    };
    ASSERT_TRUE(quiet());
    rec().clear();
    LRESULT r = 0;
    b.run([&] { r = SendMessageW(wa, WM_USER + 1, 4, 0); });
    EXPECT_EQ(r, 41);
    EXPECT_EQ(a_handler, a_thread);
    EXPECT_EQ(b_handler, b_thread);
    EXPECT_TRUE(
        same_sequence({{"A", WM_USER + 1, 4}, {"B", WM_USER + 2, 4}}, rec().take(), "nested cross-thread send"));

    // A send to a window whose program has ended returns at once.
    a.end();
    b.run([&] { EXPECT_EQ(SendMessageW(wa, WM_USER + 1, 0, 0), 0); });
}

TEST_F(Queues, KeysGoToTheFocusThreadAndTranslateWithTheirShiftState) {
    TestApp memo("memo");
    TestApp app("app");
    HWND edit = nullptr;
    memo.run([&] {
        HWND w = create(u"memo", WS_VISIBLE);
        edit = create(u"edit", WS_CHILD | WS_VISIBLE, w, 1);
        SetFocus(edit);
    });
    app.run([&] { create(u"main", 0); });
    ASSERT_TRUE(quiet());
    rec().clear();
    // The whole read is typed before the memo's thread sees any of it.
    app.run([&] {
        key(VK_SHIFT, true);
        tap('A');
        key(VK_SHIFT, false);
        tap('B');
    });
    ASSERT_TRUE(quiet());
    EXPECT_TRUE(same_sequence({{"edit", WM_KEYDOWN, VK_SHIFT},
                               {"edit", WM_KEYDOWN, 'A'},
                               {"edit", WM_CHAR, 'A'},
                               {"edit", WM_KEYUP, 'A'},
                               {"edit", WM_KEYUP, VK_SHIFT},
                               {"edit", WM_KEYDOWN, 'B'},
                               {"edit", WM_CHAR, 'b'},
                               {"edit", WM_KEYUP, 'B'}},
                              rec().take(), "keys to the focus window"));
}

std::vector<unsigned char> accel_entry(BYTE flags, WORD key, WORD cmd) {
    restest::Bytes b;
    b.u16(flags).u16(key).u16(cmd).u16(0);
    return b.b;
}

HINSTANCE module_with_resources() {
    restest::Bytes accel;
    accel.raw(accel_entry(FALT | FNOINVERT, '/', 40003));
    accel.raw(accel_entry(FVIRTKEY | FALT | FNOINVERT | 0x80, VK_F4, 40002));
    restest::Bytes menu;
    menu.u16(0).u16(0);
    menu.u16(MF_POPUP).sz(u"Run");
    menu.u16(0).u16(40004).sz(u"Show");
    menu.u16(MF_END).u16(40002).sz(u"Exit");
    menu.u16(MF_POPUP | MF_END).sz(u"Other");
    menu.u16(MF_END).u16(40003).sz(u"About");
    restest::ResFile res;
    res.add(9, 3, accel.b).add(4, 102, menu.b);
    static std::vector<unsigned char> bytes = res.bytes();
    return dev::load_module("usertest", bytes.data(), bytes.size());
}

TEST_F(Queues, AcceleratorsTurnAltKeysIntoCommands) {
    HINSTANCE inst = module_with_resources();
    TestApp app("app");
    HWND main = nullptr;
    app.run([&] {
        main = create(u"main", WS_VISIBLE);
        app.accel = LoadAcceleratorsW(inst, MAKEINTRESOURCEW(3));
        app.accel_target = main;
    });
    ASSERT_TRUE(app.accel);
    ASSERT_TRUE(quiet());  // the first paint
    rec().clear();
    key(VK_MENU, true);
    tap(VK_F4);
    key(VK_MENU, false);
    ASSERT_TRUE(quiet());
    EXPECT_TRUE(same_sequence({{"main", WM_SYSKEYDOWN, VK_MENU},
                               {"main", WM_COMMAND, MAKEWPARAM(40002, 1), 0},
                               {"main", WM_SYSKEYUP, VK_F4},
                               {"main", WM_SYSKEYUP, VK_MENU}},
                              rec().take(), "Alt+F4"));
    key(VK_MENU, true);
    tap(VK_OEM_2);
    key(VK_MENU, false);
    ASSERT_TRUE(quiet());
    EXPECT_TRUE(same_sequence({{"main", WM_SYSKEYDOWN, VK_MENU},
                               {"main", WM_SYSKEYDOWN, VK_OEM_2},
                               {"main", WM_COMMAND, MAKEWPARAM(40003, 1), 0},
                               {"main", WM_SYSKEYUP, VK_OEM_2},
                               {"main", WM_SYSKEYUP, VK_MENU}},
                              rec().take(), "Alt+/"));
    // Without Alt, '/' is just a character.
    tap(VK_OEM_2);
    tap(VK_F4);
    ASSERT_TRUE(quiet());
    EXPECT_TRUE(same_sequence({{"main", WM_KEYDOWN, VK_OEM_2},
                               {"main", WM_CHAR, '/'},
                               {"main", WM_KEYUP, VK_OEM_2},
                               {"main", WM_KEYDOWN, VK_F4},
                               {"main", WM_KEYUP, VK_F4}},
                              rec().take(), "plain keys"));
}

template <class F>
bool eventually(F f) {
    for (int i = 0; i < 500; ++i) {
        if (f()) return true;
        pf::wait_quiet(std::chrono::milliseconds(10));
    }
    return false;
}

TEST_F(Queues, MessageBoxIsModalAndAnsweredByTheDevice) {
    TestApp app("app");
    HWND main = nullptr;
    app.run([&] { main = create(u"main", WS_VISIBLE); });
    int result = 0;
    auto done = app.run_async([&] { result = MessageBoxW(main, u"text", u"caption", MB_RETRYCANCEL); });
    ASSERT_TRUE(eventually([] { return dev::message_box().has_value(); }));
    auto box = *dev::message_box();
    EXPECT_EQ(box.text, u"text");
    EXPECT_EQ(box.caption, u"caption");
    EXPECT_EQ(box.type, UINT(MB_RETRYCANCEL));
    EXPECT_EQ(box.party, "app");
    EXPECT_FALSE(dev::window_info(main)->enabled);  // the owner waits
    EXPECT_EQ(dev::focus(), box.hwnd);
    // Other messages keep flowing while the box is open.
    ASSERT_TRUE(quiet());
    rec().clear();
    dev::post(main, WM_USER + 9, 0, 0);
    ASSERT_TRUE(quiet());
    EXPECT_TRUE(same_sequence({{"main", WM_USER + 9}}, rec().take(), "a message during the box"));
    EXPECT_FALSE(dev::answer_message_box(IDOK));  // no such button
    EXPECT_TRUE(dev::answer_message_box(IDRETRY));
    ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(result, IDRETRY);
    EXPECT_FALSE(dev::message_box());
    EXPECT_TRUE(dev::window_info(main)->enabled);
    EXPECT_EQ(dev::active_window(), main);
    EXPECT_EQ(dev::focus(), main);
    bool traced = false;
    for (auto& r : pf::trace_records())
        if (r.party == "app" && r.text == "MessageBoxW(hwnd#2, \"text\", \"caption\", MB_RETRYCANCEL) = IDRETRY")
            traced = true;
    EXPECT_TRUE(traced);
}

TEST_F(Queues, MessageBoxKeys) {
    TestApp app("app");
    HWND main = nullptr;
    app.run([&] { main = create(u"main", WS_VISIBLE); });
    struct Case {
        UINT type;
        BYTE vk;
        int expected;
    } cases[] = {{MB_OK, VK_RETURN, IDOK}, {MB_OK, VK_ESCAPE, IDOK}, {MB_RETRYCANCEL, VK_RETURN, IDRETRY},
                 {MB_RETRYCANCEL, VK_ESCAPE, IDCANCEL}};
    for (auto& c : cases) {
        int result = 0;
        auto done = app.run_async([&] { result = MessageBoxW(main, u"t", u"c", c.type); });
        ASSERT_TRUE(eventually([] { return dev::message_box().has_value(); }));
        tap(c.vk);
        ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        EXPECT_EQ(result, c.expected) << "type " << c.type << " key " << int(c.vk);
    }
}

TEST_F(Queues, TrayIconTapSendsTheCallback) {
    TestApp app("app");
    HWND main = nullptr;
    NOTIFYICONDATAW nid{};
    app.run([&] {
        main = create(u"main", 0);
        nid.cbSize = 152;
        nid.hWnd = main;
        nid.uID = 1;
        nid.uFlags = NIF_MESSAGE | NIF_ICON;
        nid.uCallbackMessage = 0x8064;
        EXPECT_TRUE(Shell_NotifyIcon(NIM_ADD, &nid));
        EXPECT_FALSE(Shell_NotifyIcon(NIM_ADD, &nid));  // already there
    });
    auto icons = dev::tray_icons();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].owner, main);
    EXPECT_EQ(icons[0].callback, 0x8064u);
    rec().clear();
    EXPECT_TRUE(dev::tap_tray(0));
    ASSERT_TRUE(quiet());
    EXPECT_TRUE(same_sequence({{"main", 0x8064, 1, WM_LBUTTONDOWN}, {"main", 0x8064, 1, WM_LBUTTONUP}}, rec().take(),
                              "tray tap"));
    app.run([&] {
        EXPECT_TRUE(Shell_NotifyIcon(NIM_DELETE, &nid));
        EXPECT_FALSE(Shell_NotifyIcon(NIM_DELETE, &nid));
    });
    EXPECT_TRUE(dev::tray_icons().empty());
    EXPECT_FALSE(dev::tap_tray(0));
    bool traced = false;
    for (auto& r : pf::trace_records())
        if (r.party == "app" &&
            r.text == "Shell_NotifyIcon(NIM_ADD, {hWnd hwnd#2, uID 1, NIF_MESSAGE|NIF_ICON, 0x8064}) = TRUE")
            traced = true;
    EXPECT_TRUE(traced);
}

TEST_F(Queues, CommandBarCarriesTheMenuAndSendsItsCommands) {
    HINSTANCE inst = module_with_resources();
    TestApp app("app");
    HWND main = nullptr, cb = nullptr;
    app.run([&] {
        main = create(u"main", WS_VISIBLE);
        cb = CommandBar_Create(inst, main, 1);
        EXPECT_TRUE(CommandBar_InsertMenubar(cb, inst, 102, 0));
        EXPECT_TRUE(CommandBar_AddAdornments(cb, 0, 0));
        EXPECT_TRUE(CommandBar_Show(cb, TRUE));  // created shown
        EXPECT_EQ(CommandBar_Height(cb), 26);
        EXPECT_FALSE(CommandBar_InsertMenubar(cb, inst, 999, 0));
    });
    ASSERT_TRUE(cb);
    auto info = dev::window_info(main);
    ASSERT_TRUE(info);
    ASSERT_EQ(info->menu.size(), 2u);
    EXPECT_EQ(info->menu[0].text, u"Run");
    ASSERT_EQ(info->menu[0].items.size(), 2u);
    EXPECT_EQ(info->menu[0].items[1].id, 40002u);
    EXPECT_EQ(info->menu[1].items[0].text, u"About");
    ASSERT_EQ(info->controls.size(), 1u);
    EXPECT_EQ(info->controls[0].rect.right, 240);
    EXPECT_EQ(info->controls[0].rect.bottom, 26);
    ASSERT_TRUE(quiet());
    rec().clear();
    EXPECT_TRUE(dev::choose_menu_command(40002));
    EXPECT_FALSE(dev::choose_menu_command(12345));
    ASSERT_TRUE(quiet());
    EXPECT_TRUE(same_sequence({{"main", WM_COMMAND, 40002, 0}}, rec().take(), "menu command"));
    app.run([&] { EXPECT_TRUE(DestroyWindow(cb)); });
    EXPECT_TRUE(dev::window_info(main)->menu.empty());
}

TEST_F(Queues, AnEndedProgramTakesItsWindowsAndIconsAlong) {
    TestApp memo("memo");
    HWND edit = nullptr;
    memo.run([&] {
        HWND w = create(u"memo", WS_VISIBLE);
        edit = create(u"edit", WS_CHILD | WS_VISIBLE, w, 1);
        SetFocus(edit);
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
    (void)edit;
    // The ended program's procedures are not called any more.
    EXPECT_TRUE(
        same_sequence({{"memo", WM_ACTIVATE, WA_ACTIVE}, {"memo", WM_SETFOCUS}}, rec().take(), "end of a program"));
}

}  // namespace

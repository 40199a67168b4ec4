// Modal dialogs from the application's real templates: creation, the
// dialog manager's keys, caption buttons, the modal loop, the trace.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "trace_table.hpp"
#include "user/controls.hpp"
#include "user/handheld.hpp"
#include "user/dialog.hpp"
#include "user/resources.hpp"
#include "user_app.hpp"
#include "user_res_builder.hpp"

extern "C" const unsigned char pendrel_res[];
extern "C" const unsigned long pendrel_res_size;

using namespace usertest;
namespace dev = pf::user::handheld;

namespace {

HINSTANCE app_module() {
    static HINSTANCE h = dev::load_module("pendrel", pendrel_res, pendrel_res_size);
    return h;
}

const DLGTEMPLATE* dialog_template(WORD id) {
    const pf::user::ResEntry* e = pf::user::find_entry(app_module(), pf::user::ResId::of(5), pf::user::ResId::of(id));
    return e ? reinterpret_cast<const DLGTEMPLATE*>(e->data) : nullptr;
}

// What the dialog procedure saw: its messages, commands as id and code.
struct DlgLog {
    std::mutex m;
    std::vector<Msg> log;
    bool init_result = true;
    void add(Msg msg) {
        std::lock_guard g(m);
        log.push_back(msg);
    }
    std::vector<Msg> take() {
        std::lock_guard g(m);
        return std::exchange(log, {});
    }
};
DlgLog& dlog() {
    static DlgLog l;
    return l;
}

INT_PTR CALLBACK test_dlgproc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG:
        dlog().add(Msg{"dlg", msg, wp, uintptr_t(lp)});
        return dlog().init_result;
    case WM_COMMAND:
        dlog().add(Msg{"dlg", msg, wp, any});
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
            EndDialog(dlg, LOWORD(wp));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// Waits (bounded) until the condition holds on the device side.
template <class F>
bool eventually(F f) {
    for (int i = 0; i < 500; ++i) {
        if (f()) return true;
        pf::wait_quiet(std::chrono::milliseconds(200));
        if (f()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::u16string text_of(int id) {
    auto d = dev::open_dialog();
    if (!d) return u"<no dialog>";
    for (auto& c : d->controls)
        if (c.id == id) return c.text;
    return u"<no control>";
}

// The operator's keys, through the device keyboard.
void key(BYTE vk, bool shift = false) {
    if (shift) keybd_event(VK_SHIFT, 0, KEYEVENTF_SILENT, 0);
    keybd_event(vk, 0, KEYEVENTF_SILENT, 0);
    keybd_event(vk, 0, KEYEVENTF_KEYUP, 0);
    if (shift) keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
}
void type(const char* s) {
    for (; *s; ++s) {
        char c = *s;
        if (c >= 'a' && c <= 'z') key(BYTE(c - 32));
        else if (c >= 'A' && c <= 'Z') key(BYTE(c), true);
        else key(BYTE(c));
    }
}

Msg command(WORD id, WORD code) { return Msg{"dlg", WM_COMMAND, MAKEWPARAM(id, code), any}; }

class DialogTest : public UserTest {
protected:
    void SetUp() override {
        UserTest::SetUp();
        dlog().take();
        dlog().init_result = true;
        app_module();
        static int launches = 0;
        app.emplace("dlgapp" + std::to_string(++launches));
        app->run([this] { owner = create(u"Owner", WS_VISIBLE); });
    }
    void TearDown() override {
        // A dialog left open is cancelled so that the program can end.
        if (dev::open_dialog()) dev::press_cancel();
        if (result.valid()) result.wait_for(std::chrono::seconds(5));
        app.reset();
        UserTest::TearDown();
    }
    // Opens dialog `id` on the UI thread; returns once it is shown.
    void open(WORD id, LPARAM param = 0) {
        const DLGTEMPLATE* t = dialog_template(id);
        ASSERT_NE(t, nullptr);
        result = app->run_async([this, t, param] {
            returned = DialogBoxIndirectParamW(app_module(), t, owner, test_dlgproc, param);
            owner_enabled_after = IsWindowEnabled(owner);
            owner_active_after = GetActiveWindow() == owner;
        });
        ASSERT_TRUE(eventually([] { return dev::open_dialog().has_value(); })) << "dialog " << id << " did not open";
        quiet();
    }
    INT_PTR finish() {
        EXPECT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "dialog did not end";
        return returned;
    }

    std::optional<TestApp> app;
    HWND owner = nullptr;
    std::future<void> result;
    INT_PTR returned = -99;
    BOOL owner_enabled_after = FALSE;
    bool owner_active_after = false;
};

}  // namespace

TEST_F(DialogTest, ReadDisplayDialogHasTheTemplatesControlsInPixels) {
    open(104, 0x1234);
    auto d = dev::open_dialog();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->template_id, std::optional<WORD>(104));
    EXPECT_EQ(d->title, u"1D(ZEL) ﾊﾞｰｺｰﾄﾞ読取ﾂｰﾙ");
    EXPECT_EQ(d->owner, owner);
    EXPECT_FALSE(d->ok_button);
    EXPECT_TRUE(d->close_button);
    // 131 x 160 dialog units at 1.5 pixels each, plus the caption and border.
    EXPECT_EQ(d->client.right - d->client.left, 197);
    EXPECT_EQ(d->client.bottom - d->client.top, 240);
    EXPECT_EQ(d->rect.right - d->rect.left, 197 + 2);
    EXPECT_EQ(d->rect.bottom - d->rect.top, 240 + 2 + 20);
    ASSERT_EQ(d->controls.size(), 9u);
    const auto& edit = d->controls[0];
    EXPECT_EQ(edit.id, 1001);
    EXPECT_EQ(edit.cls, u"EDIT");
    EXPECT_EQ(edit.rect.left - d->client.left, 23);   // 15 units
    EXPECT_EQ(edit.rect.top - d->client.top, 38);     // 25 units
    EXPECT_EQ(edit.rect.right - edit.rect.left, 158);  // 105 units
    EXPECT_EQ(edit.rect.bottom - edit.rect.top, 42);   // 28 units
    EXPECT_EQ(d->controls[2].cls, u"STATIC");
    EXPECT_EQ(d->controls[2].text, u"ﾊﾞｰｺｰﾄﾞ 種類");
    EXPECT_EQ(d->focus_id, 1001) << "the first tab stop has the focus";

    // The owner is disabled while the dialog runs.
    EXPECT_FALSE(dev::window_info(owner)->enabled);
    auto msgs = dlog().take();
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ(msgs[0].msg, UINT(WM_INITDIALOG));
    EXPECT_EQ(msgs[0].wp, uintptr_t(edit.hwnd)) << "WM_INITDIALOG names the first tab stop";
    EXPECT_EQ(msgs[0].lp, 0x1234u);

    ASSERT_TRUE(dev::press_cancel());
    EXPECT_EQ(finish(), IDCANCEL);
    EXPECT_TRUE(owner_enabled_after);
    EXPECT_TRUE(owner_active_after) << "the owner is active again after the dialog";
    EXPECT_FALSE(dev::open_dialog());
}

// As on Windows, a multi-line edit in a dialog takes Return when it wants
// Return, while Tab still moves on and Escape still cancels.
TEST_F(DialogTest, MultiLineEditTakesReturnButLeavesTabAndEscapeToTheDialog) {
    open(104);
    dlog().take();
    type("ab");
    key(VK_RETURN);
    type("C");
    ASSERT_TRUE(eventually([] { return text_of(1001) == u"ab\r\nC"; })) << pf::utf8(text_of(1001).c_str());
    EXPECT_TRUE(same_sequence(
        {command(1001, EN_CHANGE), command(1001, EN_CHANGE), command(1001, EN_CHANGE), command(1001, EN_CHANGE)},
        dlog().take(), "typing into the multi-line edit"));
    EXPECT_EQ(dev::open_dialog()->focus_id, 1001);

    key(VK_TAB);
    ASSERT_TRUE(eventually([] { return dev::open_dialog()->focus_id == 1003; }));
    EXPECT_EQ(text_of(1001), u"ab\r\nC") << "Tab typed nothing into the memo field";
    ASSERT_TRUE(dev::focus_control(1001));
    quiet();
    dlog().take();

    key(VK_ESCAPE);
    EXPECT_EQ(finish(), IDCANCEL);
    EXPECT_TRUE(same_sequence({command(IDCANCEL, BN_CLICKED), command(1001, EN_KILLFOCUS)}, dlog().take(),
                              "Escape in the multi-line edit"));
}

TEST_F(DialogTest, TabAndShiftTabMoveBetweenSingleLineEditsSelectingTheirText) {
    open(104);
    app->run([] {
        HWND dlg = GetActiveWindow();
        SetDlgItemTextW(dlg, 1004, u"xyz");
    });
    ASSERT_TRUE(dev::focus_control(1003));
    quiet();
    dlog().take();
    key(VK_TAB);
    ASSERT_TRUE(eventually([] { return dev::open_dialog()->focus_id == 1004; }));
    auto d = dev::open_dialog();
    EXPECT_EQ(d->controls[3].id, 1004);
    EXPECT_EQ(d->controls[3].sel_start, 0u);
    EXPECT_EQ(d->controls[3].sel_end, 3u) << "landing in an edit selects its text";
    type("q");
    ASSERT_TRUE(eventually([] { return text_of(1004) == u"q"; })) << "typing replaces the selection";

    key(VK_TAB, true);
    ASSERT_TRUE(eventually([] { return dev::open_dialog()->focus_id == 1003; }));
    key(VK_TAB);
    key(VK_TAB);
    ASSERT_TRUE(eventually([] { return dev::open_dialog()->focus_id == 1005; }));
    key(VK_TAB);
    ASSERT_TRUE(eventually([] { return dev::open_dialog()->focus_id == 1001; })) << "Tab wraps to the first stop";
    EXPECT_TRUE(same_sequence({command(1003, EN_KILLFOCUS), command(1004, EN_SETFOCUS), command(1004, EN_CHANGE),
                               command(1004, EN_KILLFOCUS), command(1003, EN_SETFOCUS), command(1003, EN_KILLFOCUS),
                               command(1004, EN_SETFOCUS), command(1004, EN_KILLFOCUS), command(1005, EN_SETFOCUS),
                               command(1005, EN_KILLFOCUS), command(1001, EN_SETFOCUS)},
                              dlog().take(), "moving with Tab and Shift+Tab"));
    EXPECT_EQ(text_of(1003), u"") << "the Tab key typed nothing";
}

TEST_F(DialogTest, ReturnInASingleLineEditGivesIdok) {
    open(104);
    ASSERT_TRUE(dev::focus_control(1005));
    quiet();
    dlog().take();
    type("7");
    key(VK_RETURN);
    EXPECT_EQ(finish(), IDOK);
    EXPECT_TRUE(same_sequence({command(1005, EN_CHANGE), command(IDOK, BN_CLICKED), command(1005, EN_KILLFOCUS)},
                              dlog().take(), "Return in a single-line edit"));
}

TEST_F(DialogTest, AboutBoxHasCaptionOkAndItsIcon) {
    open(103);
    auto d = dev::open_dialog();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->template_id, std::optional<WORD>(103));
    EXPECT_TRUE(d->ok_button);
    EXPECT_EQ(d->exstyle, DWORD(WS_EX_CAPTIONOKBTN));
    ASSERT_EQ(d->controls.size(), 3u);
    const auto& icon = d->controls[0];
    ASSERT_NE(icon.icon, nullptr) << "the icon static loads icon 101 from the template";
    auto info = pf::user::icon_info(icon.icon);
    ASSERT_TRUE(info);
    EXPECT_EQ(*info->group.ordinal, 101);
    EXPECT_EQ(icon.rect.right - icon.rect.left, info->width) << "an icon static takes its icon's size";
    EXPECT_EQ(icon.text, u"");
    EXPECT_EQ(d->controls[1].text, u"Pendrel Version 1.0.1");
    EXPECT_EQ(d->focus, d->hwnd) << "no tab stop: the dialog itself has the focus";

    dlog().take();
    ASSERT_TRUE(dev::press_ok());
    EXPECT_EQ(finish(), IDOK);
    EXPECT_TRUE(same_sequence({command(IDOK, BN_CLICKED)}, dlog().take(), "caption OK"));
}

TEST_F(DialogTest, CaptionOkOnlyWhereTheDialogHasOne) {
    open(104);
    EXPECT_FALSE(dev::press_ok()) << "dialog 104 has no caption OK button";
    ASSERT_TRUE(dev::press_cancel());
    EXPECT_EQ(finish(), IDCANCEL);
    EXPECT_FALSE(dev::press_ok());
    EXPECT_FALSE(dev::press_cancel());
}

TEST_F(DialogTest, ModalLoopKeepsOtherThreadsKeysAndOtherWindowsMessagesFlowing) {
    open(104);
    // Another thread of the program types, as the reader worker does: its
    // keys arrive on the UI thread as posted key messages.
    std::promise<void> typed;
    auto done = typed.get_future();
    pf::start_device_thread(app->process(), [&] {
        const char* read = "A1\r2";
        for (const char* p = read; *p; ++p) {
            if (*p == 'A') key('A', true);
            else key(BYTE(*p));
        }
        typed.set_value();
    });
    ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    ASSERT_TRUE(eventually([] { return text_of(1001) == u"A1\r\n2"; })) << pf::utf8(text_of(1001).c_str());
    // A message for another window of the program is dispatched meanwhile.
    bool ran = false;
    auto f = app->run_async([&] { ran = true; });
    ASSERT_EQ(f.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(dev::open_dialog());
    dev::press_cancel();
    EXPECT_EQ(finish(), IDCANCEL);
}

TEST_F(DialogTest, TheProgramsCallsAreTraced) {
    open(104);
    dev::press_cancel();
    finish();
    std::vector<std::string> calls;
    for (auto& t : trace_table::texts(app->process()->party))
        if (t.rfind("DialogBox", 0) == 0 || t.rfind("EndDialog", 0) == 0) calls.push_back(t);
    // hwnd#1 is the test program's helper window, hwnd#2 the owner.
    EXPECT_TRUE(same_sequence(
        {
            "EndDialog(hwnd#3, IDCANCEL) = TRUE",
            "DialogBoxIndirectParamW(hinst, template, hwnd#2 \"Owner\", "
            "proc, 0) = 2",
        },
        calls, "dialog calls"));
}

TEST_F(DialogTest, InMemoryExtendedTemplateAndInitDialogReturningFalse) {
    restest::Bytes t;
    t.u16(1).u16(0xFFFF).u32(0).u32(0).u32(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT).u16(2);
    t.u16(10).u16(10).u16(80).u16(40).u16(0).u16(0).sz(u"Mem").u16(8).u16(400).u8(0).u8(0).sz(u"System");
    t.align4();
    t.u32(0).u32(0).u32(WS_CHILD | WS_VISIBLE | WS_TABSTOP).u16(4).u16(4).u16(60).u16(12).u32(77);
    t.ord(0x81).sz(u"first").u16(0);
    t.align4();
    t.u32(0).u32(0).u32(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON).u16(4).u16(20).u16(40).u16(14).u32(88);
    t.ord(0x80).sz(u"Go").u16(0);
    dlog().init_result = false;
    auto bytes = std::make_shared<restest::Bytes>(t);
    result = app->run_async([this, bytes] {
        returned = DialogBoxIndirectParamW(nullptr, reinterpret_cast<const DLGTEMPLATE*>(bytes->data()), owner,
                                           test_dlgproc, 0);
    });
    ASSERT_TRUE(eventually([] { return dev::open_dialog().has_value(); }));
    quiet();
    auto d = dev::open_dialog();
    EXPECT_FALSE(d->template_id);
    EXPECT_EQ(d->title, u"Mem");
    ASSERT_EQ(d->controls.size(), 2u);
    EXPECT_EQ(d->controls[0].text, u"first");
    EXPECT_EQ(d->controls[1].cls, u"BUTTON");
    EXPECT_NE(d->focus_id, 77) << "WM_INITDIALOG returned FALSE: no focus to the first tab stop";
    // Return from the single-line edit runs the default push button.
    ASSERT_TRUE(dev::focus_control(77));
    quiet();
    dlog().take();
    key(VK_RETURN);
    ASSERT_TRUE(eventually([&] {
        auto log = dlog().take();
        for (auto& m : log)
            if (m.msg == WM_COMMAND && LOWORD(m.wp) == 88) return true;
        return false;
    })) << "Return gives the default button's command";
    dev::press_cancel();
    EXPECT_EQ(finish(), IDCANCEL);
}

TEST_F(DialogTest, BadTemplateFailsWithMinusOne) {
    const unsigned char junk[] = {0xC0, 0x00, 0xC8, 0x80, 0, 0, 0, 0, 5, 0};  // five items, no more data
    auto bytes = std::make_shared<std::vector<unsigned char>>(junk, junk + sizeof junk);
    // Bounded by a module resource of its own, so that the parser knows the end.
    restest::ResFile f;
    f.add(5, 900, *bytes);
    HINSTANCE h = dev::load_module("junk", f.bytes().data(), f.bytes().size());
    const pf::user::ResEntry* e = pf::user::find_entry(h, pf::user::ResId::of(5), pf::user::ResId::of(900));
    ASSERT_NE(e, nullptr);
    app->run([&] {
        returned = DialogBoxIndirectParamW(h, reinterpret_cast<const DLGTEMPLATE*>(e->data), owner, test_dlgproc, 0);
    });
    EXPECT_EQ(returned, -1);
    EXPECT_TRUE(dev::window_info(owner)->enabled);
}

// Edit and static controls outside dialogs, and the dialog item helpers.
#include <gtest/gtest.h>
#include <windows.h>

#include "user/controls.hpp"
#include "user/handheld.hpp"
#include "user_app.hpp"

using namespace usertest;
namespace dev = pf::user::handheld;

namespace {

class EditTest : public UserTest {
protected:
    void SetUp() override {
        UserTest::SetUp();
        static int launches = 0;
        app.emplace("editapp" + std::to_string(++launches));
        app->run([this] { parent = create(u"Parent", WS_VISIBLE); });
    }
    void TearDown() override {
        app.reset();
        UserTest::TearDown();
    }
    HWND make(DWORD style, const char16_t* text = u"", int id = 10) {
        HWND h = nullptr;
        app->run([&] {
            h = CreateWindowExW(0, u"EDIT", text, WS_CHILD | WS_VISIBLE | style, 0, 0, 100, 20, parent,
                                reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
        });
        return h;
    }
    // Sends on the UI thread, as the control's own program would.
    LRESULT send(HWND h, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
        LRESULT r = 0;
        app->run([&] { r = SendMessageW(h, msg, wp, lp); });
        return r;
    }
    void chars(HWND h, std::u16string_view s) {
        for (char16_t c : s) send(h, WM_CHAR, c, 1);
    }
    std::u16string text(HWND h) { return dev::text_of(h); }
    std::pair<DWORD, DWORD> sel(HWND h) {
        DWORD a = 99, b = 99;
        send(h, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
        return {a, b};
    }
    std::vector<Msg> commands() {
        std::vector<Msg> out;
        for (auto& m : rec().take())
            if (m.msg == WM_COMMAND) out.push_back(m);
        return out;
    }
    Msg note(int id, WORD code) { return Msg{"Parent", WM_COMMAND, MAKEWPARAM(id, code), any}; }

    std::optional<TestApp> app;
    HWND parent = nullptr;
};

}  // namespace

TEST_F(EditTest, TypingInsertsAtTheCaretWhichStartsAtTheEnd) {
    HWND e = make(0, u"abc");
    EXPECT_EQ(sel(e), std::make_pair(DWORD(3), DWORD(3)));
    rec().clear();
    chars(e, u"de");
    EXPECT_EQ(text(e), u"abcde");
    send(e, EM_SETSEL, 1, 1);
    chars(e, u"X");
    EXPECT_EQ(text(e), u"aXbcde");
    EXPECT_EQ(sel(e), std::make_pair(DWORD(2), DWORD(2)));
    EXPECT_TRUE(same_sequence({note(10, EN_CHANGE), note(10, EN_CHANGE), note(10, EN_CHANGE)}, commands(),
                              "three typed characters"));
    send(e, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"new"));
    EXPECT_EQ(sel(e), std::make_pair(DWORD(3), DWORD(3))) << "WM_SETTEXT leaves the caret at the end";
}

TEST_F(EditTest, BackspaceDeletesTheSelectionOrTheCharacterBeforeTheCaret) {
    HWND e = make(ES_MULTILINE | ES_WANTRETURN, u"ab\r\ncd");
    chars(e, u"\b\b");
    EXPECT_EQ(text(e), u"ab\r\n");
    chars(e, u"\b");
    EXPECT_EQ(text(e), u"ab") << "a line break goes in one step";
    send(e, EM_SETSEL, 0, -1);
    chars(e, u"\b");
    EXPECT_EQ(text(e), u"");
    rec().clear();
    chars(e, u"\b");
    EXPECT_TRUE(same_sequence({}, commands(), "backspace in an empty edit changes nothing"));
}

TEST_F(EditTest, ReturnAndTabDependOnTheKindOfEdit) {
    HWND single = make(ES_AUTOHSCROLL, u"", 11);
    HWND multi = make(ES_MULTILINE | ES_WANTRETURN, u"", 12);
    HWND plain_multi = make(ES_MULTILINE, u"", 13);
    chars(single, u"a\r\tb");
    chars(multi, u"a\r\tb");
    chars(plain_multi, u"a\rb");
    EXPECT_EQ(text(single), u"ab");
    EXPECT_EQ(text(multi), u"a\r\n\tb");
    EXPECT_EQ(text(plain_multi), u"a\r\nb") << "outside a dialog every multi-line edit takes Return";
    EXPECT_EQ(send(single, WM_GETDLGCODE), DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS);
    EXPECT_EQ(send(multi, WM_GETDLGCODE), DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS | DLGC_WANTALLKEYS);
    EXPECT_EQ(send(multi, EM_GETLINECOUNT), 2);
}

TEST_F(EditTest, TextLimitRefusesExtraCharacters) {
    HWND e = make(0);
    EXPECT_EQ(send(e, EM_GETLIMITTEXT), LRESULT(pf::user::default_edit_limit));
    std::u16string almost(29999, u'x');
    send(e, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(almost.c_str()));
    rec().clear();
    chars(e, u"yz");
    EXPECT_EQ(text(e).size(), 30000u);
    EXPECT_EQ(text(e).back(), u'y');
    EXPECT_TRUE(same_sequence({note(10, EN_CHANGE), note(10, EN_MAXTEXT)}, commands(), "typing at the limit"));

    HWND small = make(ES_MULTILINE, u"", 20);
    send(small, EM_LIMITTEXT, 4);
    chars(small, u"abc\r");
    EXPECT_EQ(text(small), u"abc") << "a line break that does not fit is refused whole";
    send(small, EM_SETSEL, 0, 0);
    send(small, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(u"12345"));
    EXPECT_EQ(text(small), u"1abc") << "EM_REPLACESEL is cut to what fits";
}

TEST_F(EditTest, SelectionAndReplacement) {
    HWND e = make(0, u"hello world");
    send(e, EM_SETSEL, 6, -1);
    EXPECT_EQ(sel(e), std::make_pair(DWORD(6), DWORD(11)));
    EXPECT_EQ(send(e, EM_GETSEL), LRESULT(MAKELONG(6, 11)));
    send(e, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(u"there"));
    EXPECT_EQ(text(e), u"hello there");
    send(e, EM_SETSEL, 8, 2);
    EXPECT_EQ(sel(e), std::make_pair(DWORD(2), DWORD(8))) << "reversed ends are ordered";
    send(e, EM_SETSEL, -1, 0);
    EXPECT_EQ(sel(e).first, sel(e).second) << "start -1 removes the selection";
    WCHAR buf[6];
    EXPECT_EQ(send(e, WM_GETTEXT, 6, reinterpret_cast<LPARAM>(buf)), 5);
    EXPECT_EQ(std::u16string(buf), u"hello");
    EXPECT_EQ(send(e, WM_GETTEXTLENGTH), 11);
}

TEST_F(EditTest, DialogItemHelpers) {
    HWND a = make(0, u"one", 101);
    HWND b = make(0, u"", 102);
    app->run([&] {
        EXPECT_EQ(GetDlgItem(parent, 101), a);
        EXPECT_EQ(GetDlgItem(parent, 999), nullptr);
        EXPECT_EQ(GetDlgCtrlID(b), 102);
        EXPECT_TRUE(SetDlgItemTextW(parent, 102, u"two"));
        EXPECT_FALSE(SetDlgItemTextW(parent, 999, u"none"));
        WCHAR buf[3];
        EXPECT_EQ(GetDlgItemTextW(parent, 102, buf, 3), 2u);
        EXPECT_EQ(std::u16string(buf), u"tw");
        EXPECT_EQ(GetDlgItemTextW(parent, 999, buf, 3), 0u);
        EXPECT_EQ(buf[0], 0);
        EXPECT_EQ(SendDlgItemMessageW(parent, 101, WM_GETTEXTLENGTH, 0, 0), 3);
    });
    EXPECT_EQ(text(b), u"two");
}

TEST_F(EditTest, StaticTextAndIconStatics) {
    HWND s = nullptr, bad_icon = nullptr;
    app->run([&] {
        s = CreateWindowExW(0, u"STATIC", u"Label", WS_CHILD | WS_VISIBLE, 0, 0, 50, 10, parent, nullptr, nullptr,
                            nullptr);
        // An icon static of a module without that icon shows none.
        bad_icon = CreateWindowExW(0, u"STATIC", u"\xFFFF\x0065", WS_CHILD | WS_VISIBLE | SS_ICON, 0, 0, 20, 20,
                                   parent, nullptr, nullptr, nullptr);
    });
    ASSERT_NE(s, nullptr);
    ASSERT_NE(bad_icon, nullptr);
    EXPECT_EQ(text(s), u"Label");
    EXPECT_EQ(send(s, WM_GETDLGCODE), DLGC_STATIC);
    EXPECT_EQ(send(bad_icon, STM_GETICON), 0);
    EXPECT_EQ(text(bad_icon), u"") << "an icon static's name is not its text";
}

// Modal dialogs on the device's side, from the application's real
// templates: the layout in pixels and the caption's OK and close buttons.
#include <gtest/gtest.h>
#include <windows.h>

#include "user/controls.hpp"
#include "user/resources.hpp"
#include "user_app.hpp"
#include "../res/resource.h"

using namespace usertest;
namespace dev = pf::user::handheld;

namespace {

const DLGTEMPLATE* dialog_template(WORD id) {
    const pf::user::ResEntry* e = pf::user::find_entry(app_module(), pf::user::ResId::of(5), pf::user::ResId::of(id));
    return e ? reinterpret_cast<const DLGTEMPLATE*>(e->data) : nullptr;
}

// What the dialog procedure saw: its messages, commands as id and code.
Msg command(WORD id, WORD code) { return Msg{"dlg", WM_COMMAND, MAKEWPARAM(id, code), any}; }

std::vector<Msg> dialog_log() {
    auto log = rec().take();
    std::erase_if(log, [](const Msg& m) { return m.who != "dlg"; });
    return log;
}

INT_PTR CALLBACK test_dlgproc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG:
        rec().name(dlg, "dlg");
        rec().add(dlg, msg, wp, lp);
        return TRUE;
    case WM_COMMAND:
        rec().add(dlg, msg, wp, lp);
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
            EndDialog(dlg, LOWORD(wp));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

class DialogTest : public OwnerTest {
protected:
    // Opens dialog `id` on the UI thread; returns once it is shown.
    void open(WORD id, LPARAM param = 0) {
        const DLGTEMPLATE* t = dialog_template(id);
        ASSERT_NE(t, nullptr);
        start(
            [this, t, param] {
                returned = DialogBoxIndirectParamW(app_module(), t, owner, test_dlgproc, param);
                owner_enabled_after = IsWindowEnabled(owner);
                owner_active_after = GetActiveWindow() == owner;
            },
            [] { return dev::open_dialog().has_value(); });
    }
    INT_PTR returned = -99;
    BOOL owner_enabled_after = FALSE;
    bool owner_active_after = false;
};

}  // namespace

TEST_F(DialogTest, ReadDisplayDialogFocusesItsFirstTabStopAndDisablesItsOwner) {
    open(IDD_READDISPLAY, 0x1234);
    auto d = dev::open_dialog();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->template_id, std::optional<WORD>(IDD_READDISPLAY));
    EXPECT_EQ(d->owner, owner);
    EXPECT_FALSE(d->ok_button);
    EXPECT_TRUE(d->close_button);
    // The pixel layout: Dialogs.EachWindowShowsWhatItsResourcesDescribe.
    ASSERT_EQ(d->controls.size(), 9u);
    const auto& edit = d->controls[0];
    EXPECT_EQ(d->focus, edit.hwnd) << "the first tab stop has the focus";

    // The owner is disabled while the dialog runs.
    EXPECT_FALSE(dev::window_info(owner)->enabled);
    auto msgs = dialog_log();
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ(msgs[0].msg, UINT(WM_INITDIALOG));
    EXPECT_EQ(msgs[0].wp, uintptr_t(edit.hwnd)) << "WM_INITDIALOG names the first tab stop";
    EXPECT_EQ(msgs[0].lp, 0x1234u);

    ASSERT_TRUE(dev::press_cancel());
    finish();
    EXPECT_EQ(returned, IDCANCEL);
    EXPECT_TRUE(owner_enabled_after);
    EXPECT_TRUE(owner_active_after) << "the owner is active again after the dialog";
    EXPECT_FALSE(dev::open_dialog());
}

// The caption's OK button is there only where the template asks for it; an
// icon static takes its icon, and its size, from the template.
TEST_F(DialogTest, CaptionOkOnlyWhereTheDialogHasOne) {
    open(IDD_ABOUT);
    auto d = dev::open_dialog();
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->ok_button);
    const auto& icon = d->controls[0];
    ASSERT_NE(icon.icon, nullptr) << "the icon static loads its icon from the template";
    auto info = pf::user::icon_info(icon.icon);
    ASSERT_TRUE(info);
    EXPECT_EQ(icon.rect.right - icon.rect.left, info->width) << "an icon static takes its icon's size";
    EXPECT_EQ(icon.text, u"");
    EXPECT_EQ(d->focus, d->hwnd) << "no tab stop: the dialog itself has the focus";
    rec().take();
    ASSERT_TRUE(dev::press_ok());
    finish();
    EXPECT_EQ(returned, IDOK);
    EXPECT_TRUE(same_sequence({command(IDOK, BN_CLICKED)}, dialog_log(), "caption OK"));

    open(IDD_READDISPLAY);
    EXPECT_FALSE(dev::press_ok()) << "the read display has no caption OK button";
    ASSERT_TRUE(dev::press_cancel());
    finish();
    EXPECT_EQ(returned, IDCANCEL);
    EXPECT_FALSE(dev::press_ok());
    EXPECT_FALSE(dev::press_cancel());
}

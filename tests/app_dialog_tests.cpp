// The read-display dialog and the About box, on the emulated device.
#include "app_scenario.hpp"

#include "core/core.hpp"
#include "user/dialog.hpp"
#include "../res/resource.h"

namespace {

using scenario::calls_by_thread;
using scenario::calls_of;
using scenario::run;
using scenario::settings_display_on;
using scenario::without;
using Lines = std::vector<std::string>;
namespace ud = pf::user::handheld;

class Dialogs : public scenario::Scenario {};

// What the operator sees of Pendrel's topmost window: its caption, place and
// styles, its menu, Close button and what it drew, and each control's class, id, text,
// place and style.
Lines topmost_window_of_pendrel() {
    using runner::link::hex;
    auto quoted = [](const std::u16string& text) { return runner::link::quoted(text); };
    auto place = [](const RECT& r) {
        return " (" + std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) +
               "x" + std::to_string(r.bottom - r.top) + ")";
    };
    auto screen = ud::snapshot();
    auto w = std::find_if(screen.windows.begin(), screen.windows.end(),
                          [](const ud::WindowInfo& i) { return i.party == "pendrel#1"; });
    if (w == screen.windows.end()) return {"no window of Pendrel"};
    Lines out{quoted(w->title) + place(w->rect) + " " + hex(w->style) + " " + hex(w->exstyle)};
    for (const auto& popup : w->menu) {
        std::string line = "menu " + quoted(popup.text);
        for (const auto& item : popup.items) line += " " + std::to_string(item.id) + " " + quoted(item.text);
        out.push_back(line);
    }
    if (w->close_button) out.push_back("command bar Close button");
    for (const auto& d : w->drawn) out.push_back("drawn " + quoted(d.text) + place(d.rect));
    for (const auto& c : w->controls)
        out.push_back(quoted(c.cls) + " " + std::to_string(c.id) + " " + quoted(c.text) + place(c.rect) + " " +
                      hex(c.style));
    return out;
}

TEST_F(Dialogs, EachWindowShowsWhatItsResourcesDescribe) {
    run({settings_display_on, "launch"});
    EXPECT_TRUE(same_sequence(
        {
            R"("Pendrel" (0,0 240x294) 0x10000000 0x0)",
            R"(menu "実行" 40004 "読取ｺｰﾄﾞ表示" 40005 "読取ｷｰ出力" 40002 "終了")",
            R"(menu "その他" 40003 "ﾊﾞｰｼﾞｮﾝ")",
            "command bar Close button",
            R"(drawn "1D(ZEL) ﾊﾞｰｺｰﾄﾞ 読取 ｱﾌﾟﾘｹｰｼｮﾝ" (0,0 240x294))",
            R"("CommandBar" 1 "" (0,0 240x26) 0x50000000)",
        },
        topmost_window_of_pendrel(), "main window"));
    // The dialogs' dialog units in pixels of the device's System font.
    run({"menu IDM_ABOUT"});
    EXPECT_TRUE(same_sequence(
        {
            R"("ﾊﾞｰｼﾞｮﾝ Pendrel" (25,94 190x105) 0x90C800C0 0x80000000)",
            R"("STATIC" 65535 "" (43,141 32x32) 0x50000003)",
            R"("STATIC" 65535 "Pendrel Version 1.0.1" (76,130 119x12) 0x50020080)",
            R"("STATIC" 65535 "1D ﾊﾞｰｺｰﾄﾞ ｷｰ入力" (83,153 105x12) 0x50020000)",
        },
        topmost_window_of_pendrel(), "About"));
    run({"press ok", "menu IDM_EXEC_DISPLAY"});
    EXPECT_TRUE(same_sequence(
        {
            R"("1D(ZEL) ﾊﾞｰｺｰﾄﾞ読取ﾂｰﾙ" (20,16 199x262) 0x90C800C0 0x0)",
            R"("EDIT" 1001 "" (44,75 158x42) 0x50A11004)",
            R"("EDIT" 1003 "" (105,138 96x21) 0x50810080)",
            R"("STATIC" 65535 "ﾊﾞｰｺｰﾄﾞ 種類" (35,138 69x12) 0x50020000)",
            R"("EDIT" 1004 "" (108,165 95x21) 0x50810080)",
            R"("STATIC" 65535 "読取ﾃﾞｰﾀﾚﾝｸﾞｽ" (33,166 72x18) 0x50020000)",
            R"("EDIT" 1005 "" (108,198 98x21) 0x50810080)",
            R"("STATIC" 65535 "終了情報" (56,204 48x15) 0x50020000)",
            R"("STATIC" 65535 "Static" (47,169 29x12) 0x50020000)",
            R"("STATIC" 65535 "Static" (63,207 29x12) 0x50020000)",
        },
        topmost_window_of_pendrel(), "read display"));
}

// IDM_EXEC_DISPLAY starts the worker, opens the reader for the main window
// and runs the read display; closing it stops the worker first and closes the reader last.
TEST_F(Dialogs, ReadDisplayOpensForTheMainWindowAndClosesInOrder) {
    run({settings_display_on, "launch"});
    pf::trace_clear();
    run({"menu IDM_EXEC_DISPLAY", R"(scan "7")", "press cancel"});
    auto threads = calls_by_thread();
    ASSERT_GE(threads.size(), 1u);
    EXPECT_TRUE(same_sequence(
        {
            "Shell_NotifyIcon(NIM_DELETE, {hWnd hwnd#1, uID 1, NIF_MESSAGE|NIF_ICON, 0x8064}) = FALSE",
            R"(ShowWindow(hwnd#1 "Pendrel", SW_SHOW) = TRUE)",
            "ZELClose() = 0",
            "ZELOp590() = 0",
            "ZELOp580() = 0",
            "CreateEventW(NULL, FALSE, FALSE, NULL) = event#1",
            "CreateEventW(NULL, FALSE, FALSE, NULL) = event#2",
            "CreateThread(NULL, 0, ReaderWorker, NULL, 0, NULL) = thread#1",
            "ZELClose() = 0",
            "ZELChangeBuffMode(0) = 0",
            "ZELOpen(hwnd#1, 0) = 0",  // the main window is the target from now on
            "FindResourceW(hinst, " + std::to_string(IDD_READDISPLAY) + ", RT_DIALOG) = hrsrc#1",
            "LoadResource(hinst, hrsrc#1) = template",
            R"(GetWindowRect(hwnd#3 "1D(ZEL) ﾊﾞｰｺｰﾄﾞ読取ﾂｰﾙ") = TRUE {0,0,199,262})",
            R"(GetParent(hwnd#3 "1D(ZEL) ﾊﾞｰｺｰﾄﾞ読取ﾂｰﾙ") = hwnd#1 "Pendrel")",
            R"(GetClientRect(hwnd#1 "Pendrel") = TRUE {0,0,240,294})",
            // ((240 - 199) / 2, (294 - 262) / 2)
            R"(SetWindowPos(hwnd#3 "1D(ZEL) ﾊﾞｰｺｰﾄﾞ読取ﾂｰﾙ", NULL, 20, 16, 0, 0, SWP_NOSIZE|SWP_NOZORDER) = TRUE)",
            "SetEvent(event#1) = TRUE",
            "SetEvent(event#1) = TRUE",
            "CloseHandle(thread#1) = TRUE",
            "CloseHandle(event#1) = TRUE",
            "CloseHandle(event#2) = TRUE",
            "EndDialog(hwnd#3, IDCANCEL) = TRUE",
            R"(DialogBoxIndirectParamW(hinst, template, hwnd#1 "Pendrel", proc, 0) = 2)",
            "ZELClose() = 0",
        },
        without(threads[0], "WaitForSingleObject("), "read display"));
    run({"expect dialog none", "expect window shown", "expect reader closed", "expect worker stopped",
         "expect tray 0"});
}

TEST_F(Dialogs, AboutFromTheMenuAndFromAltSlashIsTheSameDialog) {
    for (const char* action : {"menu IDM_ABOUT", "key alt+/"}) {
        SCOPED_TRACE(action);
        scenario::device().reset();
        run({settings_display_on, "launch"});
        pf::trace_clear();
        run({action, "expect dialog IDD_ABOUT"});
        auto dialog = ud::open_dialog();
        ASSERT_TRUE(dialog);
        EXPECT_TRUE(dialog->ok_button) << "the caption OK button";
        run({"press ok", "expect dialog none", "expect window shown", "expect running"});
        // Centred in a rectangle of the main window's client size at the
        // screen origin; OK ends the dialog and nothing else.
        EXPECT_TRUE(same_sequence(
            {
                "FindResourceW(hinst, " + std::to_string(IDD_ABOUT) + ", RT_DIALOG) = hrsrc#1",
                "LoadResource(hinst, hrsrc#1) = template",
                R"(GetWindowRect(hwnd#3 "ﾊﾞｰｼﾞｮﾝ Pendrel") = TRUE {0,0,190,105})",
                R"(GetParent(hwnd#3 "ﾊﾞｰｼﾞｮﾝ Pendrel") = hwnd#1 "Pendrel")",
                R"(GetClientRect(hwnd#1 "Pendrel") = TRUE {0,0,240,294})",
                R"(SetWindowPos(hwnd#3 "ﾊﾞｰｼﾞｮﾝ Pendrel", NULL, 25, 94, 0, 0, SWP_NOSIZE|SWP_NOZORDER) = TRUE)",
                "EndDialog(hwnd#3, IDOK) = TRUE",
                R"(DialogBoxIndirectParamW(hinst, template, hwnd#1 "Pendrel", proc, 0) = 1)",
            },
            without(calls_of(), "TranslateAcceleratorW("), action));
    }
}

}  // namespace

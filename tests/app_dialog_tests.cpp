// The read-display dialog and the About box, on the emulated device.
#include "app_scenario.hpp"

#include "core/core.hpp"
#include "user/dialog.hpp"

namespace {

using scenario::calls_by_thread;
using scenario::calls_of;
using scenario::run;
using scenario::settings_display_on;
using scenario::without;
using Lines = std::vector<std::string>;
namespace ud = pf::user::handheld;

class Dialogs : public scenario::Scenario {};

// 40004 starts the worker, opens the reader for the main window and runs
// dialog 104; closing it stops the worker first and closes the reader last.
TEST_F(Dialogs, ReadDisplayOpensForTheMainWindowAndClosesInOrder) {
    run({settings_display_on, "launch"});
    pf::trace_clear();
    run({"menu 40004", R"(scan "7")", "press cancel"});
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
            "FindResourceW(hinst, 104, RT_DIALOG) = hrsrc#1",
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
    for (const char* action : {"menu 40003", "key alt+/"}) {
        SCOPED_TRACE(action);
        scenario::device().reset();
        run({settings_display_on, "launch"});
        pf::trace_clear();
        run({action, "expect dialog 103"});
        auto dialog = ud::open_dialog();
        ASSERT_TRUE(dialog);
        EXPECT_TRUE(dialog->ok_button) << "the caption OK button";
        run({"press ok", "expect dialog none", "expect window shown", "expect running"});
        // Centred in a rectangle of the main window's client size at the
        // screen origin; OK ends the dialog and nothing else.
        EXPECT_TRUE(same_sequence(
            {
                "FindResourceW(hinst, 103, RT_DIALOG) = hrsrc#1",
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

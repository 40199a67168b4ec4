// The tray popup and the two tray commands, on the emulated device.
#include "app_scenario.hpp"

#include "core/core.hpp"
#include "user/handheld.hpp"
#include "user/menu.hpp"

namespace {

using scenario::calls_by_thread;
using scenario::calls_of;
using scenario::run;
using scenario::without;
using Lines = std::vector<std::string>;
namespace ud = pf::user::handheld;

const Lines popup_opened = {
    "CreatePopupMenu() = hmenu#1",
    R"(wsprintfW(buf, "終了") = 2)",
    R"(AppendMenuW(hmenu#1, MF_STRING, 1324, "終了") = TRUE)",  // the one place tests give the tray item's id
    "GetSystemMetrics(SM_CXSCREEN) = 240",
    "GetSystemMetrics(SM_CYSCREEN) = 320",
};
const char* const tray_delete =
    "Shell_NotifyIcon(NIM_DELETE, {hWnd hwnd#1, uID 1, NIF_MESSAGE|NIF_ICON, 0x8064}) = TRUE";

// After StopReaderWorker: the icon goes, WM_DESTROY is posted and handled,
// the loop ends.
const Lines exit_after_stop = {
    tray_delete,
    R"(PostMessageW(hwnd#1 "Pendrel", WM_DESTROY, 0, 0) = TRUE)",
    "ZELClose() = 0",
    "DestroyWindow(hwnd#2) = TRUE",
    "PostQuitMessage(0)",
    "ReleaseMutex(mutex#1) = FALSE",
    "CloseHandle(mutex#1) = TRUE",
};

class Tray : public scenario::Scenario {};

// Only a button down opens the popup; a tap while it is open closes it and
// opens no other, and the next tap opens it again.
TEST_F(Tray, AButtonDownOpensThePopupAndASecondTapClosesIt) {
    run({"launch"});
    HWND main = scenario::device().pendrel_window();
    ASSERT_TRUE(main);
    pf::trace_clear();
    for (LPARAM mouse : {WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MOUSEMOVE}) ud::post(main, 0x8064, 1, mouse);
    run({"sync", "expect popup closed"});
    EXPECT_TRUE(same_sequence({}, calls_of(), "other mouse messages"));

    ud::post(main, 0x8064, 1, WM_LBUTTONDOWN);
    run({"sync", "expect popup open"});
    EXPECT_TRUE(same_sequence(popup_opened, calls_of(), "button down"));
    auto popup = ud::open_popup();
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->rect.left, 60);  // 240 / 2 - 60
    EXPECT_EQ(popup->rect.top, 290);  // 320 - 30

    pf::trace_clear();
    run({"tap tray", "expect popup closed", "expect running", "expect tray 1"});
    EXPECT_TRUE(same_sequence(
        {
            "PostMessageW(NULL, WM_LBUTTONDOWN, 0, 0) = TRUE",
            R"(TrackPopupMenuEx(hmenu#1, 0, 60, 290, hwnd#1 "Pendrel", NULL) = FALSE)",
            "DestroyMenu(hmenu#1) = TRUE",
        },
        calls_of(), "second tap"));
    run({"tap tray", "expect popup open"});
}

TEST_F(Tray, ExitStopsTheWorkerDeletesTheIconAndEndsWithZero) {
    run({"launch", "tap tray"});
    pf::trace_clear();
    run({"popup IDM_TRAY_EXIT", "wait-exit"});
    auto threads = calls_by_thread();
    ASSERT_EQ(threads.size(), 2u) << "the UI thread and the worker";
    // How many 100 ms waits the handshake takes depends on timing; their
    // order around them does not.
    EXPECT_TRUE(same_sequence(concat({{
                                          R"(TrackPopupMenuEx(hmenu#1, 0, 60, 290, hwnd#1 "Pendrel", NULL) = TRUE)",
                                          "DestroyMenu(hmenu#1) = TRUE",
                                          "SetEvent(event#1) = TRUE",
                                          "SetEvent(event#1) = TRUE",
                                          "CloseHandle(thread#1) = TRUE",
                                          "CloseHandle(event#1) = TRUE",
                                          "CloseHandle(event#2) = TRUE",
                                      },
                                      exit_after_stop}),
                              without(threads[0], "WaitForSingleObject("), "UI thread"));
    // The worker signals once more as it ends, and never closes a handle.
    EXPECT_TRUE(same_sequence({"SetEvent(event#2) = TRUE"}, without(threads[1], "WaitForSingleObject("), "worker"));
    run({"expect exit 0", "expect tray 0"});
}

TEST_F(Tray, RestoreShowsTheBannerClosesTheReaderAndKeepsTheWorker) {
    run({"launch"});
    pf::trace_clear();
    run({"post 1325"});
    EXPECT_TRUE(same_sequence(
        {
            tray_delete,
            R"(ShowWindow(hwnd#1 "Pendrel", SW_SHOW) = FALSE)",
            R"(SetForegroundWindow(hwnd#1 "Pendrel") = TRUE)",
            "ZELClose() = 0",
            R"(BeginPaint(hwnd#1 "Pendrel") = hdc#1)",
            R"(GetClientRect(hwnd#1 "Pendrel") = TRUE {0,0,240,294})",
            R"(LoadStringW(hinst, 2, "1D(ZEL) ﾊﾞｰｺｰﾄﾞ 読取 ｱﾌﾟﾘｹｰｼｮﾝ", 100) = 28)",
            R"(DrawTextW(hdc#1, "1D(ZEL) ﾊﾞｰｺｰﾄﾞ 読取 ｱﾌﾟﾘｹｰｼｮﾝ", 28, {0,0,240,294}, DT_CENTER|DT_VCENTER|DT_SINGLELINE) = 16)",
            R"(EndPaint(hwnd#1 "Pendrel") = TRUE)",
        },
        calls_of(), "restore"));
    run({"expect window shown", "expect tray 0", "expect reader closed", "expect worker running"});
}

}  // namespace

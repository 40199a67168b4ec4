// The tray popup and the two tray commands, on the emulated device.
#include "app_scenario.hpp"

#include <thread>

#include "core/core.hpp"
#include "user/handheld.hpp"
#include "user/menu.hpp"
#include "zel_control.hpp"

namespace {

using scenario::calls_by_thread;
using scenario::calls_of;
using scenario::exit_code;
using scenario::run;
using scenario::without;
using Lines = std::vector<std::string>;
namespace ud = pf::user::handheld;
using namespace std::chrono_literals;

const Lines popup_opened = {
    "CreatePopupMenu() = hmenu#1",
    R"(wsprintfW(buf, "終了") = 2)",
    R"(AppendMenuW(hmenu#1, MF_STRING, 1324, "終了") = TRUE)",
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

TEST_F(Tray, OnlyAButtonDownOpensThePopup) {
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
    EXPECT_EQ(popup->rect.left, 60);   // 240 / 2 - 60
    EXPECT_EQ(popup->rect.top, 290);   // 320 - 30
}

TEST_F(Tray, ASecondTapClosesTheOpenPopupAndOpensNoOther) {
    run({"launch", "tap tray", "expect popup open"});
    pf::trace_clear();
    run({"tap tray", "expect popup closed", "expect running", "expect tray 1"});
    EXPECT_TRUE(same_sequence(
        {
            "PostMessageW(NULL, WM_LBUTTONDOWN, 0, 0) = TRUE",
            R"(TrackPopupMenuEx(hmenu#1, 0, 60, 290, hwnd#1 "Pendrel", NULL) = FALSE)",
            "DestroyMenu(hmenu#1) = TRUE",
        },
        calls_of(), "second tap"));
}

TEST_F(Tray, ExitStopsTheWorkerDeletesTheIconAndEndsWithZero) {
    run({"launch", "tap tray"});
    pf::trace_clear();
    run({"popup 1324", "wait-exit"});
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
    EXPECT_EQ(exit_code(1), 0u);
    run({"expect tray 0"});
}

TEST_F(Tray, ExitWithoutAWorkerEndsAtOnce) {
    run({R"(file \FlashDisk\Velmira\PENDRELTOOL.ini "Display On*")", "launch", "menu 40005", "tap tray"});
    pf::trace_clear();
    run({"popup 1324", "wait-exit 2000"});
    Lines expected = {
        R"(TrackPopupMenuEx(hmenu#1, 0, 60, 290, hwnd#1 "Pendrel", NULL) = TRUE)",
        "DestroyMenu(hmenu#1) = TRUE",
        "SetEvent(NULL) = FALSE",
        "SetEvent(NULL) = FALSE",
    };
    // 32 waits on the null start/stop signal, one on the null wake event.
    for (int i = 0; i < 33; ++i) expected.push_back("WaitForSingleObject(NULL, 100) = WAIT_FAILED");
    for (int i = 0; i < 3; ++i) expected.push_back("CloseHandle(NULL) = FALSE");
    EXPECT_TRUE(same_sequence(concat({expected, exit_after_stop}), calls_of(), "no worker"));
    EXPECT_EQ(exit_code(1), 0u);
}

// A read the worker has fetched is typed to its end before the program
// ends, even when the stop request comes while it is being typed.
TEST_F(Tray, ExitNeverCutsAReadShort) {
    const std::string read(200, 'x');
    for (int attempt = 0; attempt < 3; ++attempt) {
        SCOPED_TRACE(attempt);
        scenario::device().reset();
        run({"launch", "tap tray"});
        ASSERT_TRUE(zel::control::scan(read).accepted);
        auto deadline = pf::Clock::now() + 2s;
        while (zel::control::pending() != 0 && pf::Clock::now() < deadline) std::this_thread::yield();
        ASSERT_EQ(zel::control::pending(), 0u) << "the worker never fetched the read";
        ASSERT_TRUE(ud::choose(1324));
        run({"wait-exit"});
        run({"sync"});
        auto typed = ud::text_of(scenario::device().memo_edit());
        EXPECT_EQ(typed, std::u16string(read.begin(), read.end()))
            << "the memo holds " << typed.size() << " of " << read.size() << " characters";
    }
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

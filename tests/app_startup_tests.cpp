// Pendrel's start-up paths, run on the emulated device and compared call by
// call with the order the program must follow.
#include "app_scenario.hpp"

#include "core/core.hpp"

namespace {

using scenario::calls_of;
using scenario::run;
using scenario::settings_display_on;
using Lines = std::vector<std::string>;
using scenario::BoxCase;

// WinMain up to the creation of the main window.
const Lines before_create = {
    R"(CreateMutexW(NULL, FALSE, "PENDRELInstance") = mutex#1)",
    "GetLastError() = ERROR_SUCCESS",
    R"(LoadStringW(hinst, 3, "Pendrel", 100) = 7)",
    "LoadIconW(hinst, 101) = hicon#1",
    "GetStockObject(WHITE_BRUSH) = WHITE_BRUSH",
    R"(RegisterClassW({CS_VREDRAW|CS_HREDRAW, "Pendrel"}) = 0xC000)",
    R"(LoadStringW(hinst, 1, "Pendrel", 100) = 7)",
    // WM_CREATE
    R"(CommandBar_Create(hinst, hwnd#1 "Pendrel", 1) = hwnd#2)",
    "CommandBar_InsertMenubar(hwnd#2, hinst, 102, 0) = TRUE",
    "CommandBar_AddAdornments(hwnd#2, 0, 0) = TRUE",
    "LoadImageW(hinst, 101, IMAGE_ICON, 16, 16, 0) = hicon#2",
};

const Lines no_settings_file = {
    R"(CreateFileW("\\FlashDisk\\Velmira\\PENDRELTOOL.ini", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, )"
    R"(FILE_ATTRIBUTE_NORMAL, NULL) = INVALID_HANDLE_VALUE [ERROR_PATH_NOT_FOUND])",
    "GetLastError() = ERROR_PATH_NOT_FOUND",
};

// StartReaderWorker, with the worker's start signal, then ResetReader.
const Lines worker_started_and_reset = {
    "CreateEventW(NULL, FALSE, FALSE, NULL) = event#1",
    "CreateEventW(NULL, FALSE, FALSE, NULL) = event#2",
    "CreateThread(NULL, 0, ReaderWorker, NULL, 0, NULL) = thread#1",
    "SetEvent(event#2) = TRUE",  // the worker: started
    "WaitForSingleObject(event#2, 3000) = WAIT_OBJECT_0",
    "ZELClose() = 0",
    "ZELOp590() = 0",
    "ZELOp580() = 0",
};

const char* const create_returns_window =
    R"(CreateWindowExW(0, "Pendrel", "Pendrel", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, )"
    R"(CW_USEDEFAULT, NULL, NULL, hinst, NULL) = hwnd#1)";
const char* const create_returns_null =
    R"(CreateWindowExW(0, "Pendrel", "Pendrel", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, )"
    R"(CW_USEDEFAULT, NULL, NULL, hinst, NULL) = NULL)";

// The show of the instance set-up when the window stays: its banner painted.
const Lines shown_with_banner = {
    create_returns_window,
    R"(ShowWindow(hwnd#1 "Pendrel", SW_SHOW) = TRUE)",
    R"(UpdateWindow(hwnd#1 "Pendrel") = TRUE)",
    R"(BeginPaint(hwnd#1 "Pendrel") = hdc#1)",
    R"(GetClientRect(hwnd#1 "Pendrel") = TRUE {0,0,240,294})",
    R"(LoadStringW(hinst, 2, "1D(ZEL) ﾊﾞｰｺｰﾄﾞ 読取 ｱﾌﾟﾘｹｰｼｮﾝ", 100) = 28)",
    R"(DrawTextW(hdc#1, "1D(ZEL) ﾊﾞｰｺｰﾄﾞ 読取 ｱﾌﾟﾘｹｰｼｮﾝ", 28, {0,0,240,294}, DT_CENTER|DT_VCENTER|DT_SINGLELINE) = 16)",
    R"(EndPaint(hwnd#1 "Pendrel") = TRUE)",
    "CommandBar_Show(hwnd#2, TRUE) = TRUE",
    "LoadAcceleratorsW(hinst, 3) = haccel#1",
};

// WM_DESTROY: close the reader, destroy the command bar, quit.
const Lines destroyed = {
    "ZELClose() = 0",
    "DestroyWindow(hwnd#2) = TRUE",
    "PostQuitMessage(0)",
};

class Startup : public scenario::Scenario {};

TEST_F(Startup, NoSettingsFileOpensTheReaderHidesAndTypesReads) {
    run({"launch"});
    EXPECT_TRUE(same_sequence(
        concat({before_create,
                no_settings_file,
                worker_started_and_reset,
                {
                    "ZELChangeBuffMode(0) = 0",
                    "ZELOpen(NULL, 0) = 0",
                    "Shell_NotifyIcon(NIM_ADD, {hWnd hwnd#1, uID 1, NIF_MESSAGE|NIF_ICON, 0x8064}) = TRUE",
                    R"(ShowWindow(hwnd#1 "Pendrel", SW_HIDE) = FALSE)",
                    create_returns_window,
                    R"(ShowWindow(hwnd#1 "Pendrel", SW_SHOW) = TRUE)",
                    R"(UpdateWindow(hwnd#1 "Pendrel") = TRUE)",
                    // the paint latch: the first paint hides instead of painting
                    R"(ShowWindow(hwnd#1 "Pendrel", SW_HIDE) = TRUE)",
                    "CommandBar_Show(hwnd#2, TRUE) = TRUE",
                    "LoadAcceleratorsW(hinst, 3) = haccel#1",
                }}),
        calls_of(), "background start"));

    pf::trace_clear();
    run({R"(scan "a1")"});
    EXPECT_TRUE(same_sequence(
        {
            "ZELPollStatus(&status, &pending) = 0 [pending 1]",
            "ZELReadData(buffer, &info, &length) = 0 [length 2]",
        },
        calls_of(), "one read"));
    run({R"(expect text memo "a1")", "expect window hidden", "expect tray 1"});
}

TEST_F(Startup, DisplayOnShowsTheWindowWithoutWorkerDriverOrTray) {
    run({settings_display_on, "launch"});
    Lines read_setting = {
        R"(CreateFileW("\\FlashDisk\\Velmira\\PENDRELTOOL.ini", GENERIC_READ, FILE_SHARE_READ, NULL, )"
        R"(OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL) = file#1)",
    };
    for (int i = 0; i < 11; ++i) read_setting.push_back("ReadFile(file#1, buffer, 1, &read, NULL) = TRUE [read 1]");
    read_setting.push_back("CloseHandle(file#1) = TRUE");
    EXPECT_TRUE(same_sequence(concat({before_create, read_setting, shown_with_banner}), calls_of(), "Display On"));
    run({"expect window shown", "expect tray 0", "expect worker stopped", "expect reader closed"});
}

const char* const a1_box = R"(MessageBoxW(hwnd#1, "出力ﾊﾞｯﾌｧ 切替 失敗", "ZELChangeBuffMode Error", MB_RETRYCANCEL) = )";
const char* const b1_box = R"(MessageBoxW(hwnd#1, "ﾄﾘｶﾞｰｷｰ登録失敗", "ZELOpen Error", MB_RETRYCANCEL) = )";
const char* const b1_fail = "ZELOpen(NULL, 0) = ZEL_ERR_TRIGGER_KEY";

const BoxCase box_cases[] = {
    {"A1 retry", "fail ZELChangeBuffMode", "answer retry", {"ZELChangeBuffMode(0) = 0x1", std::string(a1_box) + "IDRETRY"}, false},
    {"A1 cancel", "fail ZELChangeBuffMode", "answer cancel", {"ZELChangeBuffMode(0) = 0x1", std::string(a1_box) + "IDCANCEL"}, true},
    {"B1 retry", "fail ZELOpen", "answer retry", {"ZELChangeBuffMode(0) = 0", b1_fail, std::string(b1_box) + "IDRETRY"}, false},
    {"B1 cancel", "fail ZELOpen", "answer cancel", {"ZELChangeBuffMode(0) = 0", b1_fail, std::string(b1_box) + "IDCANCEL"}, true},
    {"C1 ok", "fail ZELOpen 0xFFFF0701", "answer ok",
     {"ZELChangeBuffMode(0) = 0", "ZELOpen(NULL, 0) = ZEL_ERR_OPEN",
      R"(MessageBoxW(hwnd#1, "ZELﾄﾞﾗｲﾊﾞ ｵｰﾌﾟﾝ失敗", "ZELOpen Error", MB_OK) = IDOK)"},
     false},
};

// Retry and OK leave the window shown with the worker running; Cancel
// destroys the window inside its creation and ends with exit code 0.
TEST_F(Startup, AFailedStepShowsItsBoxAndTheAnswerDecides) {
    for (const auto& c : box_cases) {
        SCOPED_TRACE(c.name);
        scenario::device().reset();
        run({c.fault, "launch", c.answer});
        Lines ended = concat({destroyed, {R"(DestroyWindow(hwnd#1 "Pendrel") = TRUE)", create_returns_null}});
        EXPECT_TRUE(same_sequence(
            concat({before_create, no_settings_file, worker_started_and_reset, c.calls, c.ends ? ended : shown_with_banner}),
            calls_of(), c.name));
        if (c.ends) {
            run({"expect exit 0", "expect tray 0"});
        } else {
            run({"expect window shown", "expect tray 0", "expect worker running", "expect running"});
        }
    }
}

// A copy in the tray is left where it is, so the operator's application keeps
// the keyboard; a shown copy comes back with its box or dialog (the low bit).
TEST_F(Startup, SecondLaunchLeavesATrayCopyAloneAndBringsAShownOneBack) {
    struct Case {
        const char* name;
        bool shown;
        Lines foreground;
    };
    const Case cases[] = {
        {"in the tray", false, {R"(IsWindowVisible(hwnd#1 "Pendrel") = FALSE)"}},
        {"shown", true,
         {R"(IsWindowVisible(hwnd#1 "Pendrel") = TRUE)", R"(SetForegroundWindow(hwnd#1 "Pendrel" | 0x01) = TRUE)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scenario::device().reset();
        if (c.shown) run({settings_display_on});
        run({"launch"});
        auto first = calls_of(1);
        run({"launch", "expect exit 0 2"});
        EXPECT_TRUE(same_sequence(concat({{
                                              R"(CreateMutexW(NULL, FALSE, "PENDRELInstance") = mutex#2)",
                                              "GetLastError() = ERROR_ALREADY_EXISTS",
                                              R"(LoadStringW(hinst, 3, "Pendrel", 100) = 7)",
                                              R"(FindWindowW("Pendrel", NULL) = hwnd#1 "Pendrel")",
                                          },
                                          c.foreground,
                                          {"CloseHandle(mutex#2) = TRUE"}}),
                                  calls_of(2), c.name));
        // The first copy made no call meanwhile.
        EXPECT_TRUE(same_sequence(first, calls_of(1), "first launch"));
    }
}

// Both ways to the Exit command end the program through WM_DESTROY.
TEST_F(Startup, AltF4AndMenuExitEndWithExitCodeZero) {
    for (const char* action : {"key alt+f4", "menu IDM_EXIT"}) {
        SCOPED_TRACE(action);
        scenario::device().reset();
        run({settings_display_on, "launch"});
        pf::trace_clear();
        run({action, "expect exit 0"});
        Lines expected;
        if (std::string(action) == "key alt+f4")
            expected.push_back(R"(TranslateAcceleratorW(hwnd#1 "Pendrel", haccel#1, {hwnd#1 "Pendrel", WM_SYSKEYDOWN, 115, 0x20000001}) = 1)");
        expected = concat({expected, destroyed,
                           {R"(DestroyWindow(hwnd#1 "Pendrel") = TRUE)", "ZELClose() = 0",
                            "ReleaseMutex(mutex#1) = FALSE", "CloseHandle(mutex#1) = TRUE"}});
        EXPECT_TRUE(same_sequence(expected, calls_of(), action));
    }
}

}  // namespace

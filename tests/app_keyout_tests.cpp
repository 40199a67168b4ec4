// Read key output (command 40005) from the shown window, and its three
// failure boxes: each box's text, caption and style, and what its answers do.
#include "app_scenario.hpp"

namespace {

using scenario::calls_of;
using scenario::exit_code;
using scenario::run;
using Lines = std::vector<std::string>;

const char* const settings_display_on = R"(file \FlashDisk\Velmira\PENDRELTOOL.ini "Display On*")";

const Lines reader_reset = {"ZELClose() = 0", "ZELOp590() = 0", "ZELOp580() = 0"};

// The window destroyed from the command: WM_DESTROY, then the end of WinMain.
const Lines program_ended = {
    "ZELClose() = 0",
    "DestroyWindow(hwnd#2) = TRUE",
    "PostQuitMessage(0)",
    R"(DestroyWindow(hwnd#1 "Pendrel") = TRUE)",
    "ReleaseMutex(mutex#1) = FALSE",
    "CloseHandle(mutex#1) = TRUE",
};

class KeyOutput : public scenario::Scenario {
protected:
    // Launches with the window shown, arms `fault`, chooses 40005 and answers
    // the box that comes up; the trace holds only what the command did.
    void choose_with(const char* fault, const char* answer) {
        run({settings_display_on, "launch"});
        pf::trace_clear();
        run({fault, "menu 40005", answer});
    }
};

TEST_F(KeyOutput, SwitchesTheDriverToMode3AndHidesToTheTray) {
    run({settings_display_on, "launch"});
    pf::trace_clear();
    run({"menu 40005"});
    EXPECT_TRUE(same_sequence(concat({reader_reset,
                                      {
                                          "ZELChangeBuffMode(3) = 0",
                                          "ZELOpen(NULL, 0) = 0",
                                          "Shell_NotifyIcon(NIM_ADD, {hWnd hwnd#1, uID 1, NIF_MESSAGE|NIF_ICON, "
                                          "0x8064}) = TRUE",
                                          R"(ShowWindow(hwnd#1 "Pendrel", SW_HIDE) = TRUE)",
                                      }}),
                              calls_of(), "read key output"));
    run({"expect window hidden", "expect tray 1", "expect mode 3", "expect reader open", "expect worker stopped"});
}

// A Retry/Cancel box of the command.
struct BoxCase {
    const char* name;
    const char* fault;
    Lines failing_calls;
    const char* box;  // the MessageBoxW line up to its answer
};

const BoxCase retry_boxes[] = {
    {"A2", "fail ZELChangeBuffMode",
     {"ZELChangeBuffMode(3) = 0x1"},
     R"(MessageBoxW(hwnd#1, "出力ﾊﾞｯﾌｧ 切替 失敗", "ZELChangeBuffMode ｴﾗｰ", MB_RETRYCANCEL) = )"},
    {"B2", "fail ZELOpen",
     {"ZELChangeBuffMode(3) = 0", "ZELOpen(NULL, 0) = ZEL_ERR_TRIGGER_KEY"},
     R"(MessageBoxW(hwnd#1, "ﾄﾘｶﾞｰｷｰ登録失敗", "ZELOpen ｴﾗｰ", MB_RETRYCANCEL) = )"},
};

TEST_F(KeyOutput, RetryInA2AndB2LeavesTheWindowShown) {
    for (const auto& c : retry_boxes) {
        SCOPED_TRACE(c.name);
        scenario::device().reset();
        choose_with(c.fault, "answer retry");
        EXPECT_TRUE(same_sequence(concat({reader_reset, c.failing_calls, {std::string(c.box) + "IDRETRY"}}),
                                  calls_of(), c.name));
        run({"expect messagebox none", "expect window shown", "expect tray 0", "expect running"});
    }
}

TEST_F(KeyOutput, CancelInA2AndB2EndsTheProgramWithExitCodeZero) {
    for (const auto& c : retry_boxes) {
        SCOPED_TRACE(c.name);
        scenario::device().reset();
        choose_with(c.fault, "answer cancel");
        run({"wait-exit"});
        EXPECT_TRUE(same_sequence(
            concat({reader_reset, c.failing_calls, {std::string(c.box) + "IDCANCEL"}, program_ended}), calls_of(),
            c.name));
        EXPECT_EQ(exit_code(1), 0u);
        run({"expect tray 0"});
    }
}

// Any other failure of the open: an OK box with the start-up's English
// caption, and the window stays.
TEST_F(KeyOutput, OkInC2LeavesTheWindowShown) {
    choose_with("fail ZELOpen 0xFFFF0701", "answer ok");
    EXPECT_TRUE(same_sequence(
        concat({reader_reset,
                {"ZELChangeBuffMode(3) = 0", "ZELOpen(NULL, 0) = ZEL_ERR_OPEN",
                 R"(MessageBoxW(hwnd#1, "ZELﾄﾞﾗｲﾊﾞ ｵｰﾌﾟﾝ失敗", "ZELOpen Error", MB_OK) = IDOK)"}}),
        calls_of(), "C2"));
    run({"expect messagebox none", "expect window shown", "expect tray 0", "expect running"});
}

}  // namespace

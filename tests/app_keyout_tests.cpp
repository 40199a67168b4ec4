// Read key output (IDM_EXEC_KEYOUT) from the shown window, and its three
// failure boxes: each box's text, caption and style, and what its answers do.
#include "app_scenario.hpp"

namespace {

using scenario::calls_of;
using scenario::run;
using scenario::settings_display_on;
using Lines = std::vector<std::string>;
using scenario::BoxCase;

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

class KeyOutput : public scenario::Scenario {};

TEST_F(KeyOutput, SwitchesTheDriverToMode3AndHidesToTheTray) {
    run({settings_display_on, "launch"});
    pf::trace_clear();
    run({"menu IDM_EXEC_KEYOUT"});
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

const char* const a2_box = R"(MessageBoxW(hwnd#1, "出力ﾊﾞｯﾌｧ 切替 失敗", "ZELChangeBuffMode ｴﾗｰ", MB_RETRYCANCEL) = )";
const char* const b2_box = R"(MessageBoxW(hwnd#1, "ﾄﾘｶﾞｰｷｰ登録失敗", "ZELOpen ｴﾗｰ", MB_RETRYCANCEL) = )";
const char* const b2_fail = "ZELOpen(NULL, 0) = ZEL_ERR_TRIGGER_KEY";

// C2, any other failure of the open, has the start-up's English caption.
const BoxCase box_cases[] = {
    {"A2 retry", "fail ZELChangeBuffMode", "answer retry", {"ZELChangeBuffMode(3) = 0x1", std::string(a2_box) + "IDRETRY"}, false},
    {"A2 cancel", "fail ZELChangeBuffMode", "answer cancel", {"ZELChangeBuffMode(3) = 0x1", std::string(a2_box) + "IDCANCEL"}, true},
    {"B2 retry", "fail ZELOpen", "answer retry", {"ZELChangeBuffMode(3) = 0", b2_fail, std::string(b2_box) + "IDRETRY"}, false},
    {"B2 cancel", "fail ZELOpen", "answer cancel", {"ZELChangeBuffMode(3) = 0", b2_fail, std::string(b2_box) + "IDCANCEL"}, true},
    {"C2 ok", "fail ZELOpen 0xFFFF0701", "answer ok",
     {"ZELChangeBuffMode(3) = 0", "ZELOpen(NULL, 0) = ZEL_ERR_OPEN",
      R"(MessageBoxW(hwnd#1, "ZELﾄﾞﾗｲﾊﾞ ｵｰﾌﾟﾝ失敗", "ZELOpen Error", MB_OK) = IDOK)"},
     false},
};

// Retry and OK return to the shown window; Cancel ends the program with 0.
TEST_F(KeyOutput, AFailedStepShowsItsBoxAndTheAnswerDecides) {
    for (const auto& c : box_cases) {
        SCOPED_TRACE(c.name);
        scenario::device().reset();
        run({settings_display_on, "launch"});
        pf::trace_clear();
        run({c.fault, "menu IDM_EXEC_KEYOUT", c.answer});
        EXPECT_TRUE(same_sequence(concat({reader_reset, c.calls, c.ends ? program_ended : Lines{}}), calls_of(), c.name));
        if (c.ends) {
            run({"expect exit 0", "expect tray 0"});
        } else {
            run({"expect messagebox none", "expect window shown", "expect tray 0", "expect running"});
        }
    }
}

}  // namespace

// The modal dialog loop and the dialog manager's keys, from an in-memory
// template: what the focused control answers to WM_GETDLGCODE decides.
#include "conformance.hpp"


using namespace conformance;

namespace {

enum { IdMemo = 101, IdField = 102, StepFocusField = WM_USER + 1, StepDone = WM_USER + 2,
       StepAfterMemoTab = WM_USER + 3 };

// A multi-line edit that wants Return, then a single-line edit.
struct KeysTemplate : DialogTemplate {
    KeysTemplate() : DialogTemplate(TEXT("Keys"), 2) {
        edit(IdMemo, ES_MULTILINE | ES_WANTRETURN, 5, 5, 100, 30);
        edit(IdField, ES_AUTOHSCROLL, 5, 40, 100, 12);
    }
};

struct Outcome {
    std::vector<UINT> commands;
    HWND focus_after_memo_tab = NULL;
    HWND focus_after_tab = NULL;
    HWND memo = NULL;
    HWND field = NULL;
    DWORD memo_selection = 0;
    WCHAR memo_text[64] = {};
    bool other_window_served = false;
};
Outcome* outcome;
HWND other_window;

void post_key(HWND to, WPARAM vk) {
    PostMessageW(to, WM_KEYDOWN, vk, 1);
    PostMessageW(to, WM_KEYUP, vk, 0xC0000001);
}

INT_PTR CALLBACK KeysDlgProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        // Typed into the multi-line edit: a letter and Return (it wants
        // Return) stay there; Tab moves the focus on even from there.
        HWND memo = GetDlgItem(dlg, IdMemo);
        outcome->memo = memo;
        outcome->field = GetDlgItem(dlg, IdField);
        post_key(memo, 'A');
        post_key(memo, VK_RETURN);
        post_key(memo, VK_TAB);
        PostMessageW(dlg, StepAfterMemoTab, 0, 0);
        PostMessageW(dlg, StepFocusField, 0, 0);
        if (other_window) PostMessageW(other_window, WM_USER + 7, 0, 0);
        return TRUE;
    }
    case StepAfterMemoTab:
        outcome->focus_after_memo_tab = GetFocus();
        return TRUE;
    case StepFocusField: {
        // From the single-line edit, Tab moves on to the memo and selects it.
        HWND field = GetDlgItem(dlg, IdField);
        SetFocus(field);
        post_key(field, VK_TAB);
        PostMessageW(dlg, StepDone, 0, 0);
        return TRUE;
    }
    case StepDone: {
        outcome->focus_after_tab = GetFocus();
        outcome->memo_selection = DWORD(SendMessageW(outcome->memo, EM_GETSEL, 0, 0));
        GetDlgItemTextW(dlg, IdMemo, outcome->memo_text, 64);
        // Return from the single-line edit gives IDOK.
        HWND field = GetDlgItem(dlg, IdField);
        SetFocus(field);
        post_key(field, VK_RETURN);
        return TRUE;
    }
    case WM_COMMAND:
        // Edit notifications come as WM_COMMAND too; only buttons count here.
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) outcome->commands.push_back(LOWORD(wParam));
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dlg, LOWORD(wParam));
        return TRUE;
    }
    (void)lParam;
    return FALSE;
}

LRESULT CALLBACK OtherWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER + 7 && outcome) outcome->other_window_served = true;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST(DialogManager, KeysFollowWhatTheFocusedControlWants) {
    Outcome result;
    outcome = &result;
    WNDCLASSW wc;
    std::memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = OtherWndProc;
    wc.lpszClassName = TEXT("ConformanceOther");
    RegisterClassW(&wc);
    other_window = CreateWindowExW(0, TEXT("ConformanceOther"), TEXT("other"), WS_OVERLAPPEDWINDOW, 0, 0, 50, 50,
                                   NULL, NULL, NULL, NULL);
    ASSERT_TRUE(other_window);

    KeysTemplate t;
    INT_PTR r = DialogBoxIndirectParamW(NULL, t.get(), other_window, KeysDlgProc, 0);
    EXPECT_EQ(r, IDOK);
    std::vector<UINT> expected_commands(1, IDOK);
    EXPECT_EQ(result.commands, expected_commands);
    EXPECT_EQ(result.focus_after_memo_tab, result.field);
    EXPECT_EQ(result.focus_after_tab, result.memo);
    // The memo holds "a" and a line break, all selected by the Tab into it.
    EXPECT_EQ(std::basic_string<WCHAR>(result.memo_text), std::basic_string<WCHAR>(TEXT("a\r\n")));
    EXPECT_EQ(LOWORD(result.memo_selection), 0);
    EXPECT_EQ(HIWORD(result.memo_selection), 3);
    // The modal loop kept serving the owner thread's other windows.
    EXPECT_TRUE(result.other_window_served);
    EXPECT_TRUE(IsWindowEnabled(other_window));
    DestroyWindow(other_window);
    other_window = NULL;
    outcome = nullptr;
}

INT_PTR CALLBACK EscapeDlgProc(HWND dlg, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        post_key(GetDlgItem(dlg, IdField), VK_ESCAPE);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dlg, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

TEST(DialogManager, EscapeFromAFieldGivesCancel) {
    KeysTemplate t;
    EXPECT_EQ(DialogBoxIndirectParamW(NULL, t.get(), NULL, EscapeDlgProc, 0), IDCANCEL);
}

}  // namespace

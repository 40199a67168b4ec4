// The memo's window, the same on the emulated device and in the Wine agent:
// a window filled by a multi-line edit that takes the typing, and that stays
// for the whole session. Plain Win32, for both builds.
#pragma once
#include <windows.h>

#include <cstdio>

namespace memo_ui {

constexpr int edit_id = 1;
constexpr UINT take_focus = WM_APP + 1;  // to the front, with the focus in the text

inline LRESULT CALLBACK MemoWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        RECT client;
        GetClientRect(window, &client);
        // It scrolls as its text grows, as an operator's memo does, so that a
        // long run of reads never meets the bottom of the field.
        DWORD style = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
        HWND edit = CreateWindowExW(0, TEXT("EDIT"), TEXT(""), style, 0, 0, client.right, client.bottom, window,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(edit_id)), nullptr, nullptr);
        return edit ? 0 : -1;
    }
    case take_focus: SetForegroundWindow(window); [[fallthrough]];
    case WM_SETFOCUS:
        // Whatever gives the memo the focus, the typing goes to its text.
        SetFocus(GetDlgItem(window, edit_id));
        return 0;
    case WM_CLOSE: return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Creates the memo in front with the focus, on the calling thread; null when
// it cannot.
inline HWND create(DWORD style) {
    WNDCLASSW cls{};
    cls.lpfnWndProc = MemoWndProc;
    cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    cls.lpszClassName = TEXT("Memo");
    RegisterClassW(&cls);
    HWND window = CreateWindowExW(0, TEXT("Memo"), TEXT("Memo"), style | WS_VISIBLE, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN) - 26, nullptr, nullptr,
                                  nullptr, nullptr);
    if (window) {
        SetForegroundWindow(window);
        SetFocus(GetDlgItem(window, edit_id));
    }
    return window;
}

// The key log's line for a key message the memo retrieves: "down 0x41
// shift", "char 0x61", "up 0x5B" (Shift as of this message, as the window
// sees it); false for any other message. Both devices log alike, so that
// their logs of the same script can be compared key by key.
inline bool key_log_line(const MSG& msg, char (&line)[32]) {
    const char* kind = msg.message == WM_KEYDOWN ? "down" : msg.message == WM_KEYUP ? "up"
                       : msg.message == WM_CHAR  ? "char" : nullptr;
    if (!kind) return false;
    bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    std::snprintf(line, sizeof line, "%s 0x%02X%s", kind, unsigned(msg.wParam), shift ? " shift" : "");
    return true;
}

}  // namespace memo_ui

// The memo program: its window procedure, message loop and key log.
#include "memo.hpp"

#include <cstdio>
#include <future>

#include "platform_link.hpp"

namespace runner::memo {
namespace {

HWND edit_of(HWND window) { return GetDlgItem(window, edit_id); }

std::function<void(const std::string&)>& key_log() {
    static auto& log = *new std::function<void(const std::string&)>;
    return log;
}

void log_key_message(const MSG& msg) {
    const char* kind = msg.message == WM_KEYDOWN ? "down" : msg.message == WM_KEYUP ? "up"
                       : msg.message == WM_CHAR  ? "char" : nullptr;
    if (!kind || !key_log()) return;
    // The Shift state as of this message, as the receiving window sees it.
    bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    char line[32];
    std::snprintf(line, sizeof line, "%s 0x%02X%s", kind, unsigned(msg.wParam), shift ? " shift" : "");
    key_log()(line);
}

LRESULT CALLBACK MemoWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        RECT client;
        GetClientRect(window, &client);
        HWND edit = CreateWindowExW(0, u"EDIT", u"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN, 0, 0,
                                    client.right, client.bottom, window, reinterpret_cast<HMENU>(edit_id),
                                    nullptr, nullptr);
        return edit ? 0 : -1;
    }
    case WM_SETFOCUS:
        // Whatever gives the memo the focus, the typing goes to its text.
        SetFocus(edit_of(window));
        return 0;
    case WM_CLOSE:
        return 0;  // the memo stays for the whole session
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void run(std::promise<HWND>& created) {
    WNDCLASSW cls{};
    cls.lpfnWndProc = MemoWndProc;
    cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    cls.lpszClassName = u"Memo";
    RegisterClassW(&cls);
    HWND window = CreateWindowExW(0, u"Memo", u"Memo", WS_VISIBLE, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                                  GetSystemMetrics(SM_CYSCREEN) - 26, nullptr, nullptr, nullptr, nullptr);
    if (window) {
        SetForegroundWindow(window);
        SetFocus(edit_of(window));
    }
    created.set_value(window);
    if (!window) return;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        log_key_message(msg);
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

void set_key_log(std::function<void(const std::string&)> log) { key_log() = std::move(log); }

Memo start() {
    auto created = std::make_shared<std::promise<HWND>>();
    auto window = created->get_future();
    Memo memo;
    memo.process = link::start_process("memo", [created] { run(*created); });
    memo.window = window.get();
    return memo;
}

}  // namespace runner::memo

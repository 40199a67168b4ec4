// The driver's channel, the memo the reads are typed into, and the quiet
// point a command waits for: the driver has no read left to type, the memo
// no key left to take in, and every window of the launches answers.
#include "../../../driver/win32/channel.h"
#include "../../memo_ui.hpp"
#include "agent.hpp"

namespace agent {
namespace {

constexpr UINT kInputLeft = WM_APP + 2;  // answers non-zero while keys wait in the memo's queue

HWND memo = nullptr;
FILE* key_log = nullptr;

// The memo as memo_ui makes it, and one question only the agent asks.
WNDPROC memo_proc = nullptr;
LRESULT CALLBACK AgentMemoProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kInputLeft) return HIWORD(GetQueueStatus(QS_KEY | QS_POSTMESSAGE)) != 0;
    return CallWindowProcW(memo_proc, window, message, wParam, lParam);
}

DWORD WINAPI memo_thread(LPVOID ready) {
    memo = memo_ui::create(WS_POPUP);
    if (memo) memo_proc = WNDPROC(SetWindowLongPtrW(memo, GWLP_WNDPROC, LONG_PTR(AgentMemoProc)));
    SetEvent(HANDLE(ready));
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        char line[32];
        if (key_log && memo_ui::key_log_line(msg, line)) std::fprintf(key_log, "%s\n", line), std::fflush(key_log);
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

}  // namespace

// The simulated driver's control channel inside TOLVEN.dll: one request a
// connection, one answer line. The driver opens its pipe again after each
// request: while a launch runs, a pipe not there yet is waited for (up to
// 2 s), so that no request falls between two.
std::string driver_request(const std::string& request) {
    return zel::control::channel_request(request, any_launch_running() ? 2000 : 0);
}

// The memo runs on a thread of its own, as a program of its own would.
bool start_memo(const wchar_t* key_log_path) {
    if (key_log_path && !(key_log = _wfopen(key_log_path, L"w"))) return false;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(CreateThread(nullptr, 0, memo_thread, ready, 0, nullptr));
    WaitForSingleObject(ready, 10000);
    CloseHandle(ready);
    return memo != nullptr;
}
HWND memo_window() { return memo; }
HWND memo_edit() { return GetDlgItem(memo, memo_ui::edit_id); }

// Quiet, as the device's quiet point: no read waits in the driver and the
// program has polled again since it took its last one (so that read's keys
// are all sent), the memo has no key left to handle, and every window of
// the launches answers. A program window takes its keys in a little later:
// what a key does there is waited for by the command or expectation after.
std::string settle() {
    std::string state;
    bool reads_done = poll_until([&] {
        state = any_launch_running() ? driver_request("state") : "";  // "open 1 mode 0 pending 0 typing 0"
        return state.empty() || (state.find("pending 0") != std::string::npos &&
                                 state.find("typing 0") != std::string::npos);
    });
    if (!reads_done) return "error the reads were still being typed 5 s later (driver: " + state + ")";
    bool memo_done = poll_until([] {
        DWORD_PTR left = 1;
        return SendMessageTimeoutW(memo, kInputLeft, 0, 0, SMTO_BLOCK, 1000, &left) && left == 0;
    });
    if (!memo_done) return "error the memo still had keys to take in 5 s later";
    for (auto& l : launches())
        if (running(l))
            for (HWND w : top_windows_of(l.info.dwProcessId))
                SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_BLOCK, 1000, nullptr);
    if (HWND w = editor_window()) SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_BLOCK, 1000, nullptr);
    return "ok";
}

// One opened by a key (Alt+/) shows after the key has reached the program's window.
HWND opened_dialog() {
    HWND dialog = nullptr;
    poll_until([&] { return (dialog = open_dialog()) != nullptr; }, 3000);
    return dialog;
}

}  // namespace agent

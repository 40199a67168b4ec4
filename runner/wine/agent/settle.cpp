// The driver's channel, the memo the reads are typed into, and the quiet
// point a command waits for.
#include <algorithm>
#include <map>

#include "../../../driver/win32/channel.h"
#include "../quiet/quiet_probe.h"
#include "../../memo_ui.hpp"
#include "agent.hpp"

namespace agent {
namespace {

HWND memo = nullptr;
HHOOK hooks[2] = {};
FILE* key_log = nullptr;

DWORD WINAPI memo_thread(LPVOID ready) {
    memo = memo_ui::create(WS_POPUP);
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

// The device's reader host, which the agent started: one request, one answer line.
std::string driver_request(const std::string& request) { return zel::control::channel_request(request, false); }

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

// Both hooks for every thread of the desktop, from quiethook.dll: Wine loads
// it into each process a hooked thread runs in.
bool install_quiet_hooks() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring agent_path = path;
    std::wstring dll = agent_path.substr(0, agent_path.find_last_of(L"\\/") + 1) + L"quiethook.dll";
    HMODULE module = LoadLibraryW(dll.c_str());
    if (!module) return false;
    auto taken = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(module, "QuietTakenHook")));
    auto probe = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(module, "QuietProbeHook")));
    return taken && probe && (hooks[0] = SetWindowsHookExW(WH_GETMESSAGE, taken, module, 0)) &&
           (hooks[1] = SetWindowsHookExW(WH_CALLWNDPROC, probe, module, 0));
}
void remove_quiet_hooks() {
    for (HHOOK& h : hooks)
        if (h) UnhookWindowsHookEx(h), h = nullptr;
}
HWND memo_edit() { return GetDlgItem(memo, memo_ui::edit_id); }

// The quiet point (docs/wine-quiet-point.md): the reader has no read
// waiting and none being typed, and every thread that owns a window on the
// desktop (the launches', the memo's, notepad's, Wine's shell) has taken and
// handled every input and posted message: its probe finds its queue empty
// between two messages. A launch whose main thread owns no window is
// starting or ending, and is not quiet. The view is exact once two passes in
// a row find it so and no thread has taken a message between them: nothing
// then was still moving from one queue to another.
std::string settle(DWORD bound_ms) {
    static const UINT probe = RegisterWindowMessageW(QUIET_PROBE_MESSAGE);
    ULONGLONG deadline = GetTickCount64() + bound_ms;
    std::map<DWORD, unsigned long> seen, before;
    bool quiet_before = false;
    for (std::string why;; Sleep(2)) {
        bool quiet = true;
        std::string state = driver_request("state");
        if (state.find("pending 0 typing 0") == std::string::npos) {
            quiet = false;
            why = "the reader still had reads to type (" + state + ")";
        } else if (state.find("polled 1") == std::string::npos && state.find("mode 0") != std::string::npos) {
            quiet = false;  // the reader was opened for a worker that has not polled yet
            why = "the reader was open in mode 0 and nothing had polled it since (" + state + ")";
        }
        seen.clear();
        for (auto [thread, window] : window_threads()) {
            if (!quiet) break;
            auto left = std::max(LONGLONG(deadline) - LONGLONG(GetTickCount64()), 1LL);
            DWORD_PTR reply = 0;
            if (!SendMessageTimeoutW(window, probe, 0, 0, SMTO_BLOCK, UINT(left), &reply)) {
                quiet = false;
                why = "thread " + std::to_string(thread) + " of " + process_name(thread) + " did not come back to its messages";
                break;
            }
            auto answer = quiet_probe::read(reply);
            if (!answer.hooked) return "error the quiet hook is not loaded in " + process_name(thread);
            seen[thread] = answer.taken;
            if (answer.waiting) {
                quiet = false;
                why = process_name(thread) + " still had messages to take";
            }
        }
        for (size_t i = 0; quiet && i < launches().size(); ++i)
            if (running(launches()[i]) && !seen.count(launches()[i].info.dwThreadId)) {
                quiet = false;
                why = "pendrel#" + std::to_string(i + 1) + " was starting or ending (its main thread had no window)";
            }
        if (quiet && quiet_before && seen == before) return "ok";
        quiet_before = quiet;
        before = seen;
        if (GetTickCount64() >= deadline)
            return "error not quiet after " + std::to_string(bound_ms) + " ms: " + (quiet ? "messages were still being taken" : why);
    }
}

}  // namespace agent

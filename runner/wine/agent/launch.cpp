// Launches of pendrel.exe: started, counted from 1, their reader worker
// seen, and ended; the device's reader host.
#include "agent.hpp"

#include <cstdio>

#include "../../../driver/win32/channel.h"

namespace agent {
namespace {

std::wstring app;
std::vector<Launch> all;
Launch editor;  // notepad.exe, once started
HWND editor_top = nullptr;
// The device's reader host, started with the agent and ended with it.
PROCESS_INFORMATION reader_host{};

constexpr DWORD kStartLimit = 10000;  // from a launch to its first wait for input
constexpr DWORD kEndLimit = 10000;    // from TerminateProcess to the process gone

// Exit statuses Wine's loader gives a process that never reached its entry
// point: a DLL not found or failing its start, an entry not found, a bad image.
bool never_started(DWORD code) {
    return code == 0xC0000135 || code == 0xC0000139 || code == 0xC0000142 || code == 0xC000007B;
}

// Records launch `l` once its start-up is over: its main thread waits for
// input (a window or a box shown), or it has ended. One that ended in the
// loader is Wine's failure ("error launch-failed: ..."), not a launch.
std::string started(const Launch& l) {
    DWORD idle = WaitForInputIdle(l.info.hProcess, kStartLimit);
    DWORD code = 0;
    if (!running(l) && GetExitCodeProcess(l.info.hProcess, &code) && never_started(code)) {
        char status[16];
        std::snprintf(status, sizeof status, "0x%08lX", (unsigned long)code);
        return "error launch-failed: pendrel.exe ended in Wine's loader, before its entry point (status " +
               std::string(status) + ")";
    }
    all.push_back(l);
    std::string n = std::to_string(all.size());
    if (idle == WAIT_TIMEOUT && running(l))
        return "error pendrel#" + n + " was still starting " + std::to_string(kStartLimit / 1000) + " s after its launch";
    return "ok " + n;
}

}  // namespace

void set_app_path(const std::wstring& path) { app = path; }
const std::wstring& app_path() { return app; }
const std::vector<Launch>& launches() { return all; }
bool running(const Launch& l) { return WaitForSingleObject(l.info.hProcess, 0) == WAIT_TIMEOUT; }

const Launch* target(int n) {
    if (n > 0) return n <= int(all.size()) ? &all[n - 1] : nullptr;
    for (auto& l : all)
        if (running(l)) return &l;
    return all.empty() ? nullptr : &all.back();
}

std::string arm_fault(const std::string& request) {
    std::string reply = driver_request(request);
    return reply == "ok" ? "ok" : "error the reader refused " + request + ": " + (reply.empty() ? "no answer" : reply);
}

// A plain process start; the program's driver reaches the device's reader by itself.
std::string launch() {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    Launch l;
    std::wstring command = L"\"" + app + L"\"";
    // From C:\ a rooted path such as \FlashDisk\... is on drive C:, as the settings file is.
    if (!CreateProcessW(app.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, L"C:\\", &startup, &l.info))
        return "error launch-failed: Wine could not start pendrel.exe (error " + std::to_string(GetLastError()) + ")";
    return started(l);
}

// The reader worker, seen by its polls: the thread that polled last, while
// it is a thread of the launch and has not ended.
bool worker_running(const Launch* l) {
    if (!l || !running(*l)) return false;
    unsigned long process = 0, thread = 0;
    std::string state = driver_request("state");
    size_t at = state.find("poller ");
    if (at == std::string::npos || std::sscanf(state.c_str() + at, "poller %lu %lu", &process, &thread) != 2 ||
        process != l->info.dwProcessId)
        return false;
    HANDLE worker = OpenThread(SYNCHRONIZE, FALSE, thread);
    bool alive = worker && WaitForSingleObject(worker, 0) == WAIT_TIMEOUT;
    if (worker) CloseHandle(worker);
    return alive;
}

// The device's reader, which outlives every launch: started before the
// first, so that what is armed or scanned before a launch reaches it.
std::string start_reader_host() {
    std::wstring exe = app.substr(0, app.find_last_of(L"\\/") + 1) + TOLVEN_HOST_EXE;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring command = L"\"" + exe + L"\"";
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &reader_host))
        return "error cannot start " + std::string(exe.begin(), exe.end()) + " (error " + std::to_string(GetLastError()) + ")";
    std::string state;
    poll_until([&] { return !(state = driver_request("state")).empty() || !running(Launch{reader_host}); });
    if (!running(Launch{reader_host})) return "error the reader host ended at its start (another one serves the device?)";
    return state.empty() ? "error the reader host does not answer" : "ok";
}

std::string focus_editor() {
    if (!editor.info.hProcess || !running(editor)) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring command = L"notepad.exe";
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &editor.info))
            return "error cannot start notepad.exe (error " + std::to_string(GetLastError()) + ")";
        WaitForInputIdle(editor.info.hProcess, kStartLimit);
        if (!poll_until([] {
                for (HWND w : top_windows_of(editor.info.dwProcessId))
                    if (IsWindowVisible(w) && (editor_top = w)) return true;
                return false;
            }))
            return "error notepad.exe showed no window";
    }
    SetForegroundWindow(editor_top);
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    bool focused = poll_until([&] {
        return GetGUIThreadInfo(editor.info.dwThreadId, &gui) && gui.hwndFocus && gui.hwndFocus == editor_text();
    });
    return focused ? "ok" : "error notepad's text did not take the focus";
}
HWND editor_window() { return editor.info.hProcess && running(editor) ? editor_top : nullptr; }
HWND editor_text() { return editor_window() ? FindWindowExW(editor_top, nullptr, L"Edit", nullptr) : nullptr; }

// Ends every launch still running, and the editor, and waits until each is gone.
std::string end_launches() {
    if (editor.info.hProcess && running(editor)) TerminateProcess(editor.info.hProcess, 1);
    for (auto& l : all)
        if (running(l)) TerminateProcess(l.info.hProcess, 1);
    if (reader_host.hProcess) {
        TerminateProcess(reader_host.hProcess, 0);
        WaitForSingleObject(reader_host.hProcess, kEndLimit);
    }
    std::string stuck;
    for (size_t i = 0; i < all.size(); ++i)
        if (WaitForSingleObject(all[i].info.hProcess, kEndLimit) != WAIT_OBJECT_0)
            stuck += " pendrel#" + std::to_string(i + 1);
    if (!stuck.empty()) return "error still running " + std::to_string(kEndLimit / 1000) + " s after being ended:" + stuck;
    return "ok";
}

}  // namespace agent

// Launches of pendrel.exe: started (under the debugger while driver faults
// wait for them), counted from 1, their reader worker found, and ended.
#include "agent.hpp"

#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

namespace agent {
namespace {

std::wstring app;
std::vector<Launch> all;
Launch editor;  // notepad.exe, once started
HWND editor_top = nullptr;
// Driver faults armed while no driver runs; handed over at the next launch.
std::vector<std::string> pending_faults;

constexpr DWORD kStartLimit = 10000;  // from a launch to its first wait for input
constexpr DWORD kEndLimit = 10000;    // from TerminateProcess to the process gone

// Records launch `l` once its start-up is over: its main thread waits for
// input (a window or a box shown), or it has ended.
std::string started(const Launch& l) {
    DWORD idle = WaitForInputIdle(l.info.hProcess, kStartLimit);
    all.push_back(l);
    std::string n = std::to_string(all.size());
    if (idle == WAIT_TIMEOUT && running(l))
        return "error pendrel#" + n + " was still starting " + std::to_string(kStartLimit / 1000) + " s after its launch";
    return "ok " + n;
}

// Hands the pending faults to the driver of a launch held at its entry
// point; what the driver refused, empty when nothing.
std::string hand_over_faults() {
    std::string refused;
    for (const auto& fault : pending_faults) {
        std::string reply;
        for (int attempt = 0; attempt < 200 && reply.empty(); ++attempt) {
            reply = driver_request(fault);
            if (reply.empty()) Sleep(20);
        }
        if (reply != "ok") refused = fault + ": " + (reply.empty() ? "the driver's channel never opened" : reply);
    }
    pending_faults.clear();
    return refused;
}

}  // namespace

void set_app_path(const std::wstring& path) { app = path; }
const std::wstring& app_path() { return app; }
const std::vector<Launch>& launches() { return all; }
bool running(const Launch& l) { return WaitForSingleObject(l.info.hProcess, 0) == WAIT_TIMEOUT; }

bool any_launch_running() {
    for (auto& l : all)
        if (running(l)) return true;
    return false;
}

const Launch* target(int n) {
    if (n > 0) return n <= int(all.size()) ? &all[n - 1] : nullptr;
    for (auto& l : all)
        if (running(l)) return &l;
    return all.empty() ? nullptr : &all.back();
}

std::string arm_fault(const std::string& request) {
    if (any_launch_running() && driver_request(request) == "ok") return "ok";
    pending_faults.push_back(request);
    return "ok pending";
}

// With driver faults pending, the program is held at its entry point (a
// two-byte jump to itself, written while it is stopped at its creation under
// the debugger) until the faults reach its driver: TOLVEN.dll is initialised,
// and its channel served, before the entry point runs.
std::string launch() {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    Launch l;
    std::wstring command = L"\"" + app + L"\"";
    bool hold = !pending_faults.empty();
    // From C:\ a rooted path such as \FlashDisk\... is on drive C:, as the settings file is.
    if (!CreateProcessW(app.c_str(), command.data(), nullptr, nullptr, FALSE, hold ? DEBUG_ONLY_THIS_PROCESS : 0,
                        nullptr, L"C:\\", &startup, &l.info))
        return "error cannot start pendrel.exe (error " + std::to_string(GetLastError()) + ")";
    if (!hold) return started(l);  // its start-up done, as the device's quiet point
    DEBUG_EVENT event{};
    void* entry = nullptr;
    while (!entry && WaitForDebugEvent(&event, 10000)) {
        if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
            entry = reinterpret_cast<void*>(event.u.CreateProcessInfo.lpStartAddress);
            if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
        } else {
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
        }
    }
    if (!entry) return "error pendrel.exe did not start under the debugger";
    unsigned char original[2] = {}, spin[2] = {0xEB, 0xFE};
    DWORD old = 0;
    VirtualProtectEx(l.info.hProcess, entry, 2, PAGE_EXECUTE_READWRITE, &old);
    ReadProcessMemory(l.info.hProcess, entry, original, 2, nullptr);
    WriteProcessMemory(l.info.hProcess, entry, spin, 2, nullptr);
    FlushInstructionCache(l.info.hProcess, entry, 2);
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
    DebugActiveProcessStop(l.info.dwProcessId);
    std::string refused = hand_over_faults();
    SuspendThread(l.info.hThread);
    WriteProcessMemory(l.info.hProcess, entry, original, 2, nullptr);
    VirtualProtectEx(l.info.hProcess, entry, 2, old, &old);
    FlushInstructionCache(l.info.hProcess, entry, 2);
    ResumeThread(l.info.hThread);
    std::string outcome = started(l);
    if (!refused.empty()) return "error the driver refused " + refused;
    return outcome;
}

// The reader worker: a thread of pendrel.exe started inside its own image
// other than the main thread (the driver's channel thread starts in TOLVEN.dll).
bool worker_running(const Launch* l) {
    if (!l || !running(*l)) return false;
    HMODULE modules[1];
    DWORD needed = 0;
    MODULEINFO image{};
    if (!EnumProcessModules(l->info.hProcess, modules, sizeof modules, &needed) ||
        !GetModuleInformation(l->info.hProcess, modules[0], &image, sizeof image))
        return false;
    auto begin = ULONG_PTR(image.lpBaseOfDll), end = begin + image.SizeOfImage;
    using Query = NTSTATUS(NTAPI*)(HANDLE, THREADINFOCLASS, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Thread32First(snapshot, &entry); more && !found; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != l->info.dwProcessId || entry.th32ThreadID == l->info.dwThreadId) continue;
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        ULONG_PTR start = 0;
        if (thread && query(thread, THREADINFOCLASS(9), &start, sizeof start, nullptr) == 0)
            found = start >= begin && start < end;
        if (thread) CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return found;
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
    std::string stuck;
    for (size_t i = 0; i < all.size(); ++i)
        if (WaitForSingleObject(all[i].info.hProcess, kEndLimit) != WAIT_OBJECT_0)
            stuck += " pendrel#" + std::to_string(i + 1);
    if (!stuck.empty()) return "error still running " + std::to_string(kEndLimit / 1000) + " s after being ended:" + stuck;
    return "ok";
}

}  // namespace agent

// wineagent.exe: the device runner's hands and eyes inside Wine. It owns the
// memo (the focus target the reads are typed into), launches pendrel.exe and
// answers one request a line on standard input with one line on standard
// output: "ok [VALUES]" or "error MESSAGE". Texts travel as UTF-8 in hex.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "../../driver/win32/channel.h"
#include "../../res/resource.h"
#include "../memo_ui.hpp"
#include "wine_wire.hpp"

namespace {

constexpr UINT kInputLeft = WM_APP + 2;  // answers non-zero while keys wait in the memo's queue

struct Launch {
    PROCESS_INFORMATION info{};
};

std::vector<Launch> launches;
HWND memo_window = nullptr;
HWND memo_edit = nullptr;
std::wstring app_path;  // pendrel.exe, for its resources
// Driver faults armed while no driver runs; handed over at the next launch.
std::vector<std::string> pending_faults;

// ---- text helpers ----
std::string utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string& text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), int(text.size()), out.data(), n);
    return out;
}

std::wstring window_text(HWND window) {
    wchar_t text[8192] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 8192, LPARAM(text), SMTO_BLOCK, 2000, nullptr);
    return text;
}

std::wstring class_of(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// ---- the driver's control channel ----
bool any_launch_running();

// The answer line, or empty when no driver runs. The driver opens its pipe
// again after each request: while a launch runs, a pipe not there yet is
// waited for (up to 2 s), so that no request falls between two.
std::string driver_request(const std::string& request) {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    bool driver_running = any_launch_running();
    for (int attempt = 0; attempt < 200 && pipe == INVALID_HANDLE_VALUE; ++attempt) {
        pipe = CreateFileW(TOLVEN_PIPE_NAME, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) break;
        DWORD error = GetLastError();
        if (error == ERROR_PIPE_BUSY) WaitNamedPipeW(TOLVEN_PIPE_NAME, 100);
        else if (error == ERROR_FILE_NOT_FOUND && driver_running) Sleep(10);
        else return "";
    }
    if (pipe == INVALID_HANDLE_VALUE) return "";
    std::string line = request + "\n";
    DWORD done = 0;
    WriteFile(pipe, line.data(), DWORD(line.size()), &done, nullptr);
    std::string reply;
    char c;
    while (ReadFile(pipe, &c, 1, &done, nullptr) && done == 1 && c != '\n') reply += c;
    CloseHandle(pipe);
    return reply;
}

// ---- the memo ----
// The memo as memo_ui makes it, and one question only the agent asks.
WNDPROC memo_proc = nullptr;
LRESULT CALLBACK AgentMemoProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kInputLeft) return HIWORD(GetQueueStatus(QS_KEY | QS_POSTMESSAGE)) != 0;
    return CallWindowProcW(memo_proc, window, message, wParam, lParam);
}

DWORD WINAPI memo_thread(LPVOID ready) {
    memo_window = memo_ui::create(WS_POPUP);
    if (memo_window) {
        memo_edit = GetDlgItem(memo_window, memo_ui::edit_id);
        memo_proc = WNDPROC(SetWindowLongPtrW(memo_window, GWLP_WNDPROC, LONG_PTR(AgentMemoProc)));
    }
    SetEvent(HANDLE(ready));
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

// ---- launches and their windows ----
bool running(const Launch& l) { return WaitForSingleObject(l.info.hProcess, 0) == WAIT_TIMEOUT; }

// The launch a request is about: N (from 1), else the oldest still running,
// else the latest; null when none.
Launch* target(int n) {
    if (n > 0) return n <= int(launches.size()) ? &launches[n - 1] : nullptr;
    for (auto& l : launches)
        if (running(l)) return &l;
    return launches.empty() ? nullptr : &launches.back();
}

std::vector<HWND> top_windows_of(DWORD pid) {
    struct Search {
        DWORD pid;
        std::vector<HWND> found;
    } search{pid, {}};
    EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == s->pid) s->found.push_back(w);
            return TRUE;
        },
        LPARAM(&search));
    return search.found;
}

HWND pendrel_window(Launch* l) {
    if (!l) return nullptr;
    for (HWND w : top_windows_of(l->info.dwProcessId))
        if (class_of(w) == L"Pendrel") return w;
    return nullptr;
}

// Visible dialogs (#32770) of every running launch, topmost first.
std::vector<HWND> open_dialogs() {
    std::vector<HWND> out;
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (!IsWindowVisible(w) || class_of(w) != L"#32770") continue;
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        for (auto& l : launches)
            if (l.info.dwProcessId == pid && running(l)) out.push_back(w);
    }
    return out;
}

int dialog_template(HWND dialog);
// A message box is a dialog made from none of the program's templates.
bool is_message_box(HWND dialog) { return dialog_template(dialog) == 0; }

HWND open_message_box() {
    for (HWND d : open_dialogs())
        if (is_message_box(d)) return d;
    return nullptr;
}

HWND open_dialog() {
    for (HWND d : open_dialogs())
        if (!is_message_box(d)) return d;
    return nullptr;
}

// The caption of a dialog template of pendrel.exe, loaded as `module`.
std::wstring template_caption(HMODULE module, LPCWSTR name) {
    HRSRC found = FindResourceW(module, name, RT_DIALOG);
    if (!found) return L"";
    auto* p = static_cast<const WORD*>(LockResource(LoadResource(module, found)));
    bool extended = p[0] == 1 && p[1] == 0xFFFF;
    p += extended ? 13 : 9;  // the fixed header up to the menu
    for (int skip = 0; skip < 2; ++skip) {  // the menu and the class
        if (*p == 0xFFFF) p += 2;
        else
            while (*p++) {}
    }
    return reinterpret_cast<const wchar_t*>(p);
}

// The template of pendrel.exe whose caption the dialog shows; 0 for none.
int dialog_template(HWND dialog) {
    struct Search {
        std::wstring title;
        int found = 0;
    } search{window_text(dialog)};
    HMODULE module = LoadLibraryExW(app_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return 0;
    EnumResourceNamesW(
        module, RT_DIALOG,
        [](HMODULE m, LPCWSTR, LPWSTR name, LONG_PTR p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            if (IS_INTRESOURCE(name) && template_caption(m, name) == s->title) s->found = int(ULONG_PTR(name));
            return !s->found;
        },
        LONG_PTR(&search));
    FreeLibrary(module);
    return search.found;
}

// Whether a menu of pendrel.exe's resources carries command `id`.
bool menu_carries(HMENU menu, UINT id) {
    for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
        if (HMENU sub = GetSubMenu(menu, i)) {
            if (menu_carries(sub, id)) return true;
        } else if (GetMenuItemID(menu, i) == id) {
            return true;
        }
    }
    return false;
}

bool resource_menu_carries(UINT id) {
    HMODULE module = LoadLibraryExW(app_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return false;
    HMENU menu = LoadMenuW(module, MAKEINTRESOURCEW(IDR_MAINMENU));
    bool found = menu && menu_carries(menu, id);
    if (menu) DestroyMenu(menu);
    FreeLibrary(module);
    return found;
}

// The reader worker: a thread of pendrel.exe started inside its own image
// other than the main thread (the driver's channel thread starts in TOLVEN.dll).
bool worker_running(Launch* l) {
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

// ---- launching and ending ----
constexpr DWORD kStartLimit = 10000;  // from a launch to its first wait for input
constexpr DWORD kEndLimit = 10000;    // from TerminateProcess to the process gone

// Whether a launch of this agent still runs: only then is the driver that
// answers on the control channel one of ours.
bool any_launch_running() {
    for (auto& l : launches)
        if (running(l)) return true;
    return false;
}

// Records launch `l` once its start-up is over: its main thread waits for
// input (a window or a box shown), or it has ended.
std::string started(const Launch& l) {
    DWORD idle = WaitForInputIdle(l.info.hProcess, kStartLimit);
    launches.push_back(l);
    std::string n = std::to_string(launches.size());
    if (idle == WAIT_TIMEOUT && running(l))
        return "error pendrel#" + n + " was still starting " + std::to_string(kStartLimit / 1000) + " s after its launch";
    return "ok " + n;
}

// Ends every launch still running and waits until each is gone; names any
// that would not end.
std::string end_launches() {
    for (auto& l : launches)
        if (running(l)) TerminateProcess(l.info.hProcess, 1);
    std::string stuck;
    for (size_t i = 0; i < launches.size(); ++i)
        if (WaitForSingleObject(launches[i].info.hProcess, kEndLimit) != WAIT_OBJECT_0)
            stuck += " pendrel#" + std::to_string(i + 1);
    if (!stuck.empty()) return "error still running " + std::to_string(kEndLimit / 1000) + " s after being ended:" + stuck;
    return "ok";
}

// Starts pendrel.exe. With driver faults pending, the program is held at its
// entry point (a two-byte jump to itself, written while it is stopped at its
// creation under the debugger) until the faults reach its driver: TOLVEN.dll
// is initialised, and its channel served, before the entry point runs.
std::string launch() {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    Launch l;
    std::wstring command = L"\"" + app_path + L"\"";
    bool hold = !pending_faults.empty();
    // From C:\ a rooted path such as \FlashDisk\... is on drive C:, as the settings file is.
    if (!CreateProcessW(app_path.c_str(), command.data(), nullptr, nullptr, FALSE, hold ? DEBUG_ONLY_THIS_PROCESS : 0,
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
    SuspendThread(l.info.hThread);
    WriteProcessMemory(l.info.hProcess, entry, original, 2, nullptr);
    VirtualProtectEx(l.info.hProcess, entry, 2, old, &old);
    FlushInstructionCache(l.info.hProcess, entry, 2);
    ResumeThread(l.info.hThread);
    std::string outcome = started(l);
    if (!refused.empty()) return "error the driver refused " + refused;
    return outcome;
}

// ---- input ----
// The tray draws its icons right to left in the taskbar, one slot each.
struct TraySlots {
    int count = 0;
    int slot = 0, top = 0, bottom = 0, right = 0;
};

TraySlots tray_slots() {
    TraySlots t;
    HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr);
    if (!tray) return t;
    RECT r;
    GetWindowRect(tray, &r);
    t.slot = GetSystemMetrics(SM_CXSMICON) + 4;
    t.top = r.top + 2;
    t.bottom = r.bottom - 2;
    t.right = r.right;
    HDC screen = GetDC(nullptr);
    COLORREF background = GetPixel(screen, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    for (;; ++t.count) {
        int left = t.right - (t.count + 1) * t.slot;
        bool drawn = false;
        for (int y = t.top; y < t.bottom && !drawn; ++y)
            for (int x = left; x < left + t.slot && !drawn; ++x) drawn = GetPixel(screen, x, y) != background;
        if (!drawn || left < r.left + 80) break;
    }
    ReleaseDC(nullptr, screen);
    return t;
}

// Where to click icon N: its middle, a little left or right of it in turn,
// so that two taps in a row are never one double click (the tray would pass
// on WM_LBUTTONDBLCLK, which opens nothing).
std::string tap_point(const TraySlots& t, int n) {
    static int side = 1;
    side = -side;
    int x = t.right - n * t.slot + t.slot / 2 + side * (GetSystemMetrics(SM_CXDOUBLECLK) / 2 + 1);
    return std::to_string(x) + " " + std::to_string((t.top + t.bottom) / 2);
}

HWND open_popup() {
    HWND popup = FindWindowW(L"#32768", nullptr);
    return popup && IsWindowVisible(popup) ? popup : nullptr;
}

// ---- settling ----
// Bounded polls for a condition; the bound only turns a hang into a failure.
template <typename Condition>
bool poll_until(Condition done, DWORD limit_ms = 5000) {
    for (DWORD waited = 0;; waited += 10) {
        if (done()) return true;
        if (waited >= limit_ms) return false;
        Sleep(10);
    }
}

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
        return SendMessageTimeoutW(memo_window, kInputLeft, 0, 0, SMTO_BLOCK, 1000, &left) && left == 0;
    });
    if (!memo_done) return "error the memo still had keys to take in 5 s later";
    for (auto& l : launches)
        if (running(l))
            for (HWND w : top_windows_of(l.info.dwProcessId))
                SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_BLOCK, 1000, nullptr);
    return "ok";
}

// The open dialog, waited for a while: one opened by a key (Alt+/) shows
// after the key has reached the program's window.
HWND opened_dialog() {
    HWND dialog = nullptr;
    poll_until([&] { return (dialog = open_dialog()) != nullptr; }, 3000);
    return dialog;
}

// ---- requests ----
using wire::Request;
int number(const std::string& s) { return int(std::strtol(s.c_str(), nullptr, 0)); }

// WM_COMMAND ID to Pendrel's window, as another program would post it.
std::string post_command(const std::string& arg, bool from_menu) {
    HWND w = pendrel_window(target(0));
    if (from_menu && (!w || !IsWindowVisible(w) || !GetMenu(w) || !resource_menu_carries(number(arg))))
        return "error no menu";
    if (!w) return "error no window";
    return PostMessageW(w, WM_COMMAND, WPARAM(number(arg)), 0) ? "ok" : "error post failed";
}

// Each request's answer, from its first argument and the rest of the line.
struct Handler {
    Request request;
    std::string (*answer)(const std::string& arg, std::istringstream& rest);
};

const Handler handlers[] = {
    {Request::launch, [](const std::string&, std::istringstream&) { return launch(); }},
    {Request::fail,  // fail open|buffmode VALUE
     [](const std::string& arg, std::istringstream& rest) -> std::string {
         std::string value;
         rest >> value;
         std::string request = "fail " + arg + " " + value;
         if (any_launch_running() && driver_request(request) == "ok") return "ok";
         pending_faults.push_back(request);
         return "ok pending";
     }},
    {Request::scan,
     [](const std::string& arg, std::istringstream&) -> std::string {
         std::string reply = driver_request("scan " + (arg == "-" ? std::string() : arg));
         if (reply.empty()) return "error refused: the reader is closed";
         return reply == "ok" ? "ok" : "error " + reply;
     }},
    {Request::reader,  // "open 0|1 mode N pending N" | none
     [](const std::string&, std::istringstream&) -> std::string {
         std::string reply = driver_request("state");
         return reply.empty() ? "ok none" : "ok " + reply;
     }},
    {Request::process,  // process N|latest: pendrel#N is running | pendrel#N exited with code C | none
     [](const std::string& arg, std::istringstream&) -> std::string {
         Launch* l = arg == "latest" ? (launches.empty() ? nullptr : &launches.back()) : target(number(arg));
         if (!l) return "ok none";
         std::string party = "pendrel#" + std::to_string(l - launches.data() + 1);
         DWORD code = 0;
         if (running(*l)) return "ok " + party + " is running";
         GetExitCodeProcess(l->info.hProcess, &code);
         return "ok " + party + " exited with code " + std::to_string(code);
     }},
    {Request::wait_exit,
     [](const std::string& arg, std::istringstream&) -> std::string {
         if (launches.empty()) return "error nothing was launched";
         return WaitForSingleObject(launches.back().info.hProcess, DWORD(number(arg))) == WAIT_OBJECT_0 ? "ok"
                                                                                                       : "ok timeout";
     }},
    {Request::window,  // window N: shown | hidden | none
     [](const std::string& arg, std::istringstream&) -> std::string {
         HWND w = pendrel_window(target(number(arg)));
         return !w ? "ok none" : IsWindowVisible(w) ? "ok shown" : "ok hidden";
     }},
    {Request::worker,
     [](const std::string&, std::istringstream&) -> std::string {
         return worker_running(target(0)) ? "ok running" : "ok stopped";
     }},
    {Request::text,  // text memo|ID
     [](const std::string& arg, std::istringstream&) -> std::string {
         HWND w = memo_edit;
         if (arg != "memo") {
             HWND dialog = open_dialog();
             if (!dialog) return "error no dialog";
             w = GetDlgItem(dialog, number(arg));
             if (!w) return "error a dialog without it";
         }
         return "ok " + wire::encode(utf8(window_text(w)));
     }},
    {Request::messagebox,  // CAPTION TEXT | none
     [](const std::string&, std::istringstream&) -> std::string {
         HWND box = open_message_box();
         if (!box) return "ok none";
         return "ok " + wire::encode(utf8(window_text(box))) + " " +
                wire::encode(utf8(window_text(GetDlgItem(box, 0xFFFF))));
     }},
    {Request::dialog,  // dialog N | no dialog
     [](const std::string&, std::istringstream&) -> std::string {
         HWND dialog = open_dialog();
         return dialog ? "ok dialog " + std::to_string(dialog_template(dialog)) : "ok no dialog";
     }},
    {Request::popup,
     [](const std::string&, std::istringstream&) -> std::string { return open_popup() ? "ok open" : "ok closed"; }},
    {Request::tray,
     [](const std::string&, std::istringstream&) { return "ok " + std::to_string(tray_slots().count); }},
    {Request::tap,  // tap N: where to click tray icon N
     [](const std::string& arg, std::istringstream&) -> std::string {
         TraySlots t = tray_slots();
         int n = number(arg);
         for (int i = 0; i < 20 && n > t.count; ++i, Sleep(100)) t = tray_slots();  // an icon just added
         if (n < 1 || n > t.count) return "error no icon";
         return "ok " + tap_point(t, n);
     }},
    {Request::choose,  // choose none|ID: a tap outside the popup, or where to click its item
     [](const std::string& arg, std::istringstream&) -> std::string {
         HWND popup = open_popup();
         if (!popup) return "error no popup";
         RECT r;
         GetWindowRect(popup, &r);
         if (arg == "none") {
             // The popup's owner is not in front, so a real click would go to
             // the window under it: the tap reaches the tracking loop's queue,
             // at a point outside the popup.
             SetCursorPos(r.left > 20 ? r.left - 10 : r.right + 10, r.top > 20 ? r.top - 10 : r.bottom + 10);
             PostThreadMessageW(GetWindowThreadProcessId(popup, nullptr), WM_LBUTTONDOWN, 0, 0);
             if (!poll_until([] { return !open_popup(); })) return "error the popup stayed open 5 s after a tap outside it";
             return "ok";
         }
         // Other processes' menus cannot be read here: the item is known by
         // its place, and only a popup one item high can be chosen from.
         if (r.bottom - r.top > 2 * GetSystemMetrics(SM_CYMENUSIZE) + 8) return "error more than one item";
         // The click itself comes from the X server (the runner's xdotool):
         // the tracking loop of a popup whose owner is not in front takes it
         // from there only.
         return "ok " + std::to_string((r.left + r.right) / 2) + " " + std::to_string((r.top + r.bottom) / 2);
     }},
    {Request::post, [](const std::string& arg, std::istringstream&) { return post_command(arg, false); }},
    {Request::menu, [](const std::string& arg, std::istringstream&) { return post_command(arg, true); }},
    {Request::close,  // WM_CLOSE to Pendrel's window, as a task manager would post it
     [](const std::string&, std::istringstream&) -> std::string {
         HWND w = pendrel_window(target(0));
         return w && PostMessageW(w, WM_CLOSE, 0, 0) ? "ok" : "error no window";
     }},
    {Request::answer,  // answer ID: a button of the open message box
     [](const std::string& arg, std::istringstream&) -> std::string {
         HWND box = open_message_box();
         if (!box) return "error no box";
         HWND button = GetDlgItem(box, number(arg));
         if (!button) return "error no button";
         PostMessageW(box, WM_COMMAND, MAKEWPARAM(number(arg), BN_CLICKED), LPARAM(button));
         return "ok";
     }},
    {Request::press,  // press ID: the dialog's caption OK or close button
     [](const std::string& arg, std::istringstream&) -> std::string {
         HWND dialog = opened_dialog();
         if (!dialog) return "error no dialog";
         PostMessageW(dialog, WM_COMMAND, WPARAM(number(arg)), 0);
         return "ok";
     }},
    {Request::focus,  // focus memo|ID
     [](const std::string& arg, std::istringstream&) -> std::string {
         if (arg == "memo") {
             SendMessageW(memo_window, memo_ui::take_focus, 0, 0);
             return "ok";
         }
         HWND dialog = open_dialog();
         if (!dialog) return "error no dialog";
         HWND control = GetDlgItem(dialog, number(arg));
         if (!control) return "error no control";
         SendMessageTimeoutW(dialog, WM_NEXTDLGCTL, WPARAM(control), TRUE, SMTO_BLOCK, 2000, nullptr);
         return "ok";
     }},
    {Request::keys,  // keys VK[u] ...: key events, u for a release
     [](const std::string& arg, std::istringstream& rest) -> std::string {
         for (std::string stroke = arg; !stroke.empty(); stroke.clear(), rest >> stroke) {
             bool up = stroke.back() == 'u';
             keybd_event(BYTE(number(up ? stroke.substr(0, stroke.size() - 1) : stroke)), 0, up ? KEYEVENTF_KEYUP : 0, 0);
         }
         return "ok";
     }},
    {Request::type,  // type HEX: the keys of this keyboard that type the text; refused with the character none types
     [](const std::string& arg, std::istringstream&) -> std::string {
         std::wstring text = wide(wire::decode(arg));
         for (wchar_t c : text)
             if (VkKeyScanW(c) == -1) return "error " + wire::encode(utf8(std::wstring(1, c)));
         for (wchar_t c : text) {
             SHORT key = VkKeyScanW(c);
             bool shift = (key & 0x100) != 0;
             if (shift) keybd_event(VK_SHIFT, 0, 0, 0);
             keybd_event(BYTE(key), 0, 0, 0);
             keybd_event(BYTE(key), 0, KEYEVENTF_KEYUP, 0);
             if (shift) keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
         }
         return "ok";
     }},
    {Request::settle, [](const std::string&, std::istringstream&) { return settle(); }},
};

std::string handle(const std::string& line) {
    std::istringstream in(line);
    std::string verb, arg;
    in >> verb >> arg;
    for (const Handler& h : handlers)
        if (verb == wire::name_of(h.request)) return h.answer(arg, in);
    return "error unknown request " + verb;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: wineagent.exe PENDREL_EXE\n");
        return 2;
    }
    app_path = argv[1];
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(CreateThread(nullptr, 0, memo_thread, ready, 0, nullptr));
    WaitForSingleObject(ready, 10000);
    std::printf(memo_window ? "ok ready\n" : "error the memo could not be created\n");
    std::fflush(stdout);
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, stdin)) {
        std::string line = buffer;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (line == "quit") break;
        std::printf("%s\n", handle(line).c_str());
        std::fflush(stdout);
    }
    // "quit", or the runner gone: the agent ends after its launches.
    std::string ended = end_launches();
    std::printf("%s\n", ended.c_str());
    std::fflush(stdout);
    return ended == "ok" ? 0 : 1;
}

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
// The answer line, or empty when no driver runs.
std::string driver_request(const std::string& request) {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 20 && pipe == INVALID_HANDLE_VALUE; ++attempt) {
        pipe = CreateFileW(TOLVEN_PIPE_NAME, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) break;
        if (GetLastError() != ERROR_PIPE_BUSY) return "";
        WaitNamedPipeW(TOLVEN_PIPE_NAME, 100);
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
DWORD WINAPI memo_thread(LPVOID ready) {
    memo_window = memo_ui::create(WS_POPUP);
    if (memo_window) memo_edit = GetDlgItem(memo_window, memo_ui::edit_id);
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

// ---- launching ----
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
    if (!hold) {
        WaitForInputIdle(l.info.hProcess, 5000);  // its start-up done, as the device's quiet point
        launches.push_back(l);
        return "ok " + std::to_string(launches.size());
    }
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
    WaitForInputIdle(l.info.hProcess, 5000);
    launches.push_back(l);
    if (!refused.empty()) return "error the driver refused " + refused;
    return "ok " + std::to_string(launches.size());
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

HWND open_popup() {
    HWND popup = FindWindowW(L"#32768", nullptr);
    return popup && IsWindowVisible(popup) ? popup : nullptr;
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
         if (driver_request(request) == "ok") return "ok";
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
         return "ok " + std::to_string(t.right - n * t.slot + t.slot / 2) + " " + std::to_string((t.top + t.bottom) / 2);
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
             Sleep(30);
             PostThreadMessageW(GetWindowThreadProcessId(popup, nullptr), WM_LBUTTONDOWN, 0, 0);
             // The tray takes a tap again only a while after the popup went.
             for (int i = 0; i < 100 && open_popup(); ++i) Sleep(20);
             Sleep(500);
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
         HWND dialog = open_dialog();
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
    {Request::settle,
     [](const std::string&, std::istringstream&) -> std::string {
         // Reads still queued in the driver, then the program's windows and
         // the memo each answering a message.
         for (int i = 0; i < 100; ++i) {
             std::string state = driver_request("state");
             if (state.empty() || state.find("pending 0") != std::string::npos) break;
             Sleep(20);
         }
         Sleep(120);
         for (auto& l : launches)
             if (running(l))
                 for (HWND w : top_windows_of(l.info.dwProcessId))
                     SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_BLOCK, 1000, nullptr);
         SendMessageTimeoutW(memo_window, WM_NULL, 0, 0, SMTO_BLOCK, 1000, nullptr);
         return "ok";
     }},
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
    for (auto& l : launches)
        if (running(l)) TerminateProcess(l.info.hProcess, 1);
    for (auto& l : launches) WaitForSingleObject(l.info.hProcess, 5000);
    return 0;
}

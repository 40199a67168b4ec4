// Finding windows: Pendrel's main window by its class, dialogs by what they
// show (caption and controls) against pendrel.exe's templates, message boxes
// as dialogs of none, the tray's icons by the pixels drawn in its slots.
#include <algorithm>

#include "../../../res/resource.h"
#include "../quiet/quiet_probe.h"
#include "agent.hpp"

namespace agent {
namespace {

std::wstring class_of(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// The topmost visible dialog (#32770) of a running launch that is a message
// box (a dialog made from none of the program's templates), or that is not.
HWND first_open_dialog(bool message_box) {
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (!IsWindowVisible(w) || class_of(w) != L"#32770") continue;
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        for (auto& l : launches())
            if (l.info.dwProcessId == pid && running(l) && (dialog_template(w) == 0) == message_box) return w;
    }
    return nullptr;
}

// pendrel.exe's resources, loaded once (null when it cannot be).
HMODULE app_resources() {
    static HMODULE module = LoadLibraryExW(app_path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return module;
}

// What a dialog shows: its caption, and each control's id and class.
struct Face {
    std::wstring caption;
    std::vector<std::pair<int, std::wstring>> controls;
};

Face face_of(HWND dialog) {
    Face f{window_text(dialog), {}};
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        f.controls.emplace_back(GetDlgCtrlID(c), class_of(c));
    return f;
}

// The face template `name` of pendrel.exe gives: the dialog made from it
// here, hidden, with a procedure that does nothing, and destroyed again.
Face template_face(HMODULE module, LPCWSTR name) {
    HRSRC found = FindResourceW(module, name, RT_DIALOG);
    if (!found) return {};
    auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    std::vector<BYTE> copy(bytes, bytes + SizeofResource(module, found));
    auto* words = reinterpret_cast<WORD*>(copy.data());
    bool extended = words[0] == 1 && words[1] == 0xFFFF;
    *reinterpret_cast<DWORD*>(copy.data() + (extended ? 12 : 0)) &= ~DWORD(WS_VISIBLE);
    HWND made = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(copy.data()),
                                           nullptr, [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    if (!made) return {};
    Face f = face_of(made);
    DestroyWindow(made);
    return f;
}

// The dialog shows the template's face: its caption, and every control of
// the template with its class (the program may add more).
bool shows(const Face& screen, const Face& made) {
    if (made.caption.empty() || screen.caption != made.caption) return false;
    for (auto& control : made.controls)
        if (std::find(screen.controls.begin(), screen.controls.end(), control) == screen.controls.end()) return false;
    return true;
}

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

// The tray draws its icons right to left in the taskbar, one slot each,
// right of the start and task buttons (the taskbar's child windows).
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
    LONG buttons_right = r.left;
    for (HWND b = GetWindow(tray, GW_CHILD); b; b = GetWindow(b, GW_HWNDNEXT)) {
        RECT br;
        if (IsWindowVisible(b) && GetWindowRect(b, &br) && br.right > buttons_right) buttons_right = br.right;
    }
    HDC screen = GetDC(nullptr);
    COLORREF background = GetPixel(screen, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    for (;; ++t.count) {
        int left = t.right - (t.count + 1) * t.slot;
        bool drawn = false;
        for (int y = t.top; y < t.bottom && !drawn; ++y)
            for (int x = left; x < left + t.slot && !drawn; ++x) drawn = GetPixel(screen, x, y) != background;
        if (!drawn || left < buttons_right) break;
    }
    ReleaseDC(nullptr, screen);
    return t;
}

}  // namespace

std::wstring window_text(HWND window) {
    wchar_t text[8192] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 8192, LPARAM(text), SMTO_BLOCK, 2000, nullptr);
    return text;
}

std::vector<HWND> top_windows_of(DWORD pid) {
    std::vector<HWND> found;
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid) found.push_back(w);
    }
    return found;
}

HWND pendrel_window(const Launch* l) {
    if (!l) return nullptr;
    for (HWND w : top_windows_of(l->info.dwProcessId))
        if (class_of(w) == L"Pendrel") return w;
    return nullptr;
}

HWND open_message_box() { return first_open_dialog(true); }
HWND open_dialog() { return first_open_dialog(false); }

int dialog_template(HWND dialog) {
    struct Search {
        Face screen;
        int found = 0;
    } search{face_of(dialog)};
    EnumResourceNamesW(
        app_resources(), RT_DIALOG,
        [](HMODULE m, LPCWSTR, LPWSTR name, LONG_PTR p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            if (IS_INTRESOURCE(name) && shows(s->screen, template_face(m, name))) s->found = int(ULONG_PTR(name));
            return !s->found;
        },
        LONG_PTR(&search));
    return search.found;
}

// The column of the main menu of pendrel.exe's resources whose popup carries
// command `id`; -1 when none does.
int resource_menu_column(UINT id) {
    HMENU menu = app_resources() ? LoadMenuW(app_resources(), MAKEINTRESOURCEW(IDR_MAINMENU)) : nullptr;
    int column = -1;
    for (int i = 0, n = menu ? GetMenuItemCount(menu) : 0; i < n && column < 0; ++i)
        if (HMENU sub = GetSubMenu(menu, i); sub && menu_carries(sub, id)) column = i;
    if (menu) DestroyMenu(menu);
    return column;
}

// Where on the screen a menu item is, asked of the thread that owns `window`
// (the hook answers on it): "X Y", or empty when it has no such item.
std::string menu_point(HWND window, WPARAM ask, LPARAM which) {
    static const UINT probe = RegisterWindowMessageW(QUIET_PROBE_MESSAGE);
    DWORD_PTR reply = 0;
    int x = 0, y = 0;
    if (!SendMessageTimeoutW(window, probe, ask, which, SMTO_BLOCK, 5000, &reply) ||
        !quiet_probe::read_point(reply, x, y))
        return "";
    return std::to_string(x) + " " + std::to_string(y);
}

HWND open_popup() {
    HWND popup = FindWindowW(L"#32768", nullptr);
    return popup && IsWindowVisible(popup) ? popup : nullptr;
}

int tray_icon_count() { return tray_slots().count; }

std::vector<std::pair<DWORD, HWND>> window_threads() {
    std::vector<std::pair<DWORD, HWND>> found;
    EnumWindows(
        [](HWND w, LPARAM to) {
            auto& list = *reinterpret_cast<std::vector<std::pair<DWORD, HWND>>*>(to);
            DWORD thread = GetWindowThreadProcessId(w, nullptr);
            if (thread == GetCurrentThreadId()) return TRUE;
            for (auto& [t, window] : list)
                if (t == thread) return TRUE;
            list.emplace_back(thread, w);
            return TRUE;
        },
        LPARAM(&found));
    return found;
}

std::string process_name(DWORD thread) {
    for (size_t i = 0; i < launches().size(); ++i)
        if (launches()[i].info.dwThreadId == thread) return "pendrel#" + std::to_string(i + 1);
    DWORD pid = 0;
    for (auto [t, w] : window_threads())
        if (t == thread) GetWindowThreadProcessId(w, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (process) QueryFullProcessImageNameW(process, 0, path, &size), CloseHandle(process);
    std::wstring name = path;
    name = name.substr(name.find_last_of(L"\\/") + 1);
    return std::string(name.begin(), name.end()) + " (thread " + std::to_string(thread) + ")";
}

// Its middle (the runner keeps a tap from being the second half of a double
// click); the quiet point before has let the shell draw every icon.
std::string tap_point(int n) {
    TraySlots t;
    if (n < 1 || n > (t = tray_slots()).count) return "";
    int x = t.right - n * t.slot + t.slot / 2;
    return std::to_string(x) + " " + std::to_string((t.top + t.bottom) / 2);
}

}  // namespace agent

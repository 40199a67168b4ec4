#include "conformance.hpp"

#include <cstdio>
#include <cstring>
#include <map>

namespace conformance {

void (*on_create)(HWND) = nullptr;
void (*on_message)(HWND, UINT, WPARAM) = nullptr;

namespace {

const char* message_name(UINT message) {
    switch (message) {
    case WM_CREATE: return "WM_CREATE";
    case WM_DESTROY: return "WM_DESTROY";
    case WM_MOVE: return "WM_MOVE";
    case WM_SIZE: return "WM_SIZE";
    case WM_ACTIVATE: return "WM_ACTIVATE";
    case WM_SETFOCUS: return "WM_SETFOCUS";
    case WM_KILLFOCUS: return "WM_KILLFOCUS";
    case WM_PAINT: return "WM_PAINT";
    case WM_CLOSE: return "WM_CLOSE";
    case WM_ERASEBKGND: return "WM_ERASEBKGND";
    case WM_SHOWWINDOW: return "WM_SHOWWINDOW";
    case WM_ACTIVATEAPP: return "WM_ACTIVATEAPP";
    case WM_QUERYNEWPALETTE: return "WM_QUERYNEWPALETTE";
    case WM_GETMINMAXINFO: return "WM_GETMINMAXINFO";
    case WM_WINDOWPOSCHANGING: return "WM_WINDOWPOSCHANGING";
    case WM_WINDOWPOSCHANGED: return "WM_WINDOWPOSCHANGED";
    case WM_NCCREATE: return "WM_NCCREATE";
    case WM_NCDESTROY: return "WM_NCDESTROY";
    case WM_NCCALCSIZE: return "WM_NCCALCSIZE";
    case WM_NCPAINT: return "WM_NCPAINT";
    case WM_NCACTIVATE: return "WM_NCACTIVATE";
    case WM_KEYDOWN: return "WM_KEYDOWN";
    case WM_KEYUP: return "WM_KEYUP";
    case WM_CHAR: return "WM_CHAR";
    case WM_INITDIALOG: return "WM_INITDIALOG";
    case WM_COMMAND: return "WM_COMMAND";
    }
    return nullptr;
}

// Sent or not as the system's own bookkeeping goes, never part of the
// behaviour a table describes: the default procedure reading the title to
// draw the caption, icons, the input method, accessibility.
bool ignored(UINT message) {
    switch (message) {
    case WM_GETTEXT: case WM_GETTEXTLENGTH: case WM_GETICON: case WM_GETOBJECT: case WM_TIMECHANGE:
    case WM_DEVICECHANGE: case WM_DISPLAYCHANGE: case WM_SETTINGCHANGE:
    // where the pointer happens to rest, over a window on the small screen
    case 0x0084 /*WM_NCHITTEST*/: case 0x0020 /*WM_SETCURSOR*/: case 0x00A0 /*WM_NCMOUSEMOVE*/: case WM_MOUSEMOVE:
        return true;
    }
    return message >= WM_IME_SETCONTEXT && message <= WM_IME_KEYUP;
}

// Window names: the title each recording window was created with, known
// from before its first message (Windows sends WM_GETMINMAXINFO before
// WM_NCCREATE).
std::map<HWND, std::string>& names() {
    static std::map<HWND, std::string> n;
    return n;
}
std::string creating;

std::string narrow(const WCHAR* s) {
    std::string out;
    for (; s && *s; ++s) out += *s < 0x80 ? char(*s) : '?';
    return out;
}

std::string name_of(HWND hwnd, UINT message) {
    // A window's first message claims the name being created; a handle the
    // system reuses after a destruction is named anew.
    if (message == WM_NCCREATE || !names().count(hwnd)) names()[hwnd] = creating;
    return names()[hwnd];
}

}  // namespace

#ifdef _WIN32
constexpr Mark other_side = handheld;
#else
constexpr Mark other_side = desktop;
#endif

// The other side's entries match nothing here: they are passed over, and the
// message itself, if it comes, fails the comparison.
bool sequence_matches(const Step& e, const Step& a) {
    return e.mark != other_side && e.window == a.window && e.message == a.message &&
           (e.wParam == any || e.wParam == a.wParam);
}

bool sequence_optional(const Step& e) { return e.mark == other_side; }

std::string sequence_describe(const Step& s) {
    char buf[160];
    const char* name = message_name(s.message);
    char number[16];
    std::snprintf(number, sizeof number, "0x%04X", s.message);
    std::snprintf(buf, sizeof buf, "%s %s%s%s%s", s.window.c_str(), name ? name : number,
                  s.wParam == any ? "" : " wParam ", s.wParam == any ? "" : std::to_string((unsigned long long)s.wParam).c_str(),
                  s.mark == desktop ? " (desktop only)" : s.mark == handheld ? " (handheld only)" : "");
    return buf;
}

std::vector<Step>& messages() {
    static std::vector<Step> log;
    return log;
}

std::vector<Msg>& recorded() {
    static std::vector<Msg> log;
    return log;
}

void clear_record() {
    messages().clear();
    recorded().clear();
}

LRESULT CALLBACK RecordingWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    recorded().push_back(Msg{hwnd, message, wParam});
    if (!ignored(message)) messages().push_back(Step{name_of(hwnd, message), message, wParam});
    if (on_message) on_message(hwnd, message, wParam);
    switch (message) {
    case WM_CREATE:
        if (on_create) on_create(hwnd);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void register_recording_class() {
    static bool done = false;
    if (done) return;
    WNDCLASSW wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = RecordingWndProc;
    wc.hInstance = NULL;
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = TEXT("ConformanceWindow");
    done = RegisterClassW(&wc) != 0;
}

HWND create_recording_window(const WCHAR* title, DWORD style, HWND parent, int id) {
    register_recording_class();
    creating = narrow(title);
    return CreateWindowExW(0, TEXT("ConformanceWindow"), title, style, 0, 0, 200, 200, parent,
                           (HMENU)(INT_PTR)id, NULL, NULL);
}

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace conformance

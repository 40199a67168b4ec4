// The device side of the window system: what the device runner and the
// tests see of the screen and do to it as the operator. None of these calls
// is traced. Call them without the device lock, from a host thread that is
// not the window's own (they never wait for an application to respond).
#pragma once
#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pf {
struct Process;
}

namespace pf::user::handheld {

// Screen geometry.
constexpr int screen_width = 240;
constexpr int screen_height = 320;
constexpr int taskbar_height = 26;

// A module image: its instance handle, with the resources of the given .res
// image (the standard 32-bit .res format). Implemented by the resource code.
HINSTANCE load_module(std::string name, const unsigned char* res, size_t size);

// ---- screen snapshot ----
struct Drawn {
    std::u16string text;
    RECT rect{};      // client coordinates
    UINT format = 0;
};

struct Control {
    HWND hwnd = nullptr;
    std::u16string cls;
    int id = 0;
    std::u16string text;
    DWORD style = 0;
    RECT rect{};      // screen coordinates
    bool visible = false;
    bool enabled = false;
    bool focused = false;
    std::vector<Control> children;
};

struct MenuItem {
    UINT id = 0;
    std::u16string text;
    std::vector<MenuItem> items;  // a popup's items
};

struct WindowInfo {
    HWND hwnd = nullptr;
    std::u16string cls;
    std::u16string title;
    DWORD style = 0;
    DWORD exstyle = 0;
    RECT rect{};                   // screen coordinates
    std::string party;             // owning process: "pendrel#1", "memo" ...
    bool active = false;
    bool enabled = false;
    std::vector<MenuItem> menu;    // its command bar's menu bar (popups)
    bool close_button = false;     // its command bar's Close (X) button
    std::vector<Drawn> drawn;      // what its latest paint drew
    std::vector<Control> controls; // child windows, topmost first
};

struct TrayIcon {
    HWND owner = nullptr;
    UINT id = 0;
    UINT flags = 0;
    UINT callback = 0;
    HICON icon = nullptr;
    std::u16string tip;
    std::string party;
};

struct MessageBoxInfo {
    HWND hwnd = nullptr;
    HWND owner = nullptr;
    std::u16string text;
    std::u16string caption;
    UINT type = 0;
    std::string party;
};

struct Screen {
    std::vector<WindowInfo> windows;  // visible top-level windows, topmost first
    HWND focus = nullptr;
    HWND active = nullptr;
    std::vector<TrayIcon> tray;       // in the order they were added
    std::optional<MessageBoxInfo> message_box;
};

Screen snapshot();
// One window's information, also when it is hidden; nullopt when invalid.
std::optional<WindowInfo> window_info(HWND hwnd);

// ---- tray ----
std::vector<TrayIcon> tray_icons();
// The device's tap on icon `index`: its callback message with lParam
// WM_LBUTTONDOWN, then with WM_LBUTTONUP, delivered as notifications (the
// device does not wait for the application). False for a bad index.
bool tap_tray(size_t index);

// ---- message boxes ----
// The topmost open message box.
std::optional<MessageBoxInfo> message_box();
// Taps the button `id` (IDOK, IDCANCEL, IDRETRY ...) of the topmost open
// box, activating the box (WA_CLICKACTIVE). False when no box is open, it
// has no such button, or another window covers it (covering_window).
bool answer_message_box(int id);

// ---- command bar ----
// Chooses menu command `id` from the command bar of top-level window
// `window` (NULL: the topmost visible window whose command bar has it): posts
// WM_COMMAND id to the command bar's parent, which the tap activates
// (WA_CLICKACTIVE) unless it is disabled. False when no menu carries it.
bool choose_menu_command(UINT id, HWND window = nullptr);
// Taps the Close (X) button on the command bar of the window in front:
// posts WM_CLOSE to it. False when that window is disabled or has no X.
bool tap_close_button();

// ---- focus and windows ----
HWND focus();
HWND active_window();
// Activates hwnd's top-level window and gives hwnd the focus, as a tap on it
// would (WA_CLICKACTIVE). False for an invalid, hidden or disabled window.
bool set_focus_from_device(HWND hwnd);
// The topmost visible top-level window above hwnd that overlaps it, so that
// a tap cannot reach hwnd; nullptr when nothing covers it.
HWND covering_window(HWND hwnd);
// Posts a message as another program would (PostMessage).
bool post(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// First top-level window (any visibility) with the given class and/or title;
// an empty view matches anything.
HWND find_window(std::u16string_view cls, std::u16string_view title = {});
std::vector<HWND> windows_of(const Process* p);  // top-level windows of a process
HWND child_by_id(HWND parent, int id);           // direct or nested child
std::u16string text_of(HWND hwnd);               // window text (edit contents for an edit)
bool is_visible(HWND hwnd);
bool is_window(HWND hwnd);

}  // namespace pf::user::handheld

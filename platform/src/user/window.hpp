// The window system's internal model, shared by the window core (windows,
// queues, focus, painting, message boxes, command bar, tray) and the dialog
// code (dialogs, edit/static controls, popup menus).
//
// Locking: every piece of state here is guarded by pf::device_mutex().
// Functions ending in _locked need the lock held; every other function takes
// it itself and must be called WITHOUT it, because it may call window
// procedures, which never run under the lock.
#pragma once
#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/core.hpp"

namespace pf::user {

// ---- classes ----
struct WindowClass {
    std::u16string name;       // as registered; lookups ignore ASCII case
    UINT style = 0;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HBRUSH background = nullptr;
    int wnd_extra = 0;         // cbWndExtra bytes
    Process* process = nullptr;  // registering process; nullptr for system classes
};

// A system class (EDIT, STATIC, the dialog class ...), visible to every process.
void register_system_class(const std::u16string& name, WNDPROC proc, UINT style = 0, int wnd_extra = 0);
// The class `name` as seen by process p: its own classes first, then the system's.
std::shared_ptr<WindowClass> find_class_locked(std::u16string_view name, Process* p);

// ---- message queues, one per device thread ----
struct SentMessage {
    HWND hwnd = nullptr;
    UINT msg = 0;
    WPARAM wp = 0;
    LPARAM lp = 0;
    LRESULT result = 0;
    bool wait = true;   // false: a notification, nobody waits for the result
    bool done = false;
};

struct Queue {
    Process* process = nullptr;
    int thread = 0;                // device thread ordinal
    bool alive = true;             // false once its thread or process ended
    std::deque<MSG> posted;        // PostMessage, WM_CHAR from TranslateMessage
    struct KeyInput {
        MSG msg;
        std::size_t read;          // the reader's read it types (0: none)
    };
    std::deque<KeyInput> input;    // key messages, bound to a window when retrieved; after posted ones
    std::deque<std::shared_ptr<SentMessage>> sent;  // sends from other threads
    bool quit = false;             // PostQuitMessage called
    int quit_code = 0;
    BYTE keys[256] = {};           // key state as of the last key message retrieved (GetKeyState)
    // The last key press retrieved, for the ledger: the read it types, and
    // whether it was counted as acting, until its character lands.
    std::size_t press_read = 0;
    bool press_acted = false;
    int modal_depth = 0;           // > 0 while a modal loop of this thread runs
};

// The calling thread's queue (created on first use).
std::shared_ptr<Queue> current_queue_locked();
// True when the queue has something GetMessage would return or handle:
// a sent or posted message, a quit, or a window of its thread to paint.
bool queue_ready_locked(const Queue& q);

// ---- windows ----
struct DrawnText {
    std::u16string text;
    RECT rect{};      // client coordinates, as passed to DrawTextW
    UINT format = 0;
};

// The base of every kind of window extension.
struct WindowExtension {
    virtual ~WindowExtension() = default;
};

struct Window {
    HWND hwnd = nullptr;
    std::shared_ptr<WindowClass> cls;
    std::u16string title;          // window text; controls keep their text here too,
                                   // so that the device reads it without a message
    DWORD style = 0;               // WS_VISIBLE and WS_DISABLED live here
    DWORD exstyle = 0;
    RECT rect{};                   // window rectangle in the parent's client coordinates (screen for top-level)
    HWND parent = nullptr;         // WS_CHILD windows only
    HWND owner = nullptr;          // top-level windows: the owner given at creation
    std::vector<HWND> children;    // z-order, topmost first = creation order (tab order)
    std::shared_ptr<Queue> queue;  // owning thread's queue
    Process* process = nullptr;
    int id = 0;                    // control identifier (the hMenu of a child)
    HMENU menu = nullptr;          // top-level windows: the hMenu given at creation
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    std::vector<LONG_PTR> extra;   // window extra bytes, by LONG slot
    LONG_PTR user_data = 0;        // GWL_USERDATA

    bool destroying = false;       // WM_DESTROY sent; the handle is still valid
    bool created = false;          // WM_CREATE done
    bool needs_paint = false;      // invalid region not empty
    bool erase = false;
    bool in_paint = false;
    std::vector<DrawnText> drawn;  // what the latest paint drew
    HWND last_focus = nullptr;     // top-level: focus to give back on reactivation

    // What a window of a system class keeps besides the window data: an
    // edit's selection, a dialog's result, a box's answer, a command bar's
    // menu. Read back only as its own kind, through extension_of<T>.
    std::shared_ptr<WindowExtension> ext;
    DLGPROC dlgproc = nullptr;

    bool visible() const { return (style & WS_VISIBLE) != 0; }
    bool enabled() const { return (style & WS_DISABLED) == 0; }
    bool is_child() const { return (style & WS_CHILD) != 0; }
};

// The window's extension if it is of kind T, else nullptr.
template <class T>
T* extension_of(const Window& w) {
    return dynamic_cast<T*>(w.ext.get());
}

// nullptr for NULL, a destroyed window or a value that never was a window.
// Lock held.
Window* from_hwnd(HWND hwnd);
// Visible top-level windows, topmost first (the screen's z-order). Lock held.
std::vector<HWND> top_level_z_order_locked();
// The top-level window hwnd belongs to (itself when top-level). Lock held.
HWND top_level_of_locked(HWND hwnd);
bool is_descendant_locked(HWND ancestor, HWND hwnd);  // hwnd == ancestor counts
// Window rectangle in screen coordinates; client rectangle (origin 0,0) and
// the screen position of the client origin. Lock held.
RECT screen_rect_locked(const Window& w);
RECT client_rect_locked(const Window& w);
POINT client_origin_locked(const Window& w);
// The non-client frame: caption height (WS_CAPTION) and border width.
int caption_height(DWORD style);
int border_width(DWORD style);

// DefWindowProcW sets the window text on WM_NCCREATE, as on Windows.
// CreateWindowExW without the trace: for dialogs, controls and message
// boxes that the platform creates on the application's behalf. Same message
// order and failure rules as CreateWindowExW. `menu` is the control id for
// WS_CHILD windows.
HWND create_window_internal(DWORD exstyle, std::u16string_view cls, std::u16string_view title, DWORD style, int x,
                            int y, int cx, int cy, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
bool destroy_window_internal(HWND hwnd);
bool show_window_internal(HWND hwnd, int cmd);  // returns the previous visibility
bool enable_window_internal(HWND hwnd, bool enable);
bool set_window_pos_internal(HWND hwnd, int x, int y, int cx, int cy, UINT flags);

// ---- messages ----
// SendMessage without the trace: a direct call on the window's own thread,
// otherwise the sender blocks (handling sends made to it) until the owning
// thread has handled it. 0 for an invalid window or a dead thread.
LRESULT send_internal(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
// Sends without waiting (SendNotifyMessage): direct call on the owning
// thread, else queued as a sent message that nobody waits for.
void send_notify_internal(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
// Queued as sent-without-wait; never calls a procedure. Lock held.
void send_notify_locked(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
bool post_internal(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
bool post_locked(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
// Calls the window procedure (the lock must NOT be held).
LRESULT call_wndproc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT dispatch_internal(const MSG& msg);
bool translate_internal(const MSG& msg);  // WM_CHAR / WM_SYSCHAR from key downs

// ---- modal loops (dialogs, message boxes, popup menus) ----
enum class Pump { message, stopped, quit };
// Waits for the next message of the calling thread, handling sent messages
// meanwhile, like GetMessage; returns Pump::stopped as soon as stop_locked()
// holds (evaluated under the lock, also by quiet detection: a device action
// that makes it true must change state under the lock). Pump::quit removes
// WM_QUIT, which the caller re-posts when it leaves (run_modal_loop does).
Pump pump_one(MSG& msg, const std::function<bool()>& stop_locked = {});
// Translates and dispatches messages until stop_locked() holds. `filter`
// sees each message first and returns true when it handled it (the dialog
// manager's keys). Returns false when WM_QUIT ended the loop (re-posted).
bool run_modal_loop(const std::function<bool()>& stop_locked,
                    const std::function<bool(MSG&)>& filter = {});

// ---- focus and activation ----
HWND focus_locked();    // the device's focus window (any thread)
HWND active_locked();   // the active top-level window
// SetFocus without the trace: WM_KILLFOCUS to the old, WM_SETFOCUS to the
// new focus; activates hwnd's top-level window first when needed.
HWND set_focus_internal(HWND hwnd);
// Activates a top-level window (WM_ACTIVATE out/in), a disabled one too,
// and gives it back its last focus (or focuses it). Returns false for a
// hidden one unless even_hidden (SetForegroundWindow activates those too).
bool activate_internal(HWND hwnd, bool even_hidden = false);
// Shows a new message box or dialog as the handheld does ("Message Boxes",
// "Application-Defined Dialog Boxes", "SetActiveWindow"; Windows CE 5.0): in
// front and active, unless its application is not the foreground one and it
// did not ask for the foreground (MB_SETFOREGROUND, DS_SETFOREGROUND): then
// behind the foreground window, inactive. True when it was shown in front.
bool show_modal_popup_internal(HWND popup, bool set_foreground);
// Whether the application owning hwnd has the foreground window (or no
// window has it), or has just started and not yet asked for a message. Lock held.
bool in_foreground_locked(HWND hwnd);

// ---- trace formatting ----
// hwnd#3 "title" (the title only when there is one), for trace lines. Lock held.
std::string wnd_str_locked(HWND hwnd);
// WM_COMMAND, WM_USER+5, 0x8064 ...
std::string msg_name(UINT msg);

// ---- painting ----
// Marks hwnd as needing WM_PAINT. Lock held.
void invalidate_locked(Window& w, bool erase);

// ---- what a process holds, for leak checks (lock NOT held) ----
std::size_t window_count(const Process* p);  // its windows, top-level and child
std::size_t menu_count(const Process* p);    // its menus not destroyed
// Its GDI objects: the device contexts BeginPaint handed out that no EndPaint
// gave back (the stock objects are no one's).
std::size_t gdi_object_count(const Process* p);

}  // namespace pf::user

// State and helpers shared by the window core's own sources.
#pragma once
#include <cstdint>
#include <optional>
#include <unordered_map>

#include "user/window.hpp"

namespace pf::user {

struct State {
    std::unordered_map<HWND, std::unique_ptr<Window>> windows;
    std::vector<HWND> top_levels;  // every top-level window, topmost first
    std::vector<std::shared_ptr<WindowClass>> classes;
    std::vector<std::weak_ptr<Queue>> queues;
    std::unordered_map<HWND, HDC> hdcs;
    std::unordered_map<HDC, HWND> hdc_windows;
    HWND focus = nullptr;
    HWND active = nullptr;
    std::unordered_map<const Process*, int> hwnd_numbers;  // hwnd#N, counted per process
    std::unordered_map<const Process*, int> atoms;
};
State& state();

// Messages that a change made under the lock owes to windows; delivered
// once the lock is released.
struct Outbox {
    struct Item {
        HWND hwnd;
        UINT msg;
        WPARAM wp;
        LPARAM lp;
    };
    std::vector<Item> items;
    void add(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { items.push_back({hwnd, msg, wp, lp}); }
};
// Lock NOT held: a direct call for the calling thread's windows, a
// notification for others'.
void deliver(Outbox& out);
// Lock held: every item as a notification (used where no procedure may run).
void deliver_as_notifications_locked(Outbox& out);

void set_focus_locked(HWND hwnd, Outbox& out);
// how: WA_ACTIVE, or WA_CLICKACTIVE for the operator's tap.
bool activate_locked(HWND hwnd, Outbox& out, bool even_hidden = false, WORD how = WA_ACTIVE);
// The operator's tap on a top-level window: activates it with WA_CLICKACTIVE
// unless it is disabled (false), its messages delivered as notifications.
bool tap_activate_locked(HWND top);
// Moves a top-level window just below the foreground window in the z-order.
void place_behind_foreground_locked(HWND hwnd);
// The topmost visible top-level window above hwnd that overlaps it, or nullptr.
HWND covering_window_locked(HWND hwnd);
// Activates the topmost visible, enabled top-level window other than
// `except` (none: nothing is active and nothing has the focus).
void activate_next_locked(HWND except, Outbox& out);
bool effectively_visible_locked(HWND hwnd);
// Forgets a window: z-order, parent, focus, activation, the handle itself.
void remove_window_locked(HWND hwnd);
// The first window of queue q that needs painting, or nullptr.
HWND paint_candidate_locked(const Queue& q);
// Posts WM_QUIT to the calling thread (PostQuitMessage without the trace).
void post_quit_internal(int code);

// Text of a window for trace lines and the device (no message sent).
std::u16string title_locked(HWND hwnd);

// Handles are addresses of 2-byte words in a block of our own, handed out
// once, so that a handle value is never reused, never meets a kernel handle,
// is even (the low bit is SetForegroundWindow's "reactivate the owned
// window"), and nothing stays allocated for a window that has gone.
template <class H>
H new_handle() {
    constexpr std::size_t slots = std::size_t(1) << 22;
    alignas(2) static std::uint16_t space[slots];
    static std::size_t next = 0;  // under the device lock
    if (next == slots) not_implemented("more than four million windows and device contexts in one run");
    return reinterpret_cast<H>(&space[next++]);
}

// ---- classes ----
bool same_name(std::u16string_view a, std::u16string_view b);  // ignoring ASCII case
std::u16string class_arg(LPCWSTR name);                        // "#N" for an atom

// ---- windows ----
// The window, or nullptr with ERROR_INVALID_WINDOW_HANDLE. Lock held.
Window* checked_locked(HWND hwnd);
// The screen less the taskbar.
RECT work_area();
// Raises a top-level window, with the windows it owns above it. Lock held.
void bring_to_top_locked(HWND hwnd);
bool can_activate_locked(const Window* w);
// Marks a window and its children as needing a paint (or not). Lock held.
void set_paint_tree_locked(Window& w, bool invalid);
// BeginPaint and EndPaint without the trace (DefWindowProc paints too).
HDC begin_paint_internal(HWND hwnd, PAINTSTRUCT* ps);
void end_paint_internal(HWND hwnd);

// ---- dialogs ----
// The child of dlg with control id `id`, or nullptr. Lock held.
HWND find_item_locked(HWND dlg, int id);

// ---- queues ----
bool matches(const MSG& m, HWND filter, UINT lo, UINT hi);
// The next message GetMessage would return, sent messages aside. Lock held.
std::optional<MSG> take_next_locked(Queue& q, HWND filter, UINT lo, UINT hi, bool remove);
// The first key input the thread may retrieve, bound to its window. Lock held.
std::optional<MSG> take_input_locked(Queue& q, HWND filter, UINT lo, UINT hi, bool remove);
// The character of the thread's last key press changed a field's text (the ledger).
void note_landed_locked(Queue& q, WCHAR ch);
// Handles the first message another thread sent to this one.
void handle_one_sent_locked(Lock& lock, Queue& q);

// ---- trace formatting ----
std::string wnd(HWND hwnd);  // wnd_str_locked, taking the lock
std::string cls_str(LPCWSTR name);
std::string int_str(int v);  // CW_USEDEFAULT by name
std::string msg_str_locked(const MSG* m);

// ---- trace formatting ----
std::string rect_str(const RECT& r);
std::string flags_str(DWORD value, const std::vector<std::pair<DWORD, const char*>>& names);
std::string ws_str(DWORD style);
std::string sw_str(int cmd);
std::string mb_str(UINT type);
std::string id_str(int id);  // IDOK, IDRETRY ...
std::string num_str(uintptr_t v);  // decimal below 0x10000, hex above
std::string dt_str(UINT format);

}  // namespace pf::user

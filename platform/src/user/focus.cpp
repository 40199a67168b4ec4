// Activation and keyboard focus: which window is active, which has the focus,
// and who takes over when they go.
#include <algorithm>
#include "user/dialog.hpp"
#include "user/user_internal.hpp"

namespace pf::user {

namespace {

// The popup an owner last had active: the topmost one it owns that can be
// activated (the modal box or dialog that disabled it).
HWND last_active_owned_popup_locked(HWND owner) {
    for (HWND h : state().top_levels) {
        Window* w = from_hwnd(h);
        if (w && w->owner == owner && can_activate_locked(w)) return h;
    }
    return nullptr;
}

}  // namespace

void bring_to_top_locked(HWND hwnd) {
    auto& tl = state().top_levels;
    auto it = std::find(tl.begin(), tl.end(), hwnd);
    if (it == tl.end()) return;
    tl.erase(it);
    tl.insert(tl.begin(), hwnd);
    // Windows it owns stay above it.
    std::vector<HWND> owned;
    for (HWND h : tl)
        if (Window* w = from_hwnd(h); w && w->owner == hwnd) owned.push_back(h);
    for (auto o = owned.rbegin(); o != owned.rend(); ++o) {
        std::erase(tl, *o);
        tl.insert(tl.begin(), *o);
    }
}

// A newly started application's windows come to the front until it first
// asks for a message (GetMessage, PeekMessage or a box's or dialog's modal
// loop): a reading of "Displaying a Window" (Windows CE 5.0), see
// platform/ce-differences.txt.
bool in_foreground_locked(HWND hwnd) {
    Window* w = from_hwnd(hwnd);
    Window* front = from_hwnd(state().active);
    return !front || (w && (front->process == w->process || !w->process || !w->process->took_messages));
}

bool show_modal_popup_internal(HWND popup, bool set_foreground) {
    bool in_front;
    {
        Lock lock = lock_device();
        in_front = set_foreground || in_foreground_locked(popup);
    }
    show_window_internal(popup, in_front ? SW_SHOW : SW_SHOWNA);
    // MB_SETFOREGROUND, DS_SETFOREGROUND: to the front even from the background.
    if (set_foreground) activate_internal(popup);
    if (in_front) return true;
    std::string note;
    {
        Lock lock = lock_device();
        place_behind_foreground_locked(popup);
        Window* w = from_hwnd(popup);
        note = wnd_str_locked(popup) + " of " + (w && w->process ? w->process->party : "?") +
               " opens behind the foreground window " + wnd_str_locked(state().active);
        notify_all_locked();
    }
    trace_as("device", note);
    return false;
}

void place_behind_foreground_locked(HWND hwnd) {
    auto& tl = state().top_levels;
    std::erase(tl, hwnd);
    auto front = std::find(tl.begin(), tl.end(), state().active);
    tl.insert(front == tl.end() ? front : front + 1, hwnd);
}

HWND covering_window_locked(HWND hwnd) {
    Window* w = from_hwnd(hwnd);
    if (!w) return nullptr;
    RECT r = screen_rect_locked(*w);
    for (HWND h : state().top_levels) {
        if (h == hwnd) return nullptr;
        Window* above = from_hwnd(h);
        if (!above || !above->visible() || above->destroying) continue;
        RECT a = screen_rect_locked(*above);
        if (a.left < r.right && r.left < a.right && a.top < r.bottom && r.top < a.bottom) return h;
    }
    return nullptr;
}

bool can_activate_locked(const Window* w) {
    return w && !w->is_child() && w->visible() && w->enabled() && !w->destroying;
}

HWND focus_locked() { return state().focus; }

HWND active_locked() { return state().active; }

void set_focus_locked(HWND hwnd, Outbox& out) {
    auto& s = state();
    HWND old = s.focus;
    if (old == hwnd) return;
    s.focus = hwnd;
    if (hwnd)
        if (Window* top = from_hwnd(top_level_of_locked(hwnd))) top->last_focus = hwnd;
    if (old && from_hwnd(old)) out.add(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd) out.add(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    notify_all_locked();
}

bool activate_locked(HWND hwnd, Outbox& out, bool even_hidden, WORD how) {
    Window* w = from_hwnd(hwnd);
    if (!w || w->is_child() || (!w->visible() && !even_hidden) || w->destroying) return false;
    auto& s = state();
    bring_to_top_locked(hwnd);
    HWND old = s.active;
    if (old != hwnd) {
        if (from_hwnd(old)) out.add(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
        s.active = hwnd;
        out.add(hwnd, WM_ACTIVATE, how, reinterpret_cast<LPARAM>(old));
    }
    if (!s.focus || top_level_of_locked(s.focus) != hwnd) {
        // As DefWindowProc's activation does, a window takes the focus itself
        // and passes it on from its WM_SETFOCUS if it likes; only a dialog
        // gives it back to the control that had it.
        HWND f = dialog_state_locked(*w) ? w->last_focus : nullptr;
        if (!f || !is_descendant_locked(hwnd, f) || !effectively_visible_locked(f)) f = hwnd;
        set_focus_locked(f, out);
    }
    notify_all_locked();
    return true;
}

void activate_next_locked(HWND except, Outbox& out) {
    auto& s = state();
    for (HWND h : s.top_levels) {
        if (h == except) continue;
        if (can_activate_locked(from_hwnd(h)) && activate_locked(h, out)) return;
    }
    if (s.active && s.active != except && from_hwnd(s.active)) return;
    HWND old = s.active;
    s.active = nullptr;
    if (from_hwnd(old)) out.add(old, WM_ACTIVATE, WA_INACTIVE, 0);
    set_focus_locked(nullptr, out);
}

// WM_ACTIVATE (Windows CE 5.0): WA_CLICKACTIVE, "Activated by a mouse
// click": the operator's tap activates the window it lands on, unless it is
// disabled (EnableWindow: "A window must be enabled before it can be
// activated").
bool tap_activate_locked(HWND top) {
    if (!can_activate_locked(from_hwnd(top))) return false;
    Outbox out;
    activate_locked(top, out, false, WA_CLICKACTIVE);
    // The device never runs an application's procedure itself.
    deliver_as_notifications_locked(out);
    return true;
}

HWND set_focus_internal(HWND hwnd) {
    Outbox out;
    HWND old;
    {
        Lock lock = lock_device();
        old = state().focus;
        if (hwnd) {
            Window* w = from_hwnd(hwnd);
            if (!w) {
                set_last_error(ERROR_INVALID_WINDOW_HANDLE);
                return nullptr;
            }
            if (!w->enabled()) return nullptr;
            HWND top = top_level_of_locked(hwnd);
            if (state().active != top && !activate_locked(top, out)) return nullptr;
        }
        set_focus_locked(hwnd, out);
    }
    deliver(out);
    return old;
}

bool activate_internal(HWND hwnd, bool even_hidden) {
    Outbox out;
    bool ok;
    {
        Lock lock = lock_device();
        ok = activate_locked(hwnd, out, even_hidden);
    }
    deliver(out);
    return ok;
}

}  // namespace pf::user

using namespace pf;
using namespace pf::user;

// SetForegroundWindow (Windows CE 5.0, Embedded CE 6.0): the window itself
// is activated; only the handle combined with 0x01 reactivates the last
// active owned window. A window its own box or dialog disabled is not
// activated by the plain request ("EnableWindow", Windows CE 5.0: "A window
// must be enabled before it can be activated"): the request fails.
BOOL WINAPI SetForegroundWindow(HWND hwnd) {
    constexpr auto owned_bit = uintptr_t(0x01);  // window handles are even (new_handle)
    bool reactivate_owned = reinterpret_cast<uintptr_t>(hwnd) & owned_bit;
    hwnd = reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(hwnd) & ~owned_bit);
    bool valid;
    HWND top = nullptr;
    std::string w;
    {
        Lock lock = enter_call();
        w = wnd_str_locked(hwnd) + (reactivate_owned ? " | 0x01" : "");
        valid = checked_locked(hwnd) != nullptr;
        top = top_level_of_locked(hwnd);
        if (HWND owned = reactivate_owned ? last_active_owned_popup_locked(top) : nullptr) top = owned;
        Window* t = from_hwnd(top);
        if (valid && t && !t->enabled()) valid = false;
    }
    // A hidden window stays hidden, but it becomes the active window and
    // takes the keyboard, as on the desktop.
    if (valid) activate_internal(top, true);
    trace(call_str("SetForegroundWindow", {w}, bool_str(valid)));
    return valid;
}

HWND WINAPI GetForegroundWindow(void) {
    Lock lock = enter_call();
    HWND r = state().active;
    trace(call_str("GetForegroundWindow", {}, wnd_str_locked(r)));
    return r;
}

HWND WINAPI GetActiveWindow(void) {
    Lock lock = enter_call();
    Window* w = from_hwnd(state().active);
    HWND r = w && w->queue == current_queue_locked() ? w->hwnd : nullptr;
    trace(call_str("GetActiveWindow", {}, wnd_str_locked(r)));
    return r;
}

HWND WINAPI SetFocus(HWND hwnd) {
    std::string w = wnd(hwnd);
    HWND old = set_focus_internal(hwnd);
    trace(call_str("SetFocus", {w}, wnd(old)));
    return old;
}

HWND WINAPI GetFocus(void) {
    Lock lock = enter_call();
    Window* w = from_hwnd(state().focus);
    // Only the calling thread's own focus window is visible to it.
    HWND r = w && w->queue == current_queue_locked() ? w->hwnd : nullptr;
    if (trace_wanted(true)) trace_poll(call_str("GetFocus", {}, wnd_str_locked(r)));
    return r;
}

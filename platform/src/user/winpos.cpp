// Window position, size and visibility: geometry, ShowWindow, EnableWindow,
// SetWindowPos and the system metrics of the screen.
#include <algorithm>
#include "user/handheld.hpp"
#include "user/user_internal.hpp"

namespace pf::user {

RECT work_area() { return RECT{0, 0, handheld::screen_width, handheld::screen_height - handheld::taskbar_height}; }

std::vector<HWND> top_level_z_order_locked() {
    std::vector<HWND> out;
    for (HWND h : state().top_levels)
        if (Window* w = from_hwnd(h); w && w->visible()) out.push_back(h);
    return out;
}

bool effectively_visible_locked(HWND hwnd) {
    for (Window* w = from_hwnd(hwnd); w; w = w->is_child() ? from_hwnd(w->parent) : nullptr) {
        if (!w->visible()) return false;
        if (!w->is_child()) return true;
    }
    return false;
}

int caption_height(DWORD style) { return (style & WS_CAPTION) == WS_CAPTION ? 20 : 0; }

int border_width(DWORD style) { return (style & (WS_BORDER | WS_DLGFRAME)) ? 1 : 0; }

POINT client_origin_locked(const Window& w) {
    RECT r = screen_rect_locked(w);
    int b = border_width(w.style);
    return POINT{r.left + b, r.top + b + caption_height(w.style)};
}

RECT screen_rect_locked(const Window& w) {
    RECT r = w.rect;
    if (w.is_child()) {
        if (Window* p = from_hwnd(w.parent)) {
            POINT o = client_origin_locked(*p);
            r.left += o.x;
            r.right += o.x;
            r.top += o.y;
            r.bottom += o.y;
        }
    }
    return r;
}

RECT client_rect_locked(const Window& w) {
    int b = border_width(w.style);
    LONG cx = std::max<LONG>(0, w.rect.right - w.rect.left - 2 * b);
    LONG cy = std::max<LONG>(0, w.rect.bottom - w.rect.top - 2 * b - caption_height(w.style));
    return RECT{0, 0, cx, cy};
}

bool show_window_internal(HWND hwnd, int cmd) {
    bool show, activate = false;
    switch (cmd) {  // the four commands ShowWindow (Windows CE 5.0) lists; the desktop has more
    case SW_HIDE: show = false; break;
    case SW_SHOWNORMAL:
    case SW_SHOW: show = activate = true; break;
    case SW_SHOWNA: show = true; break;
    default: not_implemented(("ShowWindow with show command " + std::to_string(cmd)).c_str());
    }
    bool was, child;
    {
        Lock lock = lock_device();
        Window* w = from_hwnd(hwnd);
        if (!w) {
            set_last_error(ERROR_INVALID_WINDOW_HANDLE);
            return false;
        }
        was = w->visible();
        child = w->is_child();
    }
    if (show != was) send_internal(hwnd, WM_SHOWWINDOW, show, 0);
    Outbox out;
    {
        Lock lock = lock_device();
        Window* w = from_hwnd(hwnd);
        if (!w) return was;
        auto& s = state();
        if (show) {
            if (!was) {
                w->style |= WS_VISIBLE;
                set_paint_tree_locked(*w, true);
            }
            // SetActiveWindow (Windows CE 5.0): no activation "if the
            // application is in the background"; the window then shows
            // behind the foreground window.
            if (!child && activate && in_foreground_locked(hwnd)) activate_locked(hwnd, out);
            else if (!child && activate && !was) place_behind_foreground_locked(hwnd);
        } else if (was) {
            w->style &= ~WS_VISIBLE;
            set_paint_tree_locked(*w, false);
            if (!child && s.active == hwnd) {
                activate_next_locked(hwnd, out);
            } else if (s.focus && is_descendant_locked(hwnd, s.focus)) {
                set_focus_locked(child ? w->parent : nullptr, out);
            }
        }
        notify_all_locked();
    }
    deliver(out);
    return was;
}

bool enable_window_internal(HWND hwnd, bool enable) {
    bool was_disabled;
    Outbox out;
    {
        Lock lock = lock_device();
        Window* w = from_hwnd(hwnd);
        if (!w) {
            set_last_error(ERROR_INVALID_WINDOW_HANDLE);
            return false;
        }
        was_disabled = !w->enabled();
        if (was_disabled == !enable) return was_disabled;
        if (enable) {
            w->style &= ~WS_DISABLED;
        } else {
            w->style |= WS_DISABLED;
            if (state().focus && is_descendant_locked(hwnd, state().focus)) set_focus_locked(nullptr, out);
        }
    }
    deliver(out);
    send_internal(hwnd, WM_ENABLE, enable, 0);
    return was_disabled;
}

bool set_window_pos_internal(HWND hwnd, int x, int y, int cx, int cy, UINT flags) {
    bool moved = false, sized = false;
    LPARAM size = 0, pos = 0;
    {
        Lock lock = lock_device();
        Window* w = from_hwnd(hwnd);
        if (!w) {
            set_last_error(ERROR_INVALID_WINDOW_HANDLE);
            return false;
        }
        RECT r = w->rect;
        if (!(flags & SWP_NOMOVE)) {
            moved = r.left != x || r.top != y;
            r = RECT{x, y, x + (r.right - r.left), y + (r.bottom - r.top)};
        }
        if (!(flags & SWP_NOSIZE)) {
            sized = (r.right - r.left) != cx || (r.bottom - r.top) != cy;
            r.right = r.left + cx;
            r.bottom = r.top + cy;
        }
        w->rect = r;
        if (!(flags & SWP_NOZORDER) && !w->is_child()) bring_to_top_locked(hwnd);
        if ((moved || sized) && w->visible()) set_paint_tree_locked(*w, true);
        RECT c = client_rect_locked(*w);
        size = MAKELPARAM(c.right, c.bottom);
        POINT o = w->is_child() ? POINT{r.left, r.top} : client_origin_locked(*w);
        pos = MAKELPARAM(o.x, o.y);
    }
    if (moved) send_internal(hwnd, WM_MOVE, 0, pos);
    if (sized) send_internal(hwnd, WM_SIZE, 0, size);
    if (flags & SWP_SHOWWINDOW) show_window_internal(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    if (flags & SWP_HIDEWINDOW) show_window_internal(hwnd, SW_HIDE);
    return true;
}

}  // namespace pf::user

using namespace pf;
using namespace pf::user;

BOOL WINAPI ShowWindow(HWND hwnd, int cmd) {
    std::string w = wnd(hwnd);
    BOOL was = show_window_internal(hwnd, cmd);
    trace(call_str("ShowWindow", {w, sw_str(cmd)}, bool_str(was)));
    return was;
}

BOOL WINAPI IsWindowVisible(HWND hwnd) {
    Lock lock = enter_call();
    BOOL r = effectively_visible_locked(hwnd);
    trace(call_str("IsWindowVisible", {wnd_str_locked(hwnd)}, bool_str(r)));
    return r;
}

BOOL WINAPI IsWindowEnabled(HWND hwnd) {
    Lock lock = enter_call();
    Window* w = from_hwnd(hwnd);
    BOOL r = w && w->enabled();
    trace(call_str("IsWindowEnabled", {wnd_str_locked(hwnd)}, bool_str(r)));
    return r;
}

BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable) {
    std::string w = wnd(hwnd);
    BOOL r = enable_window_internal(hwnd, enable);
    trace(call_str("EnableWindow", {w, bool_str(enable)}, bool_str(r)));
    return r;
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
    Lock lock = enter_call();
    Window* w = checked_locked(hwnd);
    if (w && rect) *rect = client_rect_locked(*w);
    BOOL ok = w && rect;
    trace(call_str("GetClientRect", {wnd_str_locked(hwnd)}, bool_str(ok) + (ok ? " " + rect_str(*rect) : "")));
    return ok;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
    Lock lock = enter_call();
    Window* w = checked_locked(hwnd);
    if (w && rect) *rect = screen_rect_locked(*w);
    BOOL ok = w && rect;
    trace(call_str("GetWindowRect", {wnd_str_locked(hwnd)}, bool_str(ok) + (ok ? " " + rect_str(*rect) : "")));
    return ok;
}

BOOL WINAPI SetWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags) {
    if (after && !(flags & SWP_NOZORDER)) not_implemented("SetWindowPos with an insert-after window");
    std::string w = wnd(hwnd);
    BOOL ok = set_window_pos_internal(hwnd, x, y, cx, cy, flags);
    static const std::vector<std::pair<DWORD, const char*>> names = {
        {SWP_NOSIZE, "SWP_NOSIZE"},           {SWP_NOMOVE, "SWP_NOMOVE"},         {SWP_NOZORDER, "SWP_NOZORDER"},
        {SWP_NOACTIVATE, "SWP_NOACTIVATE"},   {SWP_SHOWWINDOW, "SWP_SHOWWINDOW"}, {SWP_HIDEWINDOW, "SWP_HIDEWINDOW"}};
    trace(call_str("SetWindowPos", {w, handle_name(after), std::to_string(x), std::to_string(y), std::to_string(cx), std::to_string(cy), flags_str(flags, names)}, bool_str(ok)));
    return ok;
}

int WINAPI GetSystemMetrics(int index) {
    int r;
    std::string name;
    switch (index) {
    case SM_CXSCREEN: r = handheld::screen_width; name = "SM_CXSCREEN"; break;
    case SM_CYSCREEN: r = handheld::screen_height; name = "SM_CYSCREEN"; break;
    default: not_implemented(("GetSystemMetrics(" + std::to_string(index) + ")").c_str());
    }
    {
        Lock lock = enter_call();
    }
    trace(call_str("GetSystemMetrics", {name}, std::to_string(r)));
    return r;
}

// Painting: invalid windows, WM_PAINT, BeginPaint / EndPaint, DrawTextW and
// the stock objects.
#include "user/user_internal.hpp"

namespace pf::user {

namespace {

HDC hdc_for_locked(HWND hwnd) {
    auto& s = state();
    auto it = s.hdcs.find(hwnd);
    if (it != s.hdcs.end()) return it->second;
    HDC hdc = new_handle<HDC>();
    s.hdcs[hwnd] = hdc;
    s.hdc_windows[hdc] = hwnd;
    std::string name = handle_name(hwnd);
    if (name.rfind("hwnd#", 0) == 0) name_handle_locked(hdc, "hdc#" + name.substr(5));
    return hdc;
}

// The device contexts BeginPaint handed out that no EndPaint gave back, by
// window; one left out stays its process's after the window has gone.
struct PaintOut {
    const Process* process = nullptr;
    std::size_t count = 0;
};
std::unordered_map<HWND, PaintOut>& paints_out() {
    static auto& out = *new std::unordered_map<HWND, PaintOut>;
    return out;
}

const bool paints_end_with_their_process = (add_process_end_hook([](Process* p) {
    Lock lock(device_mutex());
    std::erase_if(paints_out(), [p](const auto& entry) { return entry.second.process == p; });
}), true);

}  // namespace

std::size_t gdi_object_count(const Process* p) {
    Lock lock(device_mutex());
    std::size_t n = 0;
    for (const auto& [hwnd, out] : paints_out())
        if (out.process == p) n += out.count;
    return n;
}

HDC begin_paint_internal(HWND hwnd, PAINTSTRUCT* ps) {
    HDC hdc;
    bool erase;
    {
        Lock lock = lock_device();
        Window* w = from_hwnd(hwnd);
        if (!w) {
            set_last_error(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        w->needs_paint = false;
        erase = w->erase;
        w->erase = false;
        w->in_paint = true;
        w->drawn.clear();
        hdc = hdc_for_locked(hwnd);
        auto& out = paints_out()[hwnd];
        out.process = w->process;
        ++out.count;
        if (ps) {
            *ps = PAINTSTRUCT{};
            ps->hdc = hdc;
            ps->rcPaint = client_rect_locked(*w);
        }
    }
    if (erase) {
        LRESULT erased = send_internal(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
        if (ps) ps->fErase = erased ? FALSE : TRUE;
    }
    return hdc;
}

void end_paint_internal(HWND hwnd) {
    Lock lock = lock_device();
    if (Window* w = from_hwnd(hwnd)) w->in_paint = false;
    if (auto it = paints_out().find(hwnd); it != paints_out().end() && --it->second.count == 0) paints_out().erase(it);
}

void set_paint_tree_locked(Window& w, bool invalid) {
    if (invalid) {
        if (w.visible()) invalidate_locked(w, true);
    } else {
        w.needs_paint = false;
    }
    for (HWND c : w.children)
        if (Window* cw = from_hwnd(c)) set_paint_tree_locked(*cw, invalid);
}

void invalidate_locked(Window& w, bool erase) {
    w.needs_paint = true;
    w.erase = w.erase || erase;
    notify_all_locked();
}

HWND paint_candidate_locked(const Queue& q) {
    std::function<HWND(HWND)> visit = [&](HWND h) -> HWND {
        Window* w = from_hwnd(h);
        if (!w || !w->visible() || w->destroying) return nullptr;
        if (w->queue.get() == &q && w->needs_paint && !w->in_paint) return h;
        for (HWND c : w->children)
            if (HWND found = visit(c)) return found;
        return nullptr;
    };
    for (HWND h : state().top_levels)
        if (HWND found = visit(h)) return found;
    return nullptr;
}

}  // namespace pf::user

using namespace pf;
using namespace pf::user;

BOOL WINAPI UpdateWindow(HWND hwnd) {
    bool paint;
    std::string w;
    {
        Lock lock = enter_call();
        w = wnd_str_locked(hwnd);
        Window* win = checked_locked(hwnd);
        if (!win) {
            trace("UpdateWindow(" + w + ") = FALSE");
            return FALSE;
        }
        paint = win->needs_paint && !win->in_paint && effectively_visible_locked(hwnd);
    }
    trace("UpdateWindow(" + w + ") = TRUE");
    if (paint) send_internal(hwnd, WM_PAINT, 0, 0);
    return TRUE;
}

HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
    std::string w = wnd(hwnd);
    HDC hdc = begin_paint_internal(hwnd, ps);
    trace(call_str("BeginPaint", {w}, handle_name(hdc)));
    return hdc;
}

BOOL WINAPI EndPaint(HWND hwnd, const PAINTSTRUCT*) {
    std::string w = wnd(hwnd);
    end_paint_internal(hwnd);
    trace("EndPaint(" + w + ") = TRUE");
    return TRUE;
}

int WINAPI DrawTextW(HDC hdc, LPCWSTR text, int count, LPRECT rect, UINT format) {
    Lock lock = enter_call();
    auto& s = state();
    int r = 0;
    int n = text ? (count < 0 ? int(std::char_traits<char16_t>::length(text)) : count) : 0;
    auto it = s.hdc_windows.find(hdc);
    Window* w = it == s.hdc_windows.end() ? nullptr : from_hwnd(it->second);
    if (!w || !text || !rect) {
        set_last_error(ERROR_INVALID_PARAMETER);
    } else {
        w->drawn.push_back(DrawnText{std::u16string(text, size_t(n)), *rect, format});
        r = 16;  // one line of the system font
    }
    trace(call_str("DrawTextW", {handle_name(hdc), quoted(text, n), std::to_string(count), (rect ? rect_str(*rect) : "NULL"), dt_str(format)}, std::to_string(r)));
    return r;
}

HGDIOBJ WINAPI GetStockObject(int object) {
    static const char* names[] = {"WHITE_BRUSH", "LTGRAY_BRUSH", "GRAY_BRUSH", nullptr, "BLACK_BRUSH", "NULL_BRUSH"};
    if (object < 0 || object > 5 || !names[object])
        not_implemented(("GetStockObject(" + std::to_string(object) + ")").c_str());
    static char objects[6];
    HGDIOBJ r = &objects[object];
    Lock lock = enter_call();
    name_handle_locked(r, names[object]);
    trace(std::string("GetStockObject(") + names[object] + ") = " + names[object]);
    return r;
}

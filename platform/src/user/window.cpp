// Windows: classes, creation and destruction, visibility, geometry,
// activation and focus, painting, and the default window procedure.
#include <algorithm>

#include "user/device_user.hpp"
#include "user/user_internal.hpp"

namespace pf::user {

State& state() {
    static auto& s = *new State;
    return s;
}

namespace {

bool same_name(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x -= 32;
        if (y >= 'a' && y <= 'z') y -= 32;
        if (x != y) return false;
    }
    return true;
}

// Handles are addresses of bytes that are never freed, so that a handle
// value is never reused and never meets a kernel handle.
template <class H>
H new_handle() {
    return reinterpret_cast<H>(new char);
}

std::u16string class_arg(LPCWSTR name) {
    if (!name) return {};
    if (IS_INTRESOURCE(name)) return u"#" + utf16(std::to_string(reinterpret_cast<uintptr_t>(name)));
    return name;
}

RECT work_area() { return RECT{0, 0, device::screen_width, device::screen_height - device::taskbar_height}; }

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

bool can_activate_locked(const Window* w) {
    return w && !w->is_child() && w->visible() && w->enabled() && !w->destroying;
}

// A disabled window hands activation to the enabled popup it owns (the
// modal box or dialog that disabled it).
HWND enabled_owned_popup_locked(HWND owner) {
    for (HWND h : state().top_levels) {
        Window* w = from_hwnd(h);
        if (w && w->owner == owner && can_activate_locked(w)) return h;
    }
    return nullptr;
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

void send_destroy_tree(HWND hwnd) {
    std::vector<HWND> children;
    {
        Lock lock = lock_device();
        Window* w = from_hwnd(hwnd);
        if (!w || w->destroying) return;
        w->destroying = true;
    }
    call_wndproc(hwnd, WM_DESTROY, 0, 0);
    {
        Lock lock = lock_device();
        if (Window* w = from_hwnd(hwnd)) children = w->children;
    }
    for (HWND c : children) send_destroy_tree(c);
    call_wndproc(hwnd, WM_NCDESTROY, 0, 0);
    Lock lock = lock_device();
    remove_window_locked(hwnd);
    notify_all_locked();
}

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
}

}  // namespace

// ---- classes ----

void register_system_class(const std::u16string& name, WNDPROC proc, UINT style, int wnd_extra) {
    Lock lock = lock_device();
    auto& classes = state().classes;
    for (auto& c : classes)
        if (!c->process && same_name(c->name, name)) return;
    auto c = std::make_shared<WindowClass>();
    c->name = name;
    c->proc = proc;
    c->style = style;
    c->wnd_extra = wnd_extra;
    classes.push_back(c);
}

std::shared_ptr<WindowClass> find_class_locked(std::u16string_view name, Process* p) {
    std::shared_ptr<WindowClass> system;
    for (auto& c : state().classes) {
        if (!same_name(c->name, name)) continue;
        if (c->process == p) return c;
        if (!c->process) system = c;
    }
    return system;
}

// ---- lookups and geometry ----

Window* from_hwnd(HWND hwnd) {
    if (!hwnd) return nullptr;
    auto& ws = state().windows;
    auto it = ws.find(hwnd);
    return it == ws.end() ? nullptr : it->second.get();
}

std::vector<HWND> top_level_z_order_locked() {
    std::vector<HWND> out;
    for (HWND h : state().top_levels)
        if (Window* w = from_hwnd(h); w && w->visible()) out.push_back(h);
    return out;
}

HWND top_level_of_locked(HWND hwnd) {
    Window* w = from_hwnd(hwnd);
    while (w && w->is_child() && w->parent) {
        hwnd = w->parent;
        w = from_hwnd(hwnd);
    }
    return w ? hwnd : nullptr;
}

bool is_descendant_locked(HWND ancestor, HWND hwnd) {
    for (Window* w = from_hwnd(hwnd); w; w = w->is_child() ? from_hwnd(w->parent) : nullptr)
        if (w->hwnd == ancestor) return true;
    return false;
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

std::u16string title_locked(HWND hwnd) {
    Window* w = from_hwnd(hwnd);
    return w ? w->title : std::u16string();
}

std::string wnd_str_locked(HWND hwnd) {
    // An edit's text is its title and may run to thousands of characters:
    // naming the window by all of it would make every call on it as slow as
    // its text is long.
    constexpr std::size_t shown = 40;
    std::string out = handle_name(hwnd);
    if (Window* w = from_hwnd(hwnd); w && !w->title.empty()) {
        if (w->title.size() <= shown)
            out += " " + quoted(w->title.c_str());
        else
            out += " " + quoted(w->title.c_str(), int(shown)) + "...";
    }
    return out;
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

void remove_window_locked(HWND hwnd) {
    auto& s = state();
    Window* w = from_hwnd(hwnd);
    if (!w) return;
    if (w->is_child()) {
        if (Window* p = from_hwnd(w->parent)) std::erase(p->children, hwnd);
    } else {
        std::erase(s.top_levels, hwnd);
    }
    if (s.focus == hwnd) s.focus = nullptr;
    if (s.active == hwnd) s.active = nullptr;
    if (auto it = s.hdcs.find(hwnd); it != s.hdcs.end()) {
        s.hdc_windows.erase(it->second);
        s.hdcs.erase(it);
    }
    s.windows.erase(hwnd);
}

// ---- activation and focus ----

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

bool activate_locked(HWND hwnd, Outbox& out, bool even_hidden) {
    Window* w = from_hwnd(hwnd);
    if (!w || w->is_child() || (!w->visible() && !even_hidden) || w->destroying) return false;
    if (!w->enabled()) {
        hwnd = enabled_owned_popup_locked(hwnd);
        w = from_hwnd(hwnd);
        if (!w) return false;
    }
    auto& s = state();
    bring_to_top_locked(hwnd);
    HWND old = s.active;
    if (old != hwnd) {
        if (from_hwnd(old)) out.add(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
        s.active = hwnd;
        out.add(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
    }
    if (!s.focus || top_level_of_locked(s.focus) != hwnd) {
        // As DefWindowProc's activation does, a window takes the focus itself
        // and passes it on from its WM_SETFOCUS if it likes; only a dialog
        // gives it back to the control that had it.
        HWND f = w->dialog ? w->last_focus : nullptr;
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

void deliver(Outbox& out) {
    for (auto& item : out.items) {
        WNDPROC proc = nullptr;
        {
            Lock lock = lock_device();
            Window* w = from_hwnd(item.hwnd);
            if (!w) continue;
            if (w->queue != current_queue_locked()) {
                send_notify_locked(item.hwnd, item.msg, item.wp, item.lp);
                continue;
            }
            proc = w->proc;
        }
        proc(item.hwnd, item.msg, item.wp, item.lp);
    }
    out.items.clear();
}

void deliver_as_notifications_locked(Outbox& out) {
    for (auto& item : out.items) send_notify_locked(item.hwnd, item.msg, item.wp, item.lp);
    out.items.clear();
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

// ---- creation and destruction ----

namespace {
void discard_refused_window(HWND hwnd) {
    std::vector<HWND> children;
    {
        Lock lock = lock_device();
        if (Window* w = from_hwnd(hwnd)) children = w->children;
    }
    for (HWND child : children) discard_refused_window(child);
    {
        Lock lock = lock_device();
        Window* w = from_hwnd(hwnd);
        if (!w) return;
        w->destroying = true;
        w->style &= ~WS_VISIBLE;
        set_paint_tree_locked(*w, false);
    }
    call_wndproc(hwnd, WM_NCDESTROY, 0, 0);
    Lock lock = lock_device();
    remove_window_locked(hwnd);
}
}  // namespace

HWND create_window_internal(DWORD exstyle, std::u16string_view cls_name, std::u16string_view title, DWORD style,
                            int x, int y, int cx, int cy, HWND parent, HMENU menu, HINSTANCE instance,
                            LPVOID param) {
    HWND hwnd;
    std::u16string cls_s(cls_name), title_s(title);
    CREATESTRUCTW cs{};
    bool child = (style & WS_CHILD) != 0;
    {
        Lock lock = enter_call();
        Process* p = current_thread().process;
        auto cls = find_class_locked(cls_s, p);
        if (!cls) {
            set_last_error(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        Window* pw = nullptr;
        if (parent && !(pw = from_hwnd(parent))) {
            set_last_error(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        if (child && !pw) {
            set_last_error(1406);  // ERROR_TLW_WITH_WSCHILD
            return nullptr;
        }
        if (!child) {
            RECT wa = work_area();
            if (x == CW_USEDEFAULT) x = y = 0;
            if (cx == CW_USEDEFAULT) {
                cx = wa.right - wa.left - x;
                cy = wa.bottom - wa.top - y;
            }
        } else {
            if (x == CW_USEDEFAULT) x = y = 0;
            if (cx == CW_USEDEFAULT) cx = cy = 0;
        }
        auto w = std::make_unique<Window>();
        hwnd = new_handle<HWND>();
        w->hwnd = hwnd;
        w->cls = cls;
        w->style = style & ~WS_VISIBLE;
        w->exstyle = exstyle;
        w->rect = RECT{x, y, x + cx, y + cy};
        w->queue = current_queue_locked();
        w->process = p;
        w->proc = cls->proc;
        w->instance = instance;
        w->extra.resize(size_t(cls->wnd_extra + 3) / 4);
        if (child) {
            w->parent = parent;
            w->id = int(reinterpret_cast<intptr_t>(menu));
            pw->children.push_back(hwnd);
        } else {
            w->owner = parent ? top_level_of_locked(parent) : nullptr;
            w->menu = menu;
            state().top_levels.insert(state().top_levels.begin(), hwnd);
            bring_to_top_locked(hwnd);
        }
        state().windows[hwnd] = std::move(w);
        name_handle_locked(hwnd, "hwnd#" + std::to_string(++state().hwnd_numbers[p]));
        cs.lpCreateParams = param;
        cs.hInstance = instance;
        cs.hMenu = menu;
        cs.hwndParent = parent;
        cs.cy = cy;
        cs.cx = cx;
        cs.y = y;
        cs.x = x;
        cs.style = LONG(style);
        cs.lpszName = title_s.c_str();
        cs.lpszClass = cls_s.c_str();
        cs.dwExStyle = exstyle;
    }
    if (!call_wndproc(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        call_wndproc(hwnd, WM_NCDESTROY, 0, 0);
        Lock lock = lock_device();
        remove_window_locked(hwnd);
        return nullptr;
    }
    if (call_wndproc(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        // A refused creation is undone without WM_DESTROY, as on Windows: the
        // window never existed for its procedure, only WM_NCDESTROY ends it.
        discard_refused_window(hwnd);
        return nullptr;
    }
    LPARAM size, pos;
    {
        Lock lock = lock_device();
        Window* w = from_hwnd(hwnd);
        if (!w || w->destroying) return nullptr;
        w->created = true;
        RECT c = client_rect_locked(*w);
        size = MAKELPARAM(c.right, c.bottom);
        pos = child ? MAKELPARAM(w->rect.left, w->rect.top) : [&] {
            POINT o = client_origin_locked(*w);
            return MAKELPARAM(o.x, o.y);
        }();
    }
    call_wndproc(hwnd, WM_SIZE, 0 /* SIZE_RESTORED */, size);
    call_wndproc(hwnd, WM_MOVE, 0, pos);
    if (style & WS_VISIBLE) show_window_internal(hwnd, SW_SHOW);
    Lock lock = lock_device();
    Window* w = from_hwnd(hwnd);
    return w && !w->destroying ? hwnd : nullptr;
}

bool destroy_window_internal(HWND hwnd) {
    std::vector<HWND> owned;
    {
        Lock lock = lock_device();
        Window* w = from_hwnd(hwnd);
        if (!w) {
            set_last_error(ERROR_INVALID_WINDOW_HANDLE);
            return false;
        }
        if (w->queue != current_queue_locked()) {
            set_last_error(ERROR_ACCESS_DENIED);
            return false;
        }
        if (w->destroying) return true;
        for (HWND h : state().top_levels)
            if (Window* o = from_hwnd(h); o && o->owner == hwnd) owned.push_back(h);
    }
    // Windows it owns go first.
    for (HWND o : owned) destroy_window_internal(o);
    Outbox out;
    {
        Lock lock = lock_device();
        Window* w = from_hwnd(hwnd);
        if (!w) return true;
        auto& s = state();
        w->style &= ~WS_VISIBLE;
        set_paint_tree_locked(*w, false);
        if (!w->is_child() && s.active == hwnd) activate_next_locked(hwnd, out);
        if (s.focus && is_descendant_locked(hwnd, s.focus)) set_focus_locked(nullptr, out);
    }
    deliver(out);
    send_destroy_tree(hwnd);
    return true;
}

bool show_window_internal(HWND hwnd, int cmd) {
    bool show, activate = false;
    switch (cmd) {
    case SW_HIDE: show = false; break;
    case SW_SHOWNORMAL:
    case SW_SHOW:
    case SW_RESTORE: show = activate = true; break;
    case SW_SHOWNOACTIVATE:
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
            if (!child && activate) activate_locked(hwnd, out);
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

// ---- the device API ----

using namespace pf;
using namespace pf::user;

namespace {

std::string wnd(HWND hwnd) {
    Lock lock = lock_device();
    return wnd_str_locked(hwnd);
}

std::string cls_str(LPCWSTR name) {
    if (name && IS_INTRESOURCE(name)) return std::to_string(reinterpret_cast<uintptr_t>(name));
    return quoted(name);
}

std::string int_str(int v) { return v == CW_USEDEFAULT ? "CW_USEDEFAULT" : std::to_string(v); }

Window* checked_locked(HWND hwnd) {
    Window* w = from_hwnd(hwnd);
    if (!w) set_last_error(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

}  // namespace

ATOM WINAPI RegisterClassW(const WNDCLASSW* wc) {
    ATOM atom = 0;
    std::string args;
    {
        Lock lock = enter_call();
        if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) {
            set_last_error(ERROR_INVALID_PARAMETER);
        } else {
            std::u16string name = class_arg(wc->lpszClassName);
            args = "{" + flags_str(wc->style, {{CS_VREDRAW, "CS_VREDRAW"}, {CS_HREDRAW, "CS_HREDRAW"},
                                               {CS_DBLCLKS, "CS_DBLCLKS"}}) +
                   ", " + quoted(name.c_str()) + "}";
            Process* p = current_thread().process;
            bool exists = false;
            for (auto& c : state().classes)
                if (c->process == p && same_name(c->name, name)) exists = true;
            if (exists) {
                set_last_error(ERROR_CLASS_ALREADY_EXISTS);
            } else {
                auto c = std::make_shared<WindowClass>();
                c->name = name;
                c->style = wc->style;
                c->proc = wc->lpfnWndProc;
                c->instance = wc->hInstance;
                c->icon = wc->hIcon;
                c->background = wc->hbrBackground;
                c->wnd_extra = wc->cbWndExtra;
                c->process = p;
                state().classes.push_back(c);
                atom = ATOM(0xC000 + state().atoms[p]++);
            }
        }
    }
    trace("RegisterClassW(" + (args.empty() ? std::string("NULL") : args) + ") = " + hex(atom));
    return atom;
}

BOOL WINAPI UnregisterClassW(LPCWSTR name, HINSTANCE) {
    BOOL ok = FALSE;
    {
        Lock lock = enter_call();
        Process* p = current_thread().process;
        std::u16string n = class_arg(name);
        auto& classes = state().classes;
        auto it = std::find_if(classes.begin(), classes.end(),
                               [&](auto& c) { return c->process == p && same_name(c->name, n); });
        if (it != classes.end()) {
            classes.erase(it);
            ok = TRUE;
        } else {
            set_last_error(ERROR_CANNOT_FIND_WND_CLASS);
        }
    }
    trace("UnregisterClassW(" + cls_str(name) + ") = " + bool_str(ok));
    return ok;
}

HWND WINAPI CreateWindowExW(DWORD exstyle, LPCWSTR cls, LPCWSTR title, DWORD style, int x, int y, int cx, int cy,
                            HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    std::u16string cls_s = class_arg(cls);
    std::u16string title_s = title ? title : u"";
    std::string parent_s;
    {
        Lock lock = enter_call();
        parent_s = handle_name(parent);
    }
    HWND hwnd = create_window_internal(exstyle, cls_s, title_s, style, x, y, cx, cy, parent, menu, instance, param);
    std::string menu_s = (style & WS_CHILD) ? std::to_string(reinterpret_cast<intptr_t>(menu)) : handle_name(menu);
    trace("CreateWindowExW(" + (exstyle ? hex(exstyle) : std::string("0")) + ", " + cls_str(cls) + ", " + quoted(title) + ", " + ws_str(style) +
          ", " + int_str(x) + ", " + int_str(y) + ", " + int_str(cx) + ", " + int_str(cy) + ", " + parent_s + ", " +
          menu_s + ", " + handle_name(instance) + ", " + ptr_name(param) + ") = " + handle_name(hwnd));
    return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
    std::string w = wnd(hwnd);
    BOOL ok = destroy_window_internal(hwnd);
    trace("DestroyWindow(" + w + ") = " + bool_str(ok));
    return ok;
}

LRESULT WINAPI DefWindowProcW(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    LRESULT r = 0;
    switch (msg) {
    case WM_NCCREATE: {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        Lock lock = lock_device();
        if (Window* w = from_hwnd(hwnd); w && cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName))
            w->title = cs->lpszName;
        r = TRUE;
        break;
    }
    case WM_CLOSE: destroy_window_internal(hwnd); break;
    case WM_SETTEXT: {
        Lock lock = lock_device();
        if (Window* w = from_hwnd(hwnd)) {
            w->title = lp ? reinterpret_cast<const WCHAR*>(lp) : u"";
            r = TRUE;
        }
        break;
    }
    case WM_GETTEXT: {
        Lock lock = lock_device();
        auto* buf = reinterpret_cast<WCHAR*>(lp);
        if (Window* w = from_hwnd(hwnd); w && buf && wp > 0) {
            size_t n = std::min<size_t>(w->title.size(), wp - 1);
            std::copy_n(w->title.data(), n, buf);
            buf[n] = 0;
            r = LRESULT(n);
        }
        break;
    }
    case WM_GETTEXTLENGTH: {
        Lock lock = lock_device();
        if (Window* w = from_hwnd(hwnd)) r = LRESULT(w->title.size());
        break;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        begin_paint_internal(hwnd, &ps);
        end_paint_internal(hwnd);
        break;
    }
    case WM_ERASEBKGND: r = 1; break;
    default: break;
    }
    if (trace_wanted(true)) {
        Lock lock = lock_device();
        trace_poll("DefWindowProcW(" + wnd_str_locked(hwnd) + ", " + msg_name(msg) + ", " + num_str(wp) + ", " +
                   num_str(uintptr_t(lp)) + ") = " + std::to_string(r));
    }
    return r;
}

BOOL WINAPI ShowWindow(HWND hwnd, int cmd) {
    std::string w = wnd(hwnd);
    BOOL was = show_window_internal(hwnd, cmd);
    trace("ShowWindow(" + w + ", " + sw_str(cmd) + ") = " + bool_str(was));
    return was;
}

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

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    if (!hwnd) not_implemented("InvalidateRect of every window (NULL window)");
    BOOL ok = FALSE;
    std::string w;
    {
        Lock lock = enter_call();
        w = wnd_str_locked(hwnd);
        if (Window* win = checked_locked(hwnd)) {
            invalidate_locked(*win, erase);
            ok = TRUE;
        }
    }
    trace("InvalidateRect(" + w + ", " + (rect ? rect_str(*rect) : "NULL") + ", " + bool_str(erase) + ") = " +
          bool_str(ok));
    return ok;
}

BOOL WINAPI IsWindow(HWND hwnd) {
    Lock lock = enter_call();
    BOOL r = from_hwnd(hwnd) ? TRUE : FALSE;
    trace("IsWindow(" + wnd_str_locked(hwnd) + ") = " + bool_str(r));
    return r;
}

BOOL WINAPI IsWindowVisible(HWND hwnd) {
    Lock lock = enter_call();
    BOOL r = effectively_visible_locked(hwnd);
    trace("IsWindowVisible(" + wnd_str_locked(hwnd) + ") = " + bool_str(r));
    return r;
}

BOOL WINAPI IsWindowEnabled(HWND hwnd) {
    Lock lock = enter_call();
    Window* w = from_hwnd(hwnd);
    BOOL r = w && w->enabled();
    trace("IsWindowEnabled(" + wnd_str_locked(hwnd) + ") = " + bool_str(r));
    return r;
}

BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable) {
    std::string w = wnd(hwnd);
    BOOL r = enable_window_internal(hwnd, enable);
    trace("EnableWindow(" + w + ", " + bool_str(enable) + ") = " + bool_str(r));
    return r;
}

BOOL WINAPI SetForegroundWindow(HWND hwnd) {
    bool valid;
    HWND top = nullptr;
    std::string w;
    {
        Lock lock = enter_call();
        w = wnd_str_locked(hwnd);
        valid = checked_locked(hwnd) != nullptr;
        top = top_level_of_locked(hwnd);
    }
    // A hidden window stays hidden, but it becomes the active window and
    // takes the keyboard, as on the desktop.
    if (valid) activate_internal(top, true);
    trace("SetForegroundWindow(" + w + ") = " + bool_str(valid));
    return valid;
}

HWND WINAPI GetForegroundWindow(void) {
    Lock lock = enter_call();
    HWND r = state().active;
    trace("GetForegroundWindow() = " + wnd_str_locked(r));
    return r;
}

HWND WINAPI GetActiveWindow(void) {
    Lock lock = enter_call();
    Window* w = from_hwnd(state().active);
    HWND r = w && w->queue == current_queue_locked() ? w->hwnd : nullptr;
    trace("GetActiveWindow() = " + wnd_str_locked(r));
    return r;
}

HWND WINAPI FindWindowW(LPCWSTR cls, LPCWSTR title) {
    Lock lock = enter_call();
    std::u16string c = class_arg(cls);
    HWND found = nullptr;
    for (HWND h : state().top_levels) {
        Window* w = from_hwnd(h);
        if (!w || w->destroying) continue;
        if (cls && !same_name(w->cls->name, c)) continue;
        if (title && w->title != title) continue;
        found = h;
        break;
    }
    if (!found) set_last_error(0);
    trace("FindWindowW(" + cls_str(cls) + ", " + quoted(title) + ") = " + wnd_str_locked(found));
    return found;
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
    Lock lock = enter_call();
    Window* w = checked_locked(hwnd);
    if (w && rect) *rect = client_rect_locked(*w);
    BOOL ok = w && rect;
    trace("GetClientRect(" + wnd_str_locked(hwnd) + ") = " + bool_str(ok) + (ok ? " " + rect_str(*rect) : ""));
    return ok;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
    Lock lock = enter_call();
    Window* w = checked_locked(hwnd);
    if (w && rect) *rect = screen_rect_locked(*w);
    BOOL ok = w && rect;
    trace("GetWindowRect(" + wnd_str_locked(hwnd) + ") = " + bool_str(ok) + (ok ? " " + rect_str(*rect) : ""));
    return ok;
}

BOOL WINAPI SetWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags) {
    if (after && !(flags & SWP_NOZORDER)) not_implemented("SetWindowPos with an insert-after window");
    std::string w = wnd(hwnd);
    BOOL ok = set_window_pos_internal(hwnd, x, y, cx, cy, flags);
    static const std::vector<std::pair<DWORD, const char*>> names = {
        {SWP_NOSIZE, "SWP_NOSIZE"},           {SWP_NOMOVE, "SWP_NOMOVE"},         {SWP_NOZORDER, "SWP_NOZORDER"},
        {SWP_NOACTIVATE, "SWP_NOACTIVATE"},   {SWP_SHOWWINDOW, "SWP_SHOWWINDOW"}, {SWP_HIDEWINDOW, "SWP_HIDEWINDOW"}};
    trace("SetWindowPos(" + w + ", " + handle_name(after) + ", " + std::to_string(x) + ", " + std::to_string(y) +
          ", " + std::to_string(cx) + ", " + std::to_string(cy) + ", " + flags_str(flags, names) + ") = " +
          bool_str(ok));
    return ok;
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int cx, int cy, BOOL repaint) {
    std::string w = wnd(hwnd);
    BOOL ok = set_window_pos_internal(hwnd, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
    trace("MoveWindow(" + w + ", " + std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(cx) + ", " +
          std::to_string(cy) + ", " + bool_str(repaint) + ") = " + bool_str(ok));
    return ok;
}

HWND WINAPI GetParent(HWND hwnd) {
    Lock lock = enter_call();
    HWND r = nullptr;
    if (Window* w = checked_locked(hwnd)) {
        // A child's parent; a popup's owner.
        if (w->is_child()) r = w->parent;
        else if (w->style & WS_POPUP) r = w->owner;
    }
    trace("GetParent(" + wnd_str_locked(hwnd) + ") = " + wnd_str_locked(r));
    return r;
}

int WINAPI GetSystemMetrics(int index) {
    int r;
    std::string name;
    switch (index) {
    case SM_CXSCREEN: r = device::screen_width; name = "SM_CXSCREEN"; break;
    case SM_CYSCREEN: r = device::screen_height; name = "SM_CYSCREEN"; break;
    default: not_implemented(("GetSystemMetrics(" + std::to_string(index) + ")").c_str());
    }
    {
        Lock lock = enter_call();
    }
    trace("GetSystemMetrics(" + name + ") = " + std::to_string(r));
    return r;
}

int WINAPI GetWindowTextW(HWND hwnd, LPWSTR buf, int max) {
    std::string w = wnd(hwnd);
    int n = 0;
    if (buf && max > 0) {
        buf[0] = 0;
        n = int(send_internal(hwnd, WM_GETTEXT, WPARAM(max), reinterpret_cast<LPARAM>(buf)));
    }
    trace("GetWindowTextW(" + w + ", " + std::to_string(max) + ") = " + std::to_string(n) +
          (buf && max > 0 ? " " + quoted(buf, n) : ""));
    return n;
}

BOOL WINAPI SetWindowTextW(HWND hwnd, LPCWSTR text) {
    std::string w = wnd(hwnd);
    BOOL ok = FALSE;
    {
        Lock lock = lock_device();
        ok = checked_locked(hwnd) != nullptr;
    }
    if (ok) ok = send_internal(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
    trace("SetWindowTextW(" + w + ", " + quoted(text) + ") = " + bool_str(ok));
    return ok;
}

LONG WINAPI GetWindowLongW(HWND hwnd, int index) {
    Lock lock = enter_call();
    LONG r = 0;
    std::string name;
    Window* w = checked_locked(hwnd);
    switch (index) {
    case GWL_STYLE: name = "GWL_STYLE"; if (w) r = LONG(w->style); break;
    case GWL_EXSTYLE: name = "GWL_EXSTYLE"; if (w) r = LONG(w->exstyle); break;
    case GWL_ID: name = "GWL_ID"; if (w) r = w->id; break;
    case GWL_USERDATA: name = "GWL_USERDATA"; if (w) r = LONG(w->user_data); break;
    default:
        if (index < 0) not_implemented(("GetWindowLongW index " + std::to_string(index)).c_str());
        name = std::to_string(index);
        if (w) {
            if (size_t(index) / 4 < w->extra.size() && index % 4 == 0) r = LONG(w->extra[size_t(index) / 4]);
            else set_last_error(ERROR_INVALID_PARAMETER);
        }
    }
    trace("GetWindowLongW(" + wnd_str_locked(hwnd) + ", " + name + ") = " + hex(DWORD(r)));
    return r;
}

HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
    std::string w = wnd(hwnd);
    HDC hdc = begin_paint_internal(hwnd, ps);
    trace("BeginPaint(" + w + ") = " + handle_name(hdc));
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
    trace("DrawTextW(" + handle_name(hdc) + ", " + quoted(text, n) + ", " + std::to_string(count) + ", " +
          (rect ? rect_str(*rect) : "NULL") + ", " + dt_str(format) + ") = " + std::to_string(r));
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

HWND WINAPI SetFocus(HWND hwnd) {
    std::string w = wnd(hwnd);
    HWND old = set_focus_internal(hwnd);
    trace("SetFocus(" + w + ") = " + wnd(old));
    return old;
}

HWND WINAPI GetFocus(void) {
    Lock lock = enter_call();
    Window* w = from_hwnd(state().focus);
    // Only the calling thread's own focus window is visible to it.
    HWND r = w && w->queue == current_queue_locked() ? w->hwnd : nullptr;
    if (trace_wanted(true)) trace_poll("GetFocus() = " + wnd_str_locked(r));
    return r;
}

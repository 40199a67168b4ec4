// The window table: creation and destruction, lookups, the window tree,
// text and window data, and what a process leaves behind when it ends.
#include <algorithm>
#include "user/user_internal.hpp"

namespace pf::user {

namespace {

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

struct ProcessEndHook {
    ProcessEndHook() {
        add_process_end_hook([](Process* p) {
            Lock lock(device_mutex());
            auto& s = state();
            for (auto& wq : s.queues)
                if (auto q = wq.lock(); q && q->process == p) q->alive = false;
            // The process's windows go without a message: its code is gone.
            std::vector<HWND> gone;
            for (auto& [h, w] : s.windows)
                if (w->process == p) gone.push_back(h);
            bool lost_active = false;
            for (HWND h : gone) {
                if (s.active == h) lost_active = true;
                if (s.focus == h) s.focus = nullptr;
            }
            // Children first, so that no parent is gone before its children.
            std::sort(gone.begin(), gone.end(), [](HWND a, HWND b) {
                auto depth = [](HWND h) {
                    int d = 0;
                    for (Window* w = from_hwnd(h); w && w->is_child(); w = from_hwnd(w->parent)) ++d;
                    return d;
                };
                return depth(a) > depth(b);
            });
            for (HWND h : gone) remove_window_locked(h);
            if (lost_active || !from_hwnd(s.active)) {
                Outbox out;
                s.active = nullptr;
                activate_next_locked(nullptr, out);
                deliver_as_notifications_locked(out);
            }
            std::erase_if(s.classes, [p](auto& c) { return c->process == p; });
            notify_all_locked();
        });
    }
} process_end_hook;

}  // namespace

std::size_t window_count(const Process* p) {
    Lock lock(device_mutex());
    return std::size_t(std::count_if(state().windows.begin(), state().windows.end(),
                                     [p](const auto& entry) { return entry.second->process == p; }));
}

State& state() {
    static auto& s = *new State;
    return s;
}

Window* from_hwnd(HWND hwnd) {
    if (!hwnd) return nullptr;
    auto& ws = state().windows;
    auto it = ws.find(hwnd);
    return it == ws.end() ? nullptr : it->second.get();
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
        forget_handle_name_locked(it->second);
        s.hdcs.erase(it);
    }
    s.windows.erase(hwnd);
    forget_handle_name_locked(hwnd);
}

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

std::string wnd(HWND hwnd) {
    Lock lock = lock_device();
    return wnd_str_locked(hwnd);
}

Window* checked_locked(HWND hwnd) {
    Window* w = from_hwnd(hwnd);
    if (!w) set_last_error(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

std::string cls_str(LPCWSTR name) {
    if (name && IS_INTRESOURCE(name)) return std::to_string(reinterpret_cast<uintptr_t>(name));
    return quoted(name);
}

std::string int_str(int v) { return v == CW_USEDEFAULT ? "CW_USEDEFAULT" : std::to_string(v); }

}  // namespace pf::user

using namespace pf;
using namespace pf::user;

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
    trace(call_str("CreateWindowExW", {(exstyle ? hex(exstyle) : std::string("0")), cls_str(cls), quoted(title), ws_str(style), int_str(x), int_str(y), int_str(cx), int_str(cy), parent_s, menu_s, handle_name(instance), ptr_name(param)}, handle_name(hwnd)));
    return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
    std::string w = wnd(hwnd);
    BOOL ok = destroy_window_internal(hwnd);
    trace(call_str("DestroyWindow", {w}, bool_str(ok)));
    return ok;
}

BOOL WINAPI IsWindow(HWND hwnd) {
    Lock lock = enter_call();
    BOOL r = from_hwnd(hwnd) ? TRUE : FALSE;
    trace(call_str("IsWindow", {wnd_str_locked(hwnd)}, bool_str(r)));
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
    trace(call_str("FindWindowW", {cls_str(cls), quoted(title)}, wnd_str_locked(found)));
    return found;
}

HWND WINAPI GetParent(HWND hwnd) {
    Lock lock = enter_call();
    HWND r = nullptr;
    if (Window* w = checked_locked(hwnd)) {
        // A child's parent; a popup's owner.
        if (w->is_child()) r = w->parent;
        else if (w->style & WS_POPUP) r = w->owner;
    }
    trace(call_str("GetParent", {wnd_str_locked(hwnd)}, wnd_str_locked(r)));
    return r;
}

int WINAPI GetWindowTextW(HWND hwnd, LPWSTR buf, int max) {
    std::string w = wnd(hwnd);
    int n = 0;
    if (buf && max > 0) {
        buf[0] = 0;
        n = int(send_internal(hwnd, WM_GETTEXT, WPARAM(max), reinterpret_cast<LPARAM>(buf)));
    }
    trace(call_str("GetWindowTextW", {w, std::to_string(max)}, std::to_string(n) + (buf && max > 0 ? " " + quoted(buf, n) : "")));
    return n;
}

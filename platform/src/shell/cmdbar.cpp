// The command bar: a child window across the top of its parent's client
// area carrying a menu bar.
#include <commctrl.h>

#include "shell/shell.hpp"
#include "user/user_internal.hpp"

namespace pf::shell {

namespace {

LRESULT CALLBACK command_bar_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCDESTROY) {
        Lock lock = lock_device();
        if (user::Window* w = user::from_hwnd(hwnd)) w->ext.reset();
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

struct Registrar {
    Registrar() { user::register_system_class(command_bar_class, command_bar_proc); }
} registrar;

}  // namespace

CommandBarState* command_bar_locked(HWND hwnd) {
    user::Window* w = user::from_hwnd(hwnd);
    if (!w || !w->cls || w->cls->name != command_bar_class) return nullptr;
    return user::extension_of<CommandBarState>(*w);
}

}  // namespace pf::shell

using namespace pf;
using namespace pf::shell;

HWND WINAPI CommandBar_Create(HINSTANCE instance, HWND parent, int id) {
    LONG width = 0;
    std::string p;
    {
        Lock lock = enter_call();
        p = user::wnd_str_locked(parent);
        if (user::Window* w = user::from_hwnd(parent)) width = user::client_rect_locked(*w).right;
    }
    HWND cb = nullptr;
    if (width || parent) {
        cb = user::create_window_internal(0, command_bar_class, u"", WS_CHILD | WS_VISIBLE, 0, 0, width,
                                          command_bar_height, parent,
                                          reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), instance, nullptr);
    }
    if (cb) {
        Lock lock = lock_device();
        if (user::Window* w = user::from_hwnd(cb)) w->ext = std::make_shared<CommandBarState>();
    }
    trace(call_str("CommandBar_Create", {handle_name(instance), p, std::to_string(id)}, handle_name(cb)));
    return cb;
}

BOOL WINAPI CommandBar_InsertMenubar(HWND cb, HINSTANCE instance, WORD menu_id, WORD button) {
    auto menu = user::load_menu(instance, user::ResId::of(menu_id));
    BOOL ok = FALSE;
    Lock lock = enter_call();
    if (CommandBarState* s = command_bar_locked(cb)) {
        if (menu) {
            s->menu = std::move(*menu);
            ok = TRUE;
            if (user::Window* w = user::from_hwnd(cb)) user::invalidate_locked(*w, true);
        } else {
            set_last_error(ERROR_RESOURCE_NAME_NOT_FOUND);
        }
    } else {
        set_last_error(ERROR_INVALID_WINDOW_HANDLE);
    }
    trace(call_str("CommandBar_InsertMenubar",
                   {handle_name(cb), handle_name(instance), std::to_string(menu_id), std::to_string(button)},
                   bool_str(ok)));
    return ok;
}

// CommandBar_AddAdornments (Windows CE 5.0): the Close (X) button; a tap on
// it puts WM_CLOSE in the application's queue (the device's tap_close_button).
BOOL WINAPI CommandBar_AddAdornments(HWND cb, DWORD flags, DWORD reserved) {
    if (flags) not_implemented("CommandBar_AddAdornments with help or OK buttons");
    BOOL ok = FALSE;
    Lock lock = enter_call();
    if (CommandBarState* s = command_bar_locked(cb)) {
        s->adornments = true;
        ok = TRUE;
    }
    trace(call_str("CommandBar_AddAdornments", {handle_name(cb), std::to_string(flags), std::to_string(reserved)},
                   bool_str(ok)));
    return ok;
}

BOOL WINAPI CommandBar_Show(HWND cb, BOOL show) {
    bool valid;
    {
        Lock lock = enter_call();
        valid = command_bar_locked(cb) != nullptr;
    }
    BOOL was = valid && user::show_window_internal(cb, show ? SW_SHOWNA : SW_HIDE);
    trace(call_str("CommandBar_Show", {handle_name(cb), bool_str(show)}, bool_str(was)));
    return was;
}

int WINAPI CommandBar_Height(HWND cb) {
    Lock lock = enter_call();
    int h = command_bar_locked(cb) ? command_bar_height : 0;
    trace(call_str("CommandBar_Height", {handle_name(cb)}, std::to_string(h)));
    return h;
}

// Window classes: the system classes and RegisterClassW.
#include "user/user_internal.hpp"

namespace pf::user {

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

std::u16string class_arg(LPCWSTR name) {
    if (!name) return {};
    if (IS_INTRESOURCE(name)) return u"#" + utf16(std::to_string(reinterpret_cast<uintptr_t>(name)));
    return name;
}

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

}  // namespace pf::user

using namespace pf;
using namespace pf::user;

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
    trace(call_str("RegisterClassW", {(args.empty() ? std::string("NULL") : args)}, hex(atom)));
    return atom;
}

// The default window procedure.
#include "user/user_internal.hpp"

using namespace pf;
using namespace pf::user;

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
        trace_poll(call_str("DefWindowProcW", {wnd_str_locked(hwnd), msg_name(msg), num_str(wp), num_str(uintptr_t(lp))}, std::to_string(r)));
    }
    return r;
}

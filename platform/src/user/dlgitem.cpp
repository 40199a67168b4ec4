// Dialog items: GetDlgItem, GetDlgCtrlID and the item text and message helpers.
#include "user/dialog.hpp"

#include "user/controls.hpp"
#include "user/handheld.hpp"
#include "user/user_internal.hpp"

using namespace pf;
using namespace pf::user;

extern "C" {

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
    Lock lock = enter_call();
    HWND item = nullptr;
    if (!from_hwnd(hDlg))
        set_last_error(ERROR_INVALID_WINDOW_HANDLE);
    else if (!(item = find_item_locked(hDlg, nIDDlgItem)))
        set_last_error(1421 /*ERROR_CONTROL_ID_NOT_FOUND*/);
    std::string line = "GetDlgItem(" + wnd_str_locked(hDlg) + ", " + std::to_string(nIDDlgItem) + ") = " +
                       handle_name(item);
    lock.unlock();
    trace(line);
    return item;
}

int WINAPI GetDlgCtrlID(HWND hWnd) {
    Lock lock = enter_call();
    int id = 0;
    Window* w = from_hwnd(hWnd);
    if (!w)
        set_last_error(ERROR_INVALID_WINDOW_HANDLE);
    else if (w->is_child())
        id = w->id;
    std::string line = "GetDlgCtrlID(" + wnd_str_locked(hWnd) + ") = " + std::to_string(id);
    lock.unlock();
    trace(line);
    return id;
}

namespace {
// The control nIDDlgItem of hDlg, setting the last error as Windows does
// when the dialog or the control is not there.
HWND dialog_item_locked(HWND hDlg, int nIDDlgItem) {
    HWND item = find_item_locked(hDlg, nIDDlgItem);
    if (!item) set_last_error(from_hwnd(hDlg) ? 1421 /*ERROR_CONTROL_ID_NOT_FOUND*/ : ERROR_INVALID_WINDOW_HANDLE);
    return item;
}
}  // namespace

BOOL WINAPI SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString) {
    HWND item;
    std::string dlg;
    {
        Lock lock = enter_call();
        dlg = wnd_str_locked(hDlg);
        item = dialog_item_locked(hDlg, nIDDlgItem);
    }
    BOOL ok = item ? BOOL(send_internal(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) != 0) : FALSE;
    trace(call_str("SetDlgItemTextW", {dlg, std::to_string(nIDDlgItem), quoted(lpString)}, bool_str(ok)));
    return ok;
}

UINT WINAPI GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax) {
    HWND item;
    std::string dlg;
    {
        Lock lock = enter_call();
        dlg = wnd_str_locked(hDlg);
        item = dialog_item_locked(hDlg, nIDDlgItem);
    }
    UINT n = 0;
    if (item && lpString && cchMax > 0)
        n = UINT(send_internal(item, WM_GETTEXT, WPARAM(cchMax), reinterpret_cast<LPARAM>(lpString)));
    else if (lpString && cchMax > 0)
        lpString[0] = 0;
    trace(call_str("GetDlgItemTextW", {dlg, std::to_string(nIDDlgItem), (lpString && cchMax > 0 ? quoted(lpString) : std::string("buf")), std::to_string(cchMax)}, std::to_string(n)));
    return n;
}

LRESULT WINAPI SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam) {
    HWND item;
    std::string dlg;
    {
        Lock lock = enter_call();
        dlg = wnd_str_locked(hDlg);
        item = dialog_item_locked(hDlg, nIDDlgItem);
    }
    LRESULT r = item ? send_internal(item, Msg, wParam, lParam) : 0;
    trace(call_str("SendDlgItemMessageW", {dlg, std::to_string(nIDDlgItem), msg_name(Msg), num_str(wParam), num_str(uintptr_t(lParam))}, std::to_string(r)));
    return r;
}

}  // extern "C"

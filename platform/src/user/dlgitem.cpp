// Dialog items: GetDlgItem.
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

}  // extern "C"

// Shell_NotifyIcon: the icons of the taskbar's tray.
#include <algorithm>

#include "shell/shell.hpp"
#include "user/user_internal.hpp"

namespace pf::shell {

std::vector<TrayEntry>& tray_locked() {
    static auto& icons = *new std::vector<TrayEntry>;
    return icons;
}

namespace {

struct Init {
    Init() {
        // An ended program's icons leave the tray with it.
        add_process_end_hook([](Process* p) {
            Lock lock(device_mutex());
            std::erase_if(tray_locked(), [p](const TrayEntry& e) { return e.process == p; });
            notify_all_locked();
        });
    }
} init;

std::string nim_str(DWORD m) {
    switch (m) {
    case NIM_ADD: return "NIM_ADD";
    case NIM_MODIFY: return "NIM_MODIFY";
    case NIM_DELETE: return "NIM_DELETE";
    default: return hex(m);
    }
}

std::string data_str_locked(const NOTIFYICONDATAW* d) {
    if (!d) return "NULL";
    std::string out = "{hWnd " + handle_name(d->hWnd) + ", uID " + std::to_string(d->uID) + ", " +
                      user::flags_str(d->uFlags, {{NIF_MESSAGE, "NIF_MESSAGE"}, {NIF_ICON, "NIF_ICON"},
                                                  {NIF_TIP, "NIF_TIP"}});
    if (d->uFlags & NIF_MESSAGE) out += ", " + user::msg_name(d->uCallbackMessage);
    if (d->uFlags & NIF_TIP) out += ", " + quoted(d->szTip);
    return out + "}";
}

}  // namespace
}  // namespace pf::shell

using namespace pf;
using namespace pf::shell;

BOOL WINAPI Shell_NotifyIcon(DWORD message, PNOTIFYICONDATAW d) {
    Lock lock = enter_call();
    BOOL ok = FALSE;
    auto& icons = tray_locked();
    auto it = d ? std::find_if(icons.begin(), icons.end(),
                               [d](const TrayEntry& e) { return e.owner == d->hWnd && e.id == d->uID; })
                : icons.end();
    auto apply = [d](TrayEntry& e) {
        e.flags |= d->uFlags;
        if (d->uFlags & NIF_MESSAGE) e.callback = d->uCallbackMessage;
        if (d->uFlags & NIF_ICON) e.icon = d->hIcon;
        if (d->uFlags & NIF_TIP) e.tip = std::u16string(d->szTip, std::char_traits<char16_t>::length(d->szTip));
    };
    switch (message) {
    case NIM_ADD:
        if (d && user::from_hwnd(d->hWnd) && it == icons.end()) {
            TrayEntry e;
            e.owner = d->hWnd;
            e.id = d->uID;
            e.process = current_thread().process;
            apply(e);
            e.flags = d->uFlags;
            icons.push_back(e);
            ok = TRUE;
        }
        break;
    case NIM_MODIFY:
        if (it != icons.end()) {
            apply(*it);
            ok = TRUE;
        }
        break;
    case NIM_DELETE:
        if (it != icons.end()) {
            icons.erase(it);
            ok = TRUE;
        }
        break;
    default: not_implemented(("Shell_NotifyIcon message " + hex(message)).c_str());
    }
    notify_all_locked();
    trace(call_str("Shell_NotifyIcon", {nim_str(message), data_str_locked(d)}, bool_str(ok)));
    return ok;
}

// quiethook.dll: the agent's view into every thread that owns windows on
// the Wine desktop, loaded by Wine into each process whose thread the hooks
// run in (docs/wine-device.md).
//
// - A message hook (WH_GETMESSAGE) counts, per thread, the messages the
//   thread takes from its queue that carry work: input and posted messages;
//   timers and painting are not counted.
// - A call hook (WH_CALLWNDPROC) answers the agent's probe, a registered
//   message sent to one of the thread's windows. A thread handles a sent
//   message only inside a call that takes messages (GetMessage, PeekMessage,
//   a modal loop's wait), so when the probe is handled the thread is between
//   two messages; the hook replies with what is still in its queue and its
//   count, and the agent's SendMessage returns with that. The same probe
//   asks where an item of the thread's menu bar or open popup menu is on the
//   screen: only the menu's own process can read it.
#include <windows.h>

#include "quiet_probe.h"

namespace {

// The messages taken so far by this thread. Per thread by construction: each
// thread's hooks run on that thread.
thread_local unsigned long taken = 0;

bool carries_work(UINT message) {
    constexpr UINT system_timer = 0x0118;  // the caret's blink; Windows leaves it undeclared
    return message != WM_TIMER && message != system_timer && message != WM_PAINT && message != WM_NULL;
}

// The middle of a menu item's rectangle on the screen.
LRESULT middle_of(BOOL found, const RECT& r) {
    return quiet_probe::point_answer(found, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

// The open popup menu of this thread: its window, and the menu it shows.
HMENU open_popup_menu() {
    HWND popup = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM found) {
            wchar_t name[16] = {};
            GetClassNameW(w, name, 16);
            if (lstrcmpW(name, L"#32768") != 0 || !IsWindowVisible(w)) return TRUE;
            *reinterpret_cast<HWND*>(found) = w;
            return FALSE;
        },
        LPARAM(&popup));
    return popup ? reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0)) : nullptr;
}

LRESULT where_item(UINT id) {
    RECT r{};
    HMENU menu = open_popup_menu();
    for (int i = 0, n = menu ? GetMenuItemCount(menu) : 0; i < n; ++i)
        if (GetMenuItemID(menu, i) == id) return middle_of(GetMenuItemRect(nullptr, menu, i, &r), r);
    return quiet_probe::point_answer(false, 0, 0);
}

LRESULT where_bar_item(HWND window, int index) {
    MENUBARINFO bar{};
    bar.cbSize = sizeof bar;
    return middle_of(GetMenuBarInfo(window, OBJID_MENU, index + 1, &bar), bar.rcBar);
}

}  // namespace

extern "C" {

__declspec(dllexport) LRESULT CALLBACK QuietTakenHook(int code, WPARAM removed, LPARAM lParam) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && removed == PM_REMOVE && carries_work(msg->message)) ++taken;
    return CallNextHookEx(nullptr, code, removed, lParam);
}

__declspec(dllexport) LRESULT CALLBACK QuietProbeHook(int code, WPARAM sent_by_other, LPARAM lParam) {
    auto* call = reinterpret_cast<CWPSTRUCT*>(lParam);
    static const UINT probe = RegisterWindowMessageW(QUIET_PROBE_MESSAGE);
    if (code == HC_ACTION && call->message == probe && InSendMessage()) {
        if (call->wParam == quiet_probe::menu_bar) {
            ReplyMessage(where_bar_item(call->hwnd, int(call->lParam)));
        } else if (call->wParam == quiet_probe::menu_item) {
            ReplyMessage(where_item(UINT(call->lParam)));
        } else {
            // HIWORD: what the queue holds now (the LOWORD, what arrived since
            // the last look, is cleared by this call and nothing here relies on it).
            bool waiting = HIWORD(GetQueueStatus(QUIET_WORK_BITS)) != 0;
            ReplyMessage(quiet_probe::answer(waiting, taken));
        }
    }
    return CallNextHookEx(nullptr, code, sent_by_other, lParam);
}

}  // extern "C"

// Run-time menus and the modal popup of TrackPopupMenuEx.
#include "user/menu.hpp"

#include <algorithm>
#include <cstdarg>
#include <map>
#include <memory>

#include "user/handheld.hpp"
#include "user/user_internal.hpp"

namespace pf::user {
namespace {

#ifndef ERROR_POPUP_ALREADY_ACTIVE
#define ERROR_POPUP_ALREADY_ACTIVE 1446u
#endif

struct MenuRec {
    UINT flags = 0;
    UINT_PTR id = 0;
    std::u16string text;
    HMENU sub = nullptr;  // MF_POPUP
};

struct Menu {
    bool popup = false;
    const Process* owner = nullptr;
    std::vector<MenuRec> items;
};

struct Tracking {
    HMENU menu = nullptr;
    HWND owner = nullptr;
    std::string party;
    RECT rect{};
    std::vector<handheld::PopupItem> items;
    std::shared_ptr<Queue> queue;
    bool done = false;
    UINT chosen = 0;
};

struct Menus {
    std::map<HMENU, std::unique_ptr<Menu>> menus;
    std::vector<std::shared_ptr<Tracking>> tracking;  // oldest first
    int next_name = 1;
};
Menus& menus() {
    static auto& m = *new Menus;
    return m;
}

Menu* menu_locked(HMENU h) {
    auto it = menus().menus.find(h);
    return it == menus().menus.end() ? nullptr : it->second.get();
}

// Handles are addresses in a block of our own, handed out once and never
// reused (a destroyed menu's handle stays invalid), with nothing allocated
// that outlives the menu.
constexpr std::size_t menu_slots = std::size_t(1) << 20;
char menu_space[menu_slots];

HMENU create_menu(bool popup) {
    Lock lock = enter_call();
    if (menus().next_name >= int(menu_slots)) not_implemented("more than a million menus in one run");
    auto h = reinterpret_cast<HMENU>(menu_space + menus().next_name);
    auto m = std::make_unique<Menu>();
    m->popup = popup;
    m->owner = &current_process();
    menus().menus[h] = std::move(m);
    name_handle_locked(h, "hmenu#" + std::to_string(menus().next_name++));
    return h;
}

void destroy_menu_locked(HMENU h) {
    auto it = menus().menus.find(h);
    if (it == menus().menus.end()) return;
    std::vector<HMENU> subs;
    for (auto& item : it->second->items)
        if (item.sub) subs.push_back(item.sub);
    menus().menus.erase(it);
    forget_handle_name_locked(h);
    for (HMENU s : subs) destroy_menu_locked(s);
}

// A process's menus go when it ends.
const bool menus_end_with_their_process = (add_process_end_hook([](Process* p) {
    Lock lock(device_mutex());
    std::erase_if(menus().menus, [p](const auto& entry) {
        if (entry.second->owner != p) return false;
        forget_handle_name_locked(entry.first);
        return true;
    });
}), true);

std::string mf_str(UINT flags) {
    static const std::vector<std::pair<DWORD, const char*>> names = {
        {MF_POPUP, "MF_POPUP"}, {MF_SEPARATOR, "MF_SEPARATOR"}, {MF_GRAYED, "MF_GRAYED"},
        {MF_DISABLED, "MF_DISABLED"}};
    if (!(flags & ~UINT(MF_GRAYED | MF_DISABLED | MF_POPUP | MF_SEPARATOR)) && !(flags & (MF_POPUP | MF_SEPARATOR)))
        return flags ? "MF_STRING|" + flags_str(flags, names) : "MF_STRING";
    return flags_str(flags, names);
}

RECT place_popup(const std::vector<handheld::PopupItem>& items, int x, int y) {
    size_t longest = 0;
    for (auto& it : items) longest = std::max(longest, it.text.size());
    int cx = std::max(popup_min_width, int(longest) * popup_char_width + popup_padding);
    int cy = std::max(1, int(items.size())) * popup_item_height;
    // Kept on the screen: moved left or up as far as needed.
    x = std::clamp(x, 0, std::max(0, handheld::screen_width - cx));
    y = std::clamp(y, 0, std::max(0, handheld::screen_height - cy));
    return RECT{x, y, x + cx, y + cy};
}

bool is_click(UINT msg) { return msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN; }

}  // namespace

std::size_t menu_count(const Process* p) {
    Lock lock(device_mutex());
    return std::size_t(std::count_if(menus().menus.begin(), menus().menus.end(),
                                     [p](const auto& entry) { return entry.second->owner == p; }));
}

}  // namespace pf::user

// ---- the device side ----

namespace pf::user::handheld {

namespace {
std::shared_ptr<Tracking> open_locked() {
    auto& t = menus().tracking;
    for (auto it = t.rbegin(); it != t.rend(); ++it)
        if (!(*it)->done) return *it;
    return nullptr;
}
}  // namespace

std::optional<PopupInfo> open_popup() {
    Lock lock = lock_device();
    auto t = open_locked();
    if (!t) return std::nullopt;
    return PopupInfo{t->menu, t->owner, t->party, t->rect, t->items};
}

bool popup_open() { return open_popup().has_value(); }

bool choose(UINT id) {
    Lock lock = lock_device();
    auto t = open_locked();
    if (!t) return false;
    for (auto& item : t->items) {
        if (item.id != id || (item.flags & (MF_POPUP | MF_SEPARATOR | MF_GRAYED | MF_DISABLED))) continue;
        t->chosen = id;
        t->done = true;
        notify_all_locked();
        return true;
    }
    return false;
}

bool tap_outside() {
    Lock lock = lock_device();
    auto t = open_locked();
    if (!t) return false;
    t->done = true;
    t->chosen = 0;
    notify_all_locked();
    return true;
}

}  // namespace pf::user::handheld

// ---- the device API ----

using namespace pf;
using namespace pf::user;

extern "C" {

HMENU WINAPI CreatePopupMenu(void) {
    HMENU h = create_menu(true);
    trace(call_str("CreatePopupMenu", {}, handle_name(h)));
    return h;
}

BOOL WINAPI AppendMenuW(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem) {
    if (uFlags & ~UINT(MF_GRAYED | MF_DISABLED | MF_POPUP | MF_SEPARATOR))
        not_implemented("AppendMenuW with bitmap, owner-drawn or checked items");
    BOOL ok = FALSE;
    std::string line;
    {
        Lock lock = enter_call();
        std::string id_s = (uFlags & MF_POPUP) ? handle_name(reinterpret_cast<HMENU>(uIDNewItem))
                                               : std::to_string(uIDNewItem);
        std::string text_s = (uFlags & MF_SEPARATOR) ? ptr_name(lpNewItem) : quoted(lpNewItem);
        line = "AppendMenuW(" + handle_name(hMenu) + ", " + mf_str(uFlags) + ", " + id_s + ", " + text_s + ")";
        Menu* m = menu_locked(hMenu);
        HMENU sub = (uFlags & MF_POPUP) ? reinterpret_cast<HMENU>(uIDNewItem) : nullptr;
        if (!m || ((uFlags & MF_POPUP) && (!menu_locked(sub) || sub == hMenu))) {
            set_last_error(ERROR_INVALID_MENU_HANDLE);
        } else if (!(uFlags & MF_SEPARATOR) && !lpNewItem) {
            set_last_error(ERROR_INVALID_PARAMETER);
        } else {
            MenuRec r;
            r.flags = uFlags;
            r.id = (uFlags & MF_POPUP) ? 0 : uIDNewItem;
            r.sub = sub;
            if (!(uFlags & MF_SEPARATOR)) r.text = lpNewItem;
            m->items.push_back(std::move(r));
            ok = TRUE;
        }
    }
    trace(line + " = " + bool_str(ok));
    return ok;
}

BOOL WINAPI DestroyMenu(HMENU hMenu) {
    BOOL ok = FALSE;
    std::string name;
    {
        Lock lock = enter_call();
        name = handle_name(hMenu);
        if (menu_locked(hMenu)) {
            destroy_menu_locked(hMenu);
            ok = TRUE;
        } else {
            set_last_error(ERROR_INVALID_MENU_HANDLE);
        }
    }
    trace(call_str("DestroyMenu", {name}, bool_str(ok)));
    return ok;
}

BOOL WINAPI TrackPopupMenuEx(HMENU hMenu, UINT uFlags, int x, int y, HWND hwnd, LPTPMPARAMS lptpm) {
    if (uFlags & ~UINT(TPM_RETURNCMD)) not_implemented("TrackPopupMenuEx alignment and button flags");
    if (lptpm) not_implemented("TrackPopupMenuEx with an exclusion rectangle");
    auto t = std::make_shared<Tracking>();
    std::string line;
    bool ok = false;
    {
        Lock lock = enter_call();
        line = "TrackPopupMenuEx(" + handle_name(hMenu) + ", " + (uFlags ? std::string("TPM_RETURNCMD") : "0") + ", " +
               std::to_string(x) + ", " + std::to_string(y) + ", " + wnd_str_locked(hwnd) + ", NULL)";
        Menu* m = menu_locked(hMenu);
        auto q = current_queue_locked();
        bool busy = std::any_of(menus().tracking.begin(), menus().tracking.end(),
                                [&](auto& o) { return !o->done && o->queue == q; });
        if (!m || !m->popup) {
            set_last_error(ERROR_INVALID_MENU_HANDLE);
        } else if (!from_hwnd(hwnd)) {
            set_last_error(ERROR_INVALID_WINDOW_HANDLE);
        } else if (busy) {
            set_last_error(ERROR_POPUP_ALREADY_ACTIVE);
        } else {
            for (auto& r : m->items) t->items.push_back(handheld::PopupItem{UINT(r.id), r.flags, r.text});
            t->menu = hMenu;
            t->owner = hwnd;
            t->party = current_thread().process->party;
            t->rect = place_popup(t->items, x, y);
            t->queue = q;
            ok = true;
        }
    }
    if (!ok) {
        trace(line + " = FALSE");
        return FALSE;
    }
    send_internal(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(hMenu), 0);
    {
        Lock lock = lock_device();
        menus().tracking.push_back(t);
        notify_all_locked();
    }
    struct Untrack {
        std::shared_ptr<Tracking> t;
        ~Untrack() {
            Lock lock = lock_device();
            t->done = true;
            std::erase(menus().tracking, t);
            notify_all_locked();
        }
    } untrack{t};
    // The popup holds the thread's mouse and keyboard: any click that reaches
    // this thread's queue while it is open (also a thread-posted one with no
    // window) lands outside it and closes it. Escape, Alt and F10 close it;
    // so do Return and Space, which choose the highlighted item, and nothing
    // is ever highlighted without the mouse. Other keys are taken by the
    // popup: its items have no mnemonics.
    run_modal_loop([t] { return t->done; },
                   [t](MSG& m) {
                       bool closes = is_click(m.message);
                       if (m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN) {
                           closes = m.wParam == VK_ESCAPE || m.wParam == VK_MENU || m.wParam == VK_F10;
                           if (!closes) translate_internal(m);
                       }
                       if (m.message == WM_CHAR || m.message == WM_SYSCHAR) closes = m.wParam == '\r' || m.wParam == ' ';
                       if (closes) {
                           Lock lock = lock_device();
                           t->done = true;
                           notify_all_locked();
                           return true;
                       }
                       return m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST;
                   });
    UINT chosen;
    {
        Lock lock = lock_device();
        t->done = true;
        chosen = t->chosen;
    }
    BOOL result;
    if (uFlags & TPM_RETURNCMD) {
        result = BOOL(chosen);
    } else {
        // The command arrives after the popup has closed, as a posted message.
        if (chosen) post_internal(hwnd, WM_COMMAND, chosen, 0);
        result = chosen ? TRUE : FALSE;
    }
    trace(line + " = " + ((uFlags & TPM_RETURNCMD) ? std::to_string(result) : bool_str(result)));
    return result;
}

}  // extern "C"

// What the device sees of the window system and does to it.
#include "user/handheld.hpp"

#include <algorithm>

#include "shell/shell.hpp"
#include "user/msgbox.hpp"
#include "user/user_internal.hpp"

namespace pf::user::handheld {

namespace {

std::vector<MenuItem> menu_items(const std::vector<MenuTemplateItem>& items) {
    std::vector<MenuItem> out;
    for (auto& i : items) {
        if (i.separator) continue;
        out.push_back(MenuItem{i.id, i.text, menu_items(i.children)});
    }
    return out;
}

bool menu_has(const std::vector<MenuTemplateItem>& items, UINT id) {
    for (auto& i : items)
        if ((!i.popup && !i.separator && i.id == id) || menu_has(i.children, id)) return true;
    return false;
}

Control control_locked(HWND h) {
    Window* w = from_hwnd(h);
    Control c;
    c.hwnd = h;
    c.cls = w->cls ? w->cls->name : u"";
    c.id = w->id;
    c.text = w->title;
    c.style = w->style;
    c.rect = screen_rect_locked(*w);
    c.visible = w->visible();
    c.enabled = w->enabled();
    c.focused = state().focus == h;
    for (HWND ch : w->children)
        if (from_hwnd(ch)) c.children.push_back(control_locked(ch));
    return c;
}

WindowInfo info_locked(HWND h) {
    Window* w = from_hwnd(h);
    WindowInfo i;
    i.hwnd = h;
    i.cls = w->cls ? w->cls->name : u"";
    i.title = w->title;
    i.style = w->style;
    i.exstyle = w->exstyle;
    i.rect = screen_rect_locked(*w);
    i.party = w->process ? w->process->party : "";
    i.active = state().active == h;
    i.enabled = w->enabled();
    for (auto& d : w->drawn) i.drawn.push_back(Drawn{d.text, d.rect, d.format});
    for (HWND ch : w->children) {
        if (!from_hwnd(ch)) continue;
        if (auto* cb = shell::command_bar_locked(ch); cb && from_hwnd(ch)->visible()) {
            i.menu = menu_items(cb->menu);
            i.close_button = cb->adornments;
        }
        i.controls.push_back(control_locked(ch));
    }
    return i;
}

std::optional<MessageBoxInfo> box_locked() {
    auto& boxes = open_boxes_locked();
    for (auto it = boxes.rbegin(); it != boxes.rend(); ++it) {
        Window* w = from_hwnd(*it);
        auto* st = w ? extension_of<MessageBoxState>(*w) : nullptr;
        if (!st) continue;
        if (st->result) continue;
        return MessageBoxInfo{*it, st->owner, st->text, st->caption, st->type, w->process ? w->process->party : ""};
    }
    return std::nullopt;
}

TrayIcon tray_info(const shell::TrayEntry& e) {
    return TrayIcon{e.owner, e.id, e.flags, e.callback, e.icon, e.tip, e.process ? e.process->party : ""};
}

}  // namespace

Screen snapshot() {
    Lock lock = lock_device();
    Screen s;
    for (HWND h : top_level_z_order_locked()) s.windows.push_back(info_locked(h));
    s.focus = state().focus;
    s.active = state().active;
    for (auto& e : shell::tray_locked()) s.tray.push_back(tray_info(e));
    s.message_box = box_locked();
    return s;
}

std::optional<WindowInfo> window_info(HWND hwnd) {
    Lock lock = lock_device();
    if (!from_hwnd(hwnd)) return std::nullopt;
    return info_locked(hwnd);
}

std::vector<TrayIcon> tray_icons() {
    Lock lock = lock_device();
    std::vector<TrayIcon> out;
    for (auto& e : shell::tray_locked()) out.push_back(tray_info(e));
    return out;
}

bool tap_tray(size_t index) {
    Lock lock = lock_device();
    auto& icons = shell::tray_locked();
    if (index >= icons.size()) return false;
    const auto& e = icons[index];
    if (e.flags & NIF_MESSAGE) {
        send_notify_locked(e.owner, e.callback, e.id, WM_LBUTTONDOWN);
        send_notify_locked(e.owner, e.callback, e.id, WM_LBUTTONUP);
    }
    return true;
}

std::optional<MessageBoxInfo> message_box() {
    Lock lock = lock_device();
    return box_locked();
}

bool answer_message_box(int id) {
    Lock lock = lock_device();
    auto box = box_locked();
    if (!box) return false;
    auto buttons = message_box_buttons(box->type);
    if (std::find(buttons.begin(), buttons.end(), id) == buttons.end()) return false;
    if (covering_window_locked(box->hwnd)) return false;
    tap_activate_locked(box->hwnd);
    extension_of<MessageBoxState>(*from_hwnd(box->hwnd))->result = id;
    notify_all_locked();
    return true;
}

bool choose_menu_command(UINT id, HWND window) {
    Lock lock = lock_device();
    std::vector<HWND> candidates = window ? std::vector<HWND>{window} : top_level_z_order_locked();
    for (HWND top : candidates) {
        Window* w = from_hwnd(top);
        if (!w) continue;
        for (HWND ch : w->children) {
            auto* cb = shell::command_bar_locked(ch);
            if (!cb || !from_hwnd(ch)->visible() || !menu_has(cb->menu, id)) continue;
            tap_activate_locked(top);
            return post_locked(top, WM_COMMAND, MAKEWPARAM(id, 0), 0);
        }
    }
    return false;
}

bool tap_close_button() {
    Lock lock = lock_device();
    auto shown = top_level_z_order_locked();
    Window* front = shown.empty() ? nullptr : from_hwnd(shown.front());
    if (!front || !front->enabled()) return false;
    for (HWND ch : front->children)
        if (auto* cb = shell::command_bar_locked(ch); cb && cb->adornments && from_hwnd(ch)->visible()) {
            tap_activate_locked(front->hwnd);
            return post_locked(front->hwnd, WM_CLOSE, 0, 0);
        }
    return false;
}

HWND focus() {
    Lock lock = lock_device();
    return state().focus;
}

HWND active_window() {
    Lock lock = lock_device();
    return state().active;
}

bool set_focus_from_device(HWND hwnd) {
    Lock lock = lock_device();
    Window* w = from_hwnd(hwnd);
    if (!w || !w->enabled() || !effectively_visible_locked(hwnd)) return false;
    Outbox out;
    HWND top = top_level_of_locked(hwnd);
    if (state().active != top && !tap_activate_locked(top)) return false;
    set_focus_locked(hwnd, out);
    // The device never runs an application's procedure itself.
    deliver_as_notifications_locked(out);
    return true;
}

HWND covering_window(HWND hwnd) {
    Lock lock = lock_device();
    return covering_window_locked(hwnd);
}

bool post(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Lock lock = lock_device();
    return post_locked(hwnd, msg, wp, lp);
}

HWND find_window(std::u16string_view cls, std::u16string_view title) {
    Lock lock = lock_device();
    for (HWND h : state().top_levels) {
        Window* w = from_hwnd(h);
        if (!w || w->destroying) continue;
        if (!cls.empty() && (!w->cls || w->cls->name != cls)) continue;
        if (!title.empty() && w->title != title) continue;
        return h;
    }
    return nullptr;
}

std::vector<HWND> windows_of(const Process* p) {
    Lock lock = lock_device();
    std::vector<HWND> out;
    for (HWND h : state().top_levels)
        if (Window* w = from_hwnd(h); w && w->process == p) out.push_back(h);
    return out;
}

HWND child_by_id(HWND parent, int id) {
    Lock lock = lock_device();
    std::function<HWND(HWND)> find = [&](HWND h) -> HWND {
        Window* w = from_hwnd(h);
        if (!w) return nullptr;
        for (HWND c : w->children)
            if (Window* cw = from_hwnd(c); cw && cw->id == id) return c;
        for (HWND c : w->children)
            if (HWND f = find(c)) return f;
        return nullptr;
    };
    return find(parent);
}

std::u16string text_of(HWND hwnd) {
    Lock lock = lock_device();
    return title_locked(hwnd);
}

bool is_visible(HWND hwnd) {
    Lock lock = lock_device();
    return effectively_visible_locked(hwnd);
}

bool is_window(HWND hwnd) {
    Lock lock = lock_device();
    return from_hwnd(hwnd) != nullptr;
}

}  // namespace pf::user::handheld

// The device's view of open dialogs: what they show, and pressing their
// buttons and moving their focus as the operator does.
#include "user/dialog.hpp"

#include "user/controls.hpp"
#include "user/handheld.hpp"
#include "user/user_internal.hpp"

namespace pf::user::handheld {

namespace {
DialogInfo describe_locked(HWND hwnd) {
    Window* w = from_hwnd(hwnd);
    DialogState* s = dialog_state_locked(*w);
    DialogInfo d;
    d.hwnd = hwnd;
    d.owner = s->owner;
    d.party = w->process ? w->process->party : "";
    d.template_id = s->template_id;
    d.title = w->title;
    d.rect = screen_rect_locked(*w);
    POINT o = client_origin_locked(*w);
    RECT c = client_rect_locked(*w);
    d.client = RECT{o.x, o.y, o.x + c.right, o.y + c.bottom};
    d.style = w->style;
    d.exstyle = w->exstyle;
    d.ok_button = (w->exstyle & WS_EX_CAPTIONOKBTN) != 0;
    d.close_button = (w->style & WS_SYSMENU) != 0;
    d.visible = w->visible();
    HWND focus = focus_locked();
    if (focus == hwnd) d.focus = hwnd;
    for (HWND h : w->children) {
        Window* cw = from_hwnd(h);
        if (!cw) continue;
        DialogControl c;
        c.hwnd = h;
        c.id = cw->id;
        c.cls = class_name_locked(*cw);
        c.text = cw->title;
        c.style = cw->style;
        c.rect = screen_rect_locked(*cw);
        c.visible = cw->visible();
        c.enabled = cw->enabled();
        c.focused = h == focus;
        c.icon = static_icon_locked(*cw);
        if (EditState* e = edit_state_locked(*cw)) {
            c.sel_start = std::min(e->sel_start, e->sel_end);
            c.sel_end = e->sel_end;
        }
        if (c.focused) {
            d.focus = h;
            d.focus_id = cw->id;
        }
        d.controls.push_back(std::move(c));
    }
    return d;
}

// Running dialogs, topmost first. Lock held.
std::vector<HWND> running_locked() {
    std::vector<HWND> out;
    for (HWND h : state().top_levels) {
        Window* w = from_hwnd(h);
        DialogState* s = w ? dialog_state_locked(*w) : nullptr;
        if (s && !s->ended && !w->destroying && w->visible()) out.push_back(h);
    }
    return out;
}
}  // namespace

std::vector<DialogInfo> open_dialogs() {
    Lock lock = lock_device();
    std::vector<DialogInfo> out;
    for (HWND h : running_locked()) out.push_back(describe_locked(h));
    return out;
}

std::optional<DialogInfo> open_dialog() {
    Lock lock = lock_device();
    auto running = running_locked();
    if (running.empty()) return std::nullopt;
    return describe_locked(running.front());
}

namespace {
bool press(bool ok) {
    Lock lock = lock_device();
    auto running = running_locked();
    if (running.empty()) return false;
    HWND dlg = running.front();
    Window* w = from_hwnd(dlg);
    if (ok ? !(w->exstyle & WS_EX_CAPTIONOKBTN) : !(w->style & WS_SYSMENU)) return false;
    if (covering_window_locked(dlg)) return false;
    tap_activate_locked(dlg);
    return post_locked(dlg, WM_COMMAND, MAKEWPARAM(ok ? IDOK : IDCANCEL, BN_CLICKED), 0);
}
}  // namespace

bool press_ok() { return press(true); }
bool press_cancel() { return press(false); }

bool focus_control(int id) {
    HWND ctrl;
    {
        Lock lock = lock_device();
        auto running = running_locked();
        if (running.empty()) return false;
        ctrl = find_item_locked(running.front(), id);
        if (!ctrl) return false;
    }
    return set_focus_from_device(ctrl);
}

}  // namespace pf::user::handheld

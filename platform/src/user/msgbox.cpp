// MessageBoxW: a modal box of its own, answered by the operator (the
// device) or with Return and Escape.
#include <algorithm>

#include "user/handheld.hpp"
#include "user/msgbox.hpp"
#include "user/user_internal.hpp"

namespace pf::user {

namespace {

const char16_t kBoxClass[] = u"PfMessageBox";

std::vector<int> buttons_of(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OK: return {IDOK};
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {};
    }
}

MessageBoxState* box_state_locked(HWND hwnd) {
    Window* w = from_hwnd(hwnd);
    return w ? extension_of<MessageBoxState>(*w) : nullptr;
}

LRESULT CALLBACK box_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_KEYDOWN && (wp == VK_RETURN || wp == VK_ESCAPE)) {
        Lock lock = lock_device();
        if (MessageBoxState* b = box_state_locked(hwnd); b && !b->result) {
            auto buttons = buttons_of(b->type);
            if (wp == VK_RETURN) {
                b->result = buttons.front();
            } else if (std::find(buttons.begin(), buttons.end(), IDCANCEL) != buttons.end()) {
                b->result = IDCANCEL;
            } else if (buttons.size() == 1) {
                b->result = buttons.front();  // a lone OK also closes with Escape
            }
            notify_all_locked();
        }
        return 0;
    }
    if (msg == WM_CLOSE) {
        Lock lock = lock_device();
        if (MessageBoxState* b = box_state_locked(hwnd); b && !b->result) {
            auto buttons = buttons_of(b->type);
            if (std::find(buttons.begin(), buttons.end(), IDCANCEL) != buttons.end()) b->result = IDCANCEL;
            else if (buttons.size() == 1) b->result = buttons.front();
            notify_all_locked();
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

struct Registrar {
    Registrar() { register_system_class(kBoxClass, box_proc); }
} registrar;

}  // namespace

std::vector<HWND>& open_boxes_locked() {
    static auto& boxes = *new std::vector<HWND>;
    return boxes;
}

std::vector<int> message_box_buttons(UINT type) { return buttons_of(type); }

int message_box_internal(HWND owner, const std::u16string& text, const std::u16string& caption, UINT type) {
    if (buttons_of(type).empty()) not_implemented(("MessageBoxW with type " + hex(type)).c_str());
    HWND top_owner = nullptr;
    {
        Lock lock = enter_call();
        if (owner && !from_hwnd(owner)) {
            set_last_error(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        top_owner = owner ? top_level_of_locked(owner) : nullptr;
    }
    // The owner is disabled while the box runs.
    bool owner_was_disabled = top_owner && enable_window_internal(top_owner, false);
    const int cx = 200, cy = 100;
    RECT wa{0, 0, handheld::screen_width, handheld::screen_height - handheld::taskbar_height};
    HWND box = create_window_internal(0, kBoxClass, caption, WS_POPUP | WS_CAPTION | WS_BORDER, (wa.right - cx) / 2,
                                      (wa.bottom - cy) / 2, cx, cy, top_owner, nullptr, nullptr, nullptr);
    if (!box) {
        if (top_owner && !owner_was_disabled) enable_window_internal(top_owner, true);
        return 0;
    }
    auto st = std::make_shared<MessageBoxState>();
    st->text = text;
    st->caption = caption;
    st->type = type;
    st->owner = owner;
    {
        Lock lock = lock_device();
        from_hwnd(box)->ext = st;
        open_boxes_locked().push_back(box);
    }
    // Message Boxes (Windows CE 5.0): a background application's box stays behind unless MB_SETFOREGROUND.
    show_modal_popup_internal(box, (type & MB_SETFOREGROUND) != 0);
    run_modal_loop([st, box] { return st->result.has_value() || !from_hwnd(box); });
    {
        Lock lock = lock_device();
        std::erase(open_boxes_locked(), box);
    }
    // The owner comes back before the box goes, so that it is activated next.
    if (top_owner && !owner_was_disabled) enable_window_internal(top_owner, true);
    destroy_window_internal(box);
    if (top_owner) {
        Lock lock = lock_device();
        bool reactivate = effectively_visible_locked(top_owner) && in_foreground_locked(top_owner);
        lock.unlock();
        if (reactivate) activate_internal(top_owner);
    }
    return st->result.value_or(0);
}

}  // namespace pf::user

using namespace pf;
using namespace pf::user;

int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    std::u16string t = text ? text : u"";
    std::u16string c = caption ? caption : u"Error";
    std::string o;
    {
        Lock lock = enter_call();
        o = handle_name(owner);
    }
    int r = message_box_internal(owner, t, c, type);
    trace(call_str("MessageBoxW", {o, quoted(text), quoted(caption), mb_str(type)}, id_str(r)));
    return r;
}

// Modal dialogs: creation from a template, the modal loop, the dialog
// manager's keys, EndDialog and the dialog class's procedure.
#include "user/dialog.hpp"

#include <algorithm>
#include <cmath>

#include "user/controls.hpp"
#include "user/handheld.hpp"
#include "user/resources.hpp"
#include "user/user_internal.hpp"

namespace pf::user {
namespace {

int mul_div(int v, int mul, int div) {
    long long p = (long long)v * mul;
    long long q = (std::llabs(p) * 2 + div) / (2 * div);  // halves round away from zero
    return int(p < 0 ? -q : q);
}

// Windows treats a dialog item's id as its low word when looking it up.
bool same_id(int a, int b) { return WORD(a) == WORD(b); }


bool is_tab_stop_locked(HWND h) {
    Window* w = from_hwnd(h);
    return w && (w->style & WS_TABSTOP) && w->visible() && w->enabled() && !w->destroying;
}

HWND first_tab_stop_locked(HWND dlg) {
    Window* d = from_hwnd(dlg);
    if (!d) return nullptr;
    for (HWND c : d->children)
        if (is_tab_stop_locked(c)) return c;
    return nullptr;
}

// The next (or previous) tab stop after `from`, wrapping around.
HWND next_tab_stop_locked(HWND dlg, HWND from, bool previous) {
    Window* d = from_hwnd(dlg);
    if (!d || d->children.empty()) return nullptr;
    // The dialog's direct child that holds `from`.
    HWND at = from;
    while (at) {
        Window* w = from_hwnd(at);
        if (!w || !w->is_child()) {
            at = nullptr;
            break;
        }
        if (w->parent == dlg) break;
        at = w->parent;
    }
    const auto& kids = d->children;
    size_t n = kids.size();
    size_t start = n;
    for (size_t i = 0; i < n; ++i)
        if (kids[i] == at) start = i;
    for (size_t step = 1; step <= n; ++step) {
        size_t i = start == n ? (previous ? n - step : step - 1)
                              : (previous ? (start + n - step) % n : (start + step) % n);
        if (is_tab_stop_locked(kids[i])) return kids[i];
    }
    return nullptr;
}

// Focus to a control as the dialog manager gives it: an edit it lands in
// has all its text selected.
void focus_control_internal(HWND ctrl) {
    if (!ctrl) return;
    set_focus_internal(ctrl);
    if (send_internal(ctrl, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) send_internal(ctrl, EM_SETSEL, 0, -1);
}

std::string dlg_name(HWND hwnd) {
    Lock lock = lock_device();
    return handle_name(hwnd);
}

// Messages whose dialog-procedure result is the message's result.
bool returns_proc_result(UINT msg) {
    return msg == WM_INITDIALOG || msg == WM_CTLCOLORSTATIC || (msg >= 0x0132 && msg <= 0x0138) /* WM_CTLCOLOR* */;
}

// The dialog window class's procedure (Windows exports it as DefDlgProcW;
// nothing here calls it by name): below.
LRESULT CALLBACK dialog_class_proc(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam);

const bool registered = (register_system_class(dialog_class, dialog_class_proc), true);

// Ends dialog `dlg` with `result`: the owner is enabled again before the
// dialog hides, so that activation goes back to it.
bool end_dialog_internal(HWND dlg, INT_PTR result) {
    HWND owner = nullptr;
    bool enable = false;
    {
        Lock lock = lock_device();
        Window* w = from_hwnd(dlg);
        DialogState* s = w ? dialog_state_locked(*w) : nullptr;
        if (!s) {
            set_last_error(ERROR_INVALID_WINDOW_HANDLE);
            return false;
        }
        s->ended = true;
        s->result = result;
        owner = s->owner;
        enable = s->owner_disabled;
        s->owner_disabled = false;
        notify_all_locked();
    }
    if (enable && owner) enable_window_internal(owner, true);
    show_window_internal(dlg, SW_HIDE);
    return true;
}

struct Created {
    HWND hwnd = nullptr;
    std::string error;
};

Created create_dialog(HINSTANCE instance, const DialogTemplate& t, HWND owner, DLGPROC proc,
                      std::optional<WORD> template_id) {
    if (!t.menu.empty()) not_implemented("dialog templates with a menu");
    std::u16string cls = dialog_class;
    if (!t.cls.empty()) {
        if (t.cls.ordinal) not_implemented("dialog templates with a class ordinal");
        cls = t.cls.name;
    }
    // Template coordinates: dialog units from the owner's client origin.
    int cx = dlu_to_px_x(t.cx), cy = dlu_to_px_y(t.cy);
    int x = dlu_to_px_x(t.x), y = dlu_to_px_y(t.y);
    int frame_cx = 2 * border_width(t.style);
    int frame_cy = 2 * border_width(t.style) + caption_height(t.style);
    {
        Lock lock = lock_device();
        if (Window* o = from_hwnd(owner); o && !(t.style & DS_ABSALIGN)) {
            POINT origin = client_origin_locked(*o);
            x += origin.x;
            y += origin.y;
        }
    }
    if (t.style & DS_CENTER) {
        x = (handheld::screen_width - (cx + frame_cx)) / 2;
        y = (handheld::screen_height - handheld::taskbar_height - (cy + frame_cy)) / 2;
    }
    HWND dlg = create_window_internal(t.exstyle, cls, t.title, t.style & ~WS_VISIBLE, x, y, cx + frame_cx,
                                      cy + frame_cy, owner, nullptr, instance, nullptr);
    if (!dlg) return {nullptr, "the dialog window could not be created"};
    {
        Lock lock = lock_device();
        Window* w = from_hwnd(dlg);
        if (!w) return {nullptr, "the dialog window was destroyed while it was created"};
        auto s = std::make_shared<DialogState>();
        s->owner = owner;
        s->template_id = template_id;
        s->instance = instance;
        w->ext = s;
        w->dlgproc = proc;
    }
    for (size_t i = 0; i < t.items.size(); ++i) {
        const DialogItem& it = t.items[i];
        std::u16string text = it.text.ordinal ? std::u16string{char16_t(0xFFFF), char16_t(*it.text.ordinal)}
                                              : it.text.name;
        LPVOID data = it.creation_data.empty() ? nullptr : const_cast<unsigned char*>(it.creation_data.data());
        HWND c = create_window_internal(it.exstyle, it.class_name(), text, it.style | WS_CHILD, dlu_to_px_x(it.x),
                                        dlu_to_px_y(it.y), dlu_to_px_x(it.cx), dlu_to_px_y(it.cy), dlg,
                                        reinterpret_cast<HMENU>(static_cast<uintptr_t>(it.id)), instance, data);
        if (!c) {
            destroy_window_internal(dlg);
            return {nullptr, "control " + std::to_string(i) + " of class " + utf8(it.class_name().c_str()) +
                                 " could not be created"};
        }
    }
    return {dlg, {}};
}

INT_PTR run_dialog(HINSTANCE instance, const DialogTemplate& t, HWND owner, DLGPROC proc, LPARAM param,
                   std::optional<WORD> template_id) {
    register_controls();
    {
        Lock lock = lock_device();
        if (owner && !from_hwnd(owner)) {
            set_last_error(ERROR_INVALID_WINDOW_HANDLE);
            return -1;
        }
        // A control's dialog box belongs to the control's top-level window.
        if (owner) owner = top_level_of_locked(owner);
    }
    Created made = create_dialog(instance, t, owner, proc, template_id);
    if (!made.hwnd) {
        trace_as("device", "dialog not created: " + made.error);
        return -1;
    }
    HWND dlg = made.hwnd;
    HWND first;
    {
        Lock lock = lock_device();
        first = first_tab_stop_locked(dlg);
    }
    LRESULT init = send_internal(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
    std::shared_ptr<DialogState> state;
    bool disable_owner = false;
    {
        Lock lock = lock_device();
        Window* w = from_hwnd(dlg);
        if (w) state = std::dynamic_pointer_cast<DialogState>(w->ext);
        if (state && !state->ended) {
            if (Window* o = from_hwnd(owner); o && o->enabled()) {
                disable_owner = true;
                state->owner_disabled = true;
            }
            // Shown with the focus on the first tab stop, unless the
            // procedure said otherwise.
            if (init && first) w->last_focus = first;
        }
    }
    if (state && !state->ended) {
        if (disable_owner) enable_window_internal(owner, false);
        // Application-Defined Dialog Boxes (Windows CE): a background application's dialog stays
        // behind unless DS_SETFOREGROUND; its first tab stop takes the focus once it is activated.
        bool in_front = show_modal_popup_internal(dlg, (t.style & DS_SETFOREGROUND) != 0);
        if (in_front && init && first) focus_control_internal(first);
        run_modal_loop(
            [dlg, state] {
                Window* w = from_hwnd(dlg);
                return state->ended || !w || w->destroying;
            },
            [dlg](MSG& m) { return is_dialog_message_internal(dlg, m); });
    }
    INT_PTR result = 0;
    bool enable = false;
    {
        Lock lock = lock_device();
        if (state) {
            result = state->result;
            enable = state->owner_disabled;
            state->owner_disabled = false;
        }
    }
    if (enable) enable_window_internal(owner, true);
    destroy_window_internal(dlg);
    bool reactivate;
    {
        Lock lock = lock_device();
        Window* o = from_hwnd(owner);
        reactivate = o && o->visible() && o->enabled() && active_locked() != owner && in_foreground_locked(owner);
    }
    if (reactivate) activate_internal(owner);
    return result;
}

}  // namespace

HWND find_item_locked(HWND dlg, int id) {
    Window* d = from_hwnd(dlg);
    if (!d) return nullptr;
    for (HWND c : d->children)
        if (Window* w = from_hwnd(c); w && same_id(w->id, id)) return c;
    return nullptr;
}

int dlu_to_px_x(int x) { return mul_div(x, dialog_base_x, 4); }
int dlu_to_px_y(int y) { return mul_div(y, dialog_base_y, 8); }

DialogState* dialog_state_locked(const Window& w) { return extension_of<DialogState>(w); }

bool is_dialog_message_internal(HWND dlg, MSG& msg) {
    {
        Lock lock = lock_device();
        if (!msg.hwnd || !from_hwnd(dlg) || !is_descendant_locked(dlg, msg.hwnd)) return false;
    }
    auto command = [&](WORD id) {
        HWND item;
        {
            Lock lock = lock_device();
            item = find_item_locked(dlg, id);
        }
        send_internal(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item));
    };
    switch (msg.message) {
    case WM_KEYDOWN: {
        // Escape cancels from any control, even one that wants every key.
        if (msg.wParam == VK_ESCAPE) {
            command(IDCANCEL);
            return true;
        }
        LRESULT code = send_internal(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
        if (code & DLGC_WANTMESSAGE) break;
        if (msg.wParam == VK_TAB && !(code & DLGC_WANTTAB)) {
            bool shift;
            {
                Lock lock = lock_device();
                shift = current_queue_locked()->keys[VK_SHIFT] & 0x80;
            }
            send_internal(dlg, WM_NEXTDLGCTL, shift, 0);
            return true;
        }
        if (msg.wParam == VK_RETURN) {
            LRESULT def = send_internal(dlg, DM_GETDEFID, 0, 0);
            command(HIWORD(def) == DC_HASDEFID ? LOWORD(def) : WORD(IDOK));
            return true;
        }
        break;
    }
    }
    translate_internal(msg);
    dispatch_internal(msg);
    return true;
}

}  // namespace pf::user

// ---- the device API ----

using namespace pf;
using namespace pf::user;

extern "C" {

INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW hDialogTemplate, HWND hWndParent,
                                       DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    std::string head;
    {
        Lock lock = enter_call();
        head = "DialogBoxIndirectParamW(" + handle_name(hInstance) + ", " +
               (hDialogTemplate ? "template" : "NULL") + ", " + wnd_str_locked(hWndParent) + ", " +
               (lpDialogFunc ? "proc" : "NULL") + ", " + num_str(uintptr_t(dwInitParam)) + ")";
    }
    INT_PTR result = -1;
    if (!hDialogTemplate) {
        set_last_error(ERROR_INVALID_PARAMETER);
    } else {
        // A template from a module is bounded by its resource; one built in
        // memory by the caller is trusted up to 64 KiB, as far as it reads.
        auto p = reinterpret_cast<const unsigned char*>(hDialogTemplate);
        size_t size = 0x10000;
        std::optional<WORD> id;
        if (auto where = locate_resource_data(p)) {
            size = size_t(where->entry->data + where->entry->size - p);
            if (p == where->entry->data && where->entry->name.ordinal) id = where->entry->name.ordinal;
        }
        try {
            DialogTemplate t = parse_dialog(p, size);
            result = run_dialog(hInstance, t, hWndParent, lpDialogFunc, dwInitParam, id);
        } catch (const ResourceError& e) {
            trace_as("device", std::string("bad dialog template: ") + e.what());
            set_last_error(1812 /*ERROR_RESOURCE_DATA_NOT_FOUND*/);
        }
    }
    trace(head + " = " + std::to_string(result));
    return result;
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
    std::string name = dlg_name(hDlg);
    BOOL ok = end_dialog_internal(hDlg, nResult);
    trace(call_str("EndDialog", {name, id_str(int(nResult))}, bool_str(ok)));
    return ok;
}

}  // extern "C"

namespace pf::user {
namespace {

LRESULT CALLBACK dialog_class_proc(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
    DLGPROC proc = nullptr;
    {
        Lock lock = lock_device();
        if (Window* w = from_hwnd(hDlg)) proc = w->dlgproc;
    }
    if (proc) {
        INT_PTR r = proc(hDlg, Msg, wParam, lParam);
        if (returns_proc_result(Msg)) return r;
        if (r) return 0;  // handled; DWL_MSGRESULT is not kept on this device
    }
    switch (Msg) {
    case WM_INITDIALOG: return 0;
    case WM_CLOSE: {
        // The close button and WM_CLOSE cancel, as the Cancel button would.
        HWND item;
        {
            Lock lock = lock_device();
            item = find_item_locked(hDlg, IDCANCEL);
        }
        post_internal(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(item));
        return 0;
    }
    case WM_NEXTDLGCTL: {
        HWND target;
        {
            Lock lock = lock_device();
            if (LOWORD(lParam))
                target = reinterpret_cast<HWND>(wParam);
            else
                target = next_tab_stop_locked(hDlg, focus_locked(), wParam != 0);
        }
        focus_control_internal(target);
        return 0;
    }
    case DM_GETDEFID: {
        Lock lock = lock_device();
        if (Window* d = from_hwnd(hDlg))
            for (HWND c : d->children)
                if (Window* cw = from_hwnd(c); cw && class_name_locked(*cw) == u"BUTTON" &&
                                               (cw->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                    return MAKELONG(cw->id, DC_HASDEFID);
        return 0;
    }
    case WM_COMMAND: return 0;
    }
    return DefWindowProcW(hDlg, Msg, wParam, lParam);
}

}  // namespace
}  // namespace pf::user

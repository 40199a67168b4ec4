// Edit, static and button controls. Their text is the window text, so the
// device reads it without sending a message.
#include "user/controls.hpp"

#include <algorithm>
#include <utility>

#include "user/dialog.hpp"
#include "user/resources.hpp"
#include "user/user_internal.hpp"

namespace pf::user {
namespace {

struct StaticState : WindowExtension {
    HICON icon = nullptr;
    HICON loaded = nullptr;  // the icon it loaded from its resource, which goes with it
};

EditState* edit_of(HWND hwnd) {
    Window* w = from_hwnd(hwnd);
    return w ? edit_state_locked(*w) : nullptr;
}

// Notifications go to the parent as WM_COMMAND (id, code), control handle.
void notify_parent(HWND hwnd, WORD code) {
    HWND parent;
    int id;
    {
        Lock lock = lock_device();
        Window* w = from_hwnd(hwnd);
        if (!w || !w->is_child() || !from_hwnd(w->parent)) return;
        parent = w->parent;
        id = w->id;
    }
    send_internal(parent, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(hwnd));
}

bool in_dialog_locked(const Window& w) {
    Window* p = w.is_child() ? from_hwnd(w.parent) : nullptr;
    return p && dialog_state_locked(*p);
}

// ---- edit ----

// refused: nothing changed because the text would pass the limit; cut: a
// part went in, the rest would have passed it.
enum class Edit { unchanged, changed, refused, cut };

// Replaces the selection with text; with `whole` the text goes in entirely
// or not at all (a typed character, a typed line break), otherwise it is cut
// to what the limit leaves room for (EM_REPLACESEL).
Edit replace_selection_locked(Window& w, EditState& e, std::u16string_view text, bool whole) {
    size_t a = std::min(e.sel_start, e.sel_end), b = std::max(e.sel_start, e.sel_end);
    size_t kept = w.title.size() - (b - a);
    size_t room = e.limit > kept ? e.limit - kept : 0;
    bool cut = text.size() > room;
    if (cut) {
        if (whole) return Edit::refused;
        text = text.substr(0, room);
    }
    if (text.empty() && a == b) return cut ? Edit::refused : Edit::unchanged;
    w.title.replace(a, b - a, text);
    e.sel_start = e.sel_end = a + text.size();
    return cut ? Edit::cut : Edit::changed;
}

Edit delete_range_locked(Window& w, EditState& e, size_t a, size_t b) {
    if (a >= b) return Edit::unchanged;
    w.title.erase(a, b - a);
    e.sel_start = e.sel_end = a;
    return Edit::changed;
}

// A line break is one caret step, in both directions.
size_t step_back(const std::u16string& t, size_t pos) {
    if (pos == 0) return 0;
    if (pos >= 2 && t[pos - 2] == u'\r' && t[pos - 1] == u'\n') return pos - 2;
    return pos - 1;
}
size_t step_forward(const std::u16string& t, size_t pos) {
    if (pos >= t.size()) return t.size();
    if (pos + 1 < t.size() && t[pos] == u'\r' && t[pos + 1] == u'\n') return pos + 2;
    return pos + 1;
}

Edit edit_char_locked(Window& w, EditState& e, WCHAR c) {
    bool multi = w.style & ES_MULTILINE;
    if (w.style & ES_READONLY) return Edit::unchanged;
    size_t a = std::min(e.sel_start, e.sel_end), b = std::max(e.sel_start, e.sel_end);
    switch (c) {
    case u'\b':
        if (a != b) return delete_range_locked(w, e, a, b);
        return delete_range_locked(w, e, step_back(w.title, a), a);
    case u'\r':
        // In a dialog, a multi-line edit without ES_WANTRETURN leaves Return
        // to the dialog (see WM_KEYDOWN).
        if (!multi || (!(w.style & ES_WANTRETURN) && in_dialog_locked(w))) return Edit::unchanged;
        return replace_selection_locked(w, e, u"\r\n", true);
    case u'\t':
        if (!multi) return Edit::unchanged;
        return replace_selection_locked(w, e, u"\t", true);
    default:
        if (c < 0x20 || c == 0x7F) return Edit::unchanged;
        return replace_selection_locked(w, e, std::u16string_view(&c, 1), true);
    }
}

void after_edit(HWND hwnd, Edit result) {
    if (result == Edit::unchanged) return;
    if (result != Edit::refused) {
        Lock lock = lock_device();
        if (Window* w = from_hwnd(hwnd)) invalidate_locked(*w, true);
    }
    if (result != Edit::refused) notify_parent(hwnd, EN_CHANGE);
    if (result == Edit::refused || result == Edit::cut) notify_parent(hwnd, EN_MAXTEXT);
}

LRESULT CALLBACK edit_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_NCCREATE: {
        LRESULT r = DefWindowProcW(hwnd, msg, wp, lp);
        Lock lock = lock_device();
        if (Window* w = from_hwnd(hwnd)) {
            auto e = std::make_shared<EditState>();
            e->sel_start = e->sel_end = w->title.size();
            w->ext = e;
        }
        return r;
    }
    case WM_SETTEXT: {
        Lock lock = lock_device();
        Window* w = from_hwnd(hwnd);
        EditState* e = edit_of(hwnd);
        if (!w || !e) return FALSE;
        w->title = lp ? reinterpret_cast<const WCHAR*>(lp) : u"";
        e->sel_start = e->sel_end = w->title.size();
        invalidate_locked(*w, true);
        return TRUE;
    }
    case WM_CHAR: {
        Edit r;
        {
            Lock lock = lock_device();
            Window* w = from_hwnd(hwnd);
            EditState* e = edit_of(hwnd);
            if (!w || !e) return 0;
            r = edit_char_locked(*w, *e, WCHAR(wp));
            if (r == Edit::changed) note_landed_locked(*w->queue, WCHAR(wp));
        }
        after_edit(hwnd, r);
        return 0;
    }
    case WM_KEYDOWN: {
        Edit r = Edit::unchanged;
        bool default_command = false;
        HWND dialog = nullptr;
        {
            Lock lock = lock_device();
            Window* w = from_hwnd(hwnd);
            EditState* e = edit_of(hwnd);
            if (!w || !e) return 0;
            size_t len = w->title.size();
            switch (wp) {
            case VK_LEFT: e->sel_start = e->sel_end = step_back(w->title, std::min(e->sel_end, len)); break;
            case VK_RIGHT: e->sel_start = e->sel_end = step_forward(w->title, std::min(e->sel_end, len)); break;
            case VK_HOME: e->sel_start = e->sel_end = 0; break;
            case VK_END: e->sel_start = e->sel_end = len; break;
            case VK_DELETE:
                if (w->style & ES_READONLY) break;
                if (e->sel_start != e->sel_end)
                    r = delete_range_locked(*w, *e, std::min(e->sel_start, e->sel_end),
                                            std::max(e->sel_start, e->sel_end));
                else
                    r = delete_range_locked(*w, *e, e->sel_end, step_forward(w->title, e->sel_end));
                break;
            case VK_RETURN:
                if ((w->style & ES_MULTILINE) && !(w->style & ES_WANTRETURN) && in_dialog_locked(*w)) {
                    default_command = true;
                    dialog = w->parent;
                }
                break;
            }
        }
        after_edit(hwnd, r);
        // Only a dialog with a default button takes Return from here.
        LRESULT def = default_command ? send_internal(dialog, DM_GETDEFID, 0, 0) : 0;
        if (HIWORD(def) == DC_HASDEFID) {
            WORD id = LOWORD(def);
            HWND item = nullptr;
            {
                Lock lock = lock_device();
                if (Window* d = from_hwnd(dialog))
                    for (HWND c : d->children)
                        if (Window* cw = from_hwnd(c); cw && cw->id == id) item = c;
            }
            send_internal(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item));
        }
        return 0;
    }
    case WM_GETDLGCODE: {
        Lock lock = lock_device();
        Window* w = from_hwnd(hwnd);
        LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
        if (w && (w->style & ES_MULTILINE)) code |= DLGC_WANTALLKEYS;
        // Inside a dialog even a multi-line edit leaves Tab to the dialog
        // (focus moves on). It keeps Return, and presses the default button
        // itself when it does not want Return (see WM_KEYDOWN).
        const MSG* m = reinterpret_cast<const MSG*>(lp);
        if (m && m->message == WM_KEYDOWN && m->wParam == VK_TAB) code &= ~LRESULT(DLGC_WANTALLKEYS);
        return code;
    }
    case EM_GETSEL: {
        Lock lock = lock_device();
        EditState* e = edit_of(hwnd);
        if (!e) return 0;
        DWORD a = DWORD(std::min(e->sel_start, e->sel_end)), b = DWORD(std::max(e->sel_start, e->sel_end));
        if (wp) *reinterpret_cast<DWORD*>(wp) = a;
        if (lp) *reinterpret_cast<DWORD*>(lp) = b;
        return (a > 0xFFFF || b > 0xFFFF) ? -1 : LRESULT(MAKELONG(a, b));
    }
    case EM_SETSEL: {
        Lock lock = lock_device();
        Window* w = from_hwnd(hwnd);
        EditState* e = edit_of(hwnd);
        if (!w || !e) return 0;
        size_t len = w->title.size();
        auto start = static_cast<INT_PTR>(wp), end = static_cast<INT_PTR>(lp);
        if (start == -1) {
            // Deselects, leaving the caret where it is.
            e->sel_start = e->sel_end;
        } else {
            size_t s = std::min<size_t>(size_t(std::max<INT_PTR>(start, 0)), len);
            size_t t = end < 0 ? len : std::min<size_t>(size_t(end), len);
            e->sel_start = std::min(s, t);
            e->sel_end = std::max(s, t);
        }
        invalidate_locked(*w, false);
        return 0;
    }
    case EM_REPLACESEL: {
        Edit r;
        {
            Lock lock = lock_device();
            Window* w = from_hwnd(hwnd);
            EditState* e = edit_of(hwnd);
            if (!w || !e || !lp) return 0;
            r = replace_selection_locked(*w, *e, reinterpret_cast<const WCHAR*>(lp), false);
        }
        after_edit(hwnd, r);
        return 0;
    }
    case EM_LIMITTEXT: {
        Lock lock = lock_device();
        if (EditState* e = edit_of(hwnd)) e->limit = wp ? size_t(wp) : 0x7FFFFFFE;
        return 0;
    }
    case EM_GETLIMITTEXT: {
        Lock lock = lock_device();
        EditState* e = edit_of(hwnd);
        return e ? LRESULT(e->limit) : 0;
    }
    case EM_GETLINECOUNT: {
        Lock lock = lock_device();
        Window* w = from_hwnd(hwnd);
        if (!w) return 0;
        if (!(w->style & ES_MULTILINE)) return 1;
        LRESULT lines = 1;
        for (size_t i = 0; i + 1 < w->title.size(); ++i)
            if (w->title[i] == u'\r' && w->title[i + 1] == u'\n') ++lines;
        return lines;
    }
    case WM_SETFOCUS: notify_parent(hwnd, EN_SETFOCUS); return 0;
    case WM_KILLFOCUS: notify_parent(hwnd, EN_KILLFOCUS); return 0;
    case WM_LBUTTONDOWN: set_focus_internal(hwnd); return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// ---- static ----

LRESULT CALLBACK static_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_NCCREATE: {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        bool icon = cs && (DWORD(cs->style) & SS_TYPEMASK) == SS_ICON;
        LRESULT r = TRUE;
        // An icon static's "text" names its icon: 0xFFFF and an ordinal, or a name.
        if (!icon) r = DefWindowProcW(hwnd, msg, wp, lp);
        Lock lock = lock_device();
        if (Window* w = from_hwnd(hwnd)) w->ext = std::make_shared<StaticState>();
        return r;
    }
    case WM_CREATE: {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        if ((DWORD(cs->style) & SS_TYPEMASK) != SS_ICON || !cs->lpszName) return 0;
        ResId name;
        if (IS_INTRESOURCE(cs->lpszName))
            name = ResId::of(WORD(reinterpret_cast<uintptr_t>(cs->lpszName)));
        else if (cs->lpszName[0] == 0xFFFF)
            name = ResId::of(WORD(cs->lpszName[1]));
        else if (cs->lpszName[0])
            name = ResId::of(std::u16string(cs->lpszName));
        if (name.empty()) return 0;
        HICON icon = nullptr;
        try {
            icon = create_icon(cs->hInstance, name, 0, 0);
        } catch (const ResourceError& e) {
            trace_as("device", std::string("bad resource: ") + e.what());
        }
        if (!icon) return 0;
        auto info = icon_info(icon);
        {
            Lock lock = lock_device();
            Window* w = from_hwnd(hwnd);
            if (!w) return 0;
            if (auto* st = extension_of<StaticState>(*w)) st->icon = st->loaded = icon;
        }
        // An icon static takes the size of its icon.
        if (info && !(cs->style & SS_CENTERIMAGE))
            set_window_pos_internal(hwnd, 0, 0, info->width, info->height, SWP_NOMOVE | SWP_NOZORDER);
        return 0;
    }
    case WM_NCDESTROY: {
        HICON loaded = nullptr;
        {
            Lock lock = lock_device();
            Window* w = from_hwnd(hwnd);
            if (StaticState* s = w ? extension_of<StaticState>(*w) : nullptr) loaded = std::exchange(s->loaded, nullptr);
        }
        if (loaded) destroy_icon(loaded);
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    case STM_SETICON: {
        Lock lock = lock_device();
        Window* w = from_hwnd(hwnd);
        StaticState* s = w ? extension_of<StaticState>(*w) : nullptr;
        if (!s) return 0;
        HICON old = s->icon;
        s->icon = reinterpret_cast<HICON>(wp);
        invalidate_locked(*w, true);
        return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETICON: {
        Lock lock = lock_device();
        Window* w = from_hwnd(hwnd);
        return w ? reinterpret_cast<LRESULT>(static_icon_locked(*w)) : 0;
    }
    case WM_SETTEXT: {
        LRESULT r = DefWindowProcW(hwnd, msg, wp, lp);
        Lock lock = lock_device();
        if (Window* w = from_hwnd(hwnd)) invalidate_locked(*w, true);
        return r;
    }
    case WM_GETDLGCODE: return DLGC_STATIC;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// ---- button ----

LRESULT CALLBACK button_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_GETDLGCODE: {
        Lock lock = lock_device();
        Window* w = from_hwnd(hwnd);
        DWORD type = w ? w->style & BS_TYPEMASK : 0;
        if (type == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        if (type == BS_PUSHBUTTON) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        return DLGC_BUTTON;
    }
    case WM_KEYUP:
        if (wp != VK_SPACE) break;
        [[fallthrough]];
    case WM_LBUTTONUP:
    case BM_CLICK: notify_parent(hwnd, BN_CLICKED); return 0;
    case WM_LBUTTONDOWN: set_focus_internal(hwnd); return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// Registered when the platform library loads, so that every program finds
// the controls as Windows provides them.
const bool registered = (register_controls(), true);

}  // namespace

void register_controls() {
    register_system_class(u"EDIT", edit_proc);
    register_system_class(u"STATIC", static_proc);
    register_system_class(u"BUTTON", button_proc);
}

EditState* edit_state_locked(const Window& w) {
    return extension_of<EditState>(w);
}

HICON static_icon_locked(const Window& w) {
    StaticState* s = extension_of<StaticState>(w);
    return s ? s->icon : nullptr;
}

std::u16string class_name_locked(const Window& w) {
    if (!w.cls) return {};
    if (w.cls->proc == edit_proc) return u"EDIT";
    if (w.cls->proc == static_proc) return u"STATIC";
    if (w.cls->proc == button_proc) return u"BUTTON";
    return w.cls->name;
}

}  // namespace pf::user

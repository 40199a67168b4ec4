// Keyboard input: the keys typed on the device, bound to a window when its
// thread retrieves them; key state per thread; characters from key presses.
#include "input/input.hpp"
#include "core/ledger.hpp"
#include "user/controls.hpp"
#include "user/user_internal.hpp"

namespace pf::user {

namespace {

void note_key_retrieved(Queue& q, const MSG& m) {
    q.keys[m.wParam & 0xFF] = (m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN) ? 0x80 : 0;
}

// A press that types a character or acts, as the ledger counts them: not a
// modifier, not the Windows key the key output releases before each one.
bool is_character_press(const MSG& m) {
    if (m.message != WM_KEYDOWN && m.message != WM_SYSKEYDOWN) return false;
    switch (m.wParam) {
    case VK_SHIFT: case VK_CONTROL: case VK_MENU: case VK_LWIN: return false;
    default: return true;
    }
}
bool is_acting_key(WPARAM vk) { return vk == VK_RETURN || vk == VK_TAB || vk == VK_BACK || vk == VK_ESCAPE; }

// Whether the window could show a key, for the ledger.
ledger::Where where_locked(HWND hwnd) {
    Window* w = from_hwnd(hwnd);
    if (!w) return ledger::Where::no_focus;
    if (!effectively_visible_locked(hwnd)) return ledger::Where::hidden;
    for (Window* x = w; x; x = x->is_child() ? from_hwnd(x->parent) : nullptr)
        if (!x->enabled()) return ledger::Where::disabled;
    return extension_of<EditState>(*w) ? ledger::Where::field : ledger::Where::window;
}

// How the ledger names a window: a top-level one by its title, a control
// by its id within its top-level window.
std::string ledger_name_locked(HWND hwnd) {
    Window* w = from_hwnd(hwnd);
    if (!w) return "nowhere";
    if (!w->is_child()) return w->title.empty() ? handle_name(hwnd) : quoted(w->title.c_str());
    Window* top = from_hwnd(top_level_of_locked(hwnd));
    return (top ? quoted(top->title.c_str()) + " " : "") + "control " + std::to_string(w->id);
}

void note_delivered_locked(Queue* q, const MSG& m, std::size_t read, HWND target) {
    bool press = is_character_press(m);
    if (q && press) q->press_read = 0;
    if (read == 0) return;  // the operator's own keys
    ledger::Where where = target ? where_locked(target) : ledger::Where::no_focus;
    bool shown = where == ledger::Where::field || where == ledger::Where::window;
    bool acts = press && is_acting_key(m.wParam) && shown;
    ledger::delivered_locked(read, target, ledger_name_locked, where, press, acts);
    // Only a character typed where the operator sees it lands; one that
    // changes a hidden field's text is lost all the same.
    if (q && press) {
        q->press_read = shown ? read : 0;
        q->press_acted = acts;
    }
}

// The window a key message goes to when it is retrieved: the focus, or the
// active window when nothing has the focus, as long as it belongs to the
// retrieving thread. Keys are bound here rather than when they are typed, so
// a focus change in the middle of a burst (Tab in a dialog, a box opening)
// redirects the rest of it.
HWND key_window_locked(const Queue& q) {
    auto& s = state();
    for (HWND h : {s.focus, s.active})
        if (Window* w = from_hwnd(h); w && w->queue.get() == &q) return h;
    return nullptr;
}

// EnableWindow (Windows CE 5.0): a disabled window "does not receive input
// such as mouse clicks and key presses", nor does a child of one.
bool takes_keys_locked(HWND hwnd) {
    for (Window* a = from_hwnd(hwnd); a; a = a->is_child() ? from_hwnd(a->parent) : nullptr)
        if (!a->enabled()) return false;
    return true;
}

// A key joins the input of the thread whose window has the focus (or is
// active) now; which of its windows receives it is decided at retrieval.
void on_key_locked(const input::KeyEvent& e) {
    auto& s = state();
    Window* w = from_hwnd(s.focus ? s.focus : s.active);
    bool alt_key = e.vk == VK_MENU || e.vk == 0xA4 || e.vk == 0xA5;
    bool sys = (e.alt || alt_key) && !e.ctrl;
    UINT msg = e.down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
    LPARAM lp = 1;
    if (e.flags & KEYEVENTF_EXTENDEDKEY) lp |= 1 << 24;
    if (e.alt) lp |= 1 << 29;
    if (!e.down) lp |= LPARAM(3) << 30;
    MSG m{nullptr, msg, e.vk, lp, DWORD(device_time_ms()), {}};
    if (!w || !w->queue->alive) {
        note_delivered_locked(nullptr, m, e.read, nullptr);
        return;
    }
    w->queue->input.push_back({m, e.read});
    notify_all_locked();
}

struct KeySink {
    KeySink() {
        Lock lock(device_mutex());
        input::set_key_sink_locked(on_key_locked);
    }
} key_sink;

}  // namespace

std::optional<MSG> take_input_locked(Queue& q, HWND filter, UINT lo, UINT hi, bool remove) {
    if (q.input.empty()) return std::nullopt;
    HWND target = key_window_locked(q);
    if (!target || !takes_keys_locked(target)) {
        // No window of this thread can take keys: they are dropped, and the
        // thread's key state still follows them.
        for (const auto& k : q.input) {
            note_key_retrieved(q, k.msg);
            note_delivered_locked(&q, k.msg, k.read, target);
        }
        q.input.clear();
        return std::nullopt;
    }
    for (auto it = q.input.begin(); it != q.input.end(); ++it) {
        MSG m = it->msg;
        m.hwnd = target;
        if (!matches(m, filter, lo, hi)) continue;
        if (remove) {
            note_delivered_locked(&q, m, it->read, target);
            q.input.erase(it);
            note_key_retrieved(q, m);
        }
        return m;
    }
    return std::nullopt;
}

void note_landed_locked(Queue& q, WCHAR ch) {
    ledger::landed_locked(q.press_read, ch, q.press_acted);
    q.press_read = 0;
}

bool translate_internal(const MSG& m) {
    if (m.message != WM_KEYDOWN && m.message != WM_SYSKEYDOWN) return false;
    Lock lock = enter_call();
    auto q = current_queue_locked();
    auto ch = input::layout_char(BYTE(m.wParam), (q->keys[VK_SHIFT] & 0x80) != 0);
    if (!ch) return false;
    UINT msg = m.message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
    q->posted.push_back(MSG{m.hwnd, msg, WPARAM(*ch), m.lParam, m.time, {}});
    notify_all_locked();
    return true;
}

}  // namespace pf::user

using namespace pf;
using namespace pf::user;

// The calling thread's key state as of the last key message it retrieved,
// not the keyboard's state now: a window reading Shift while handling a key
// sees the Shift that came with that key.
SHORT WINAPI GetKeyState(int nVirtKey) {
    Lock lock = enter_call();
    SHORT s = (current_queue_locked()->keys[BYTE(nVirtKey)] & 0x80) ? SHORT(0x8000) : SHORT(0);
    if (trace_wanted(true)) trace_poll(call_str("GetKeyState", {hex(BYTE(nVirtKey), 2)}, hex(static_cast<USHORT>(s), 4)));
    return s;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    BOOL r = msg && translate_internal(*msg);
    if (!trace_wanted(true)) return r;
    Lock lock = lock_device();
    trace_poll(call_str("TranslateMessage", {msg_str_locked(msg)}, bool_str(r)));
    return r;
}

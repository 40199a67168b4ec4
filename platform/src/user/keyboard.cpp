// Keyboard input: the keys typed on the device, bound to a window when its
// thread retrieves them; key state per thread; characters from key presses.
#include "input/input.hpp"
#include "user/user_internal.hpp"

namespace pf::user {

namespace {

void note_key_retrieved(Queue& q, const MSG& m) {
    q.keys[m.wParam & 0xFF] = (m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN) ? 0x80 : 0;
}

// The window a key message goes to when it is retrieved: the focus, or the
// active window when nothing has the focus, as long as it belongs to the
// retrieving thread. Keys are bound here rather than when they are typed, so
// a focus change in the middle of a burst (Tab in a dialog, a box opening)
// redirects the rest of it. EnableWindow (Windows CE 5.0): a disabled
// window "does not receive input such as mouse clicks and key presses", nor
// does a child of one: no target then.
HWND key_target_locked(const Queue& q) {
    auto& s = state();
    for (HWND h : {s.focus, s.active}) {
        Window* w = from_hwnd(h);
        if (!w || w->queue.get() != &q) continue;
        for (Window* a = w; a; a = a->is_child() ? from_hwnd(a->parent) : nullptr)
            if (!a->enabled()) return nullptr;
        return h;
    }
    return nullptr;
}

// A key joins the input of the thread whose window has the focus (or is
// active) now; which of its windows receives it is decided at retrieval.
void on_key_locked(const input::KeyEvent& e) {
    auto& s = state();
    Window* w = from_hwnd(s.focus ? s.focus : s.active);
    if (!w || !w->queue->alive) return;
    bool alt_key = e.vk == VK_MENU || e.vk == 0xA4 || e.vk == 0xA5;
    bool sys = (e.alt || alt_key) && !e.ctrl;
    UINT msg = e.down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
    LPARAM lp = 1;
    if (e.flags & KEYEVENTF_EXTENDEDKEY) lp |= 1 << 24;
    if (e.alt) lp |= 1 << 29;
    if (!e.down) lp |= LPARAM(3) << 30;
    w->queue->input.push_back(MSG{nullptr, msg, e.vk, lp, DWORD(device_time_ms()), {}});
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
    HWND target = key_target_locked(q);
    if (!target) {
        // No window of this thread can take keys any more: they are dropped,
        // and the thread's key state still follows them.
        for (const MSG& m : q.input) note_key_retrieved(q, m);
        q.input.clear();
        return std::nullopt;
    }
    for (auto it = q.input.begin(); it != q.input.end(); ++it) {
        MSG m = *it;
        m.hwnd = target;
        if (!matches(m, filter, lo, hi)) continue;
        if (remove) {
            q.input.erase(it);
            note_key_retrieved(q, m);
        }
        return m;
    }
    return std::nullopt;
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

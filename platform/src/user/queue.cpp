// Message queues: one per device thread. Sent, posted and key messages,
// the message loop calls, keyboard input and accelerators, modal loops.
#include <algorithm>

#include "input/input.hpp"
#include "user/resources.hpp"
#include "user/user_internal.hpp"

namespace pf::user {

std::shared_ptr<Queue> current_queue_locked() {
    Thread& t = current_thread();
    if (!t.user_state) {
        auto q = std::make_shared<Queue>();
        q->process = t.process;
        q->thread = t.ordinal;
        t.user_state = q;
        state().queues.push_back(q);
    }
    return std::static_pointer_cast<Queue>(t.user_state);
}

bool queue_ready_locked(const Queue& q) {
    return !q.sent.empty() || !q.posted.empty() || !q.input.empty() || q.quit || paint_candidate_locked(q);
}

namespace {


bool matches(const MSG& m, HWND filter, UINT lo, UINT hi) {
    if (filter && m.hwnd != filter && !is_descendant_locked(filter, m.hwnd)) return false;
    if (lo == 0 && hi == 0) return true;
    return m.message >= lo && m.message <= hi;
}

std::optional<MSG> take_from(std::deque<MSG>& from, HWND filter, UINT lo, UINT hi, bool remove) {
    for (auto it = from.begin(); it != from.end(); ++it) {
        if (!matches(*it, filter, lo, hi)) continue;
        MSG m = *it;
        if (remove) from.erase(it);
        return m;
    }
    return std::nullopt;
}

void note_key_retrieved(Queue& q, const MSG& m) {
    q.keys[m.wParam & 0xFF] = (m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN) ? 0x80 : 0;
}

// The window a key message goes to when it is retrieved: the focus, or the
// active window when nothing has the focus, as long as it belongs to the
// retrieving thread. Keys are bound here rather than when they are typed, so
// a focus change in the middle of a burst (Tab in a dialog, a box opening)
// redirects the rest of it.
HWND key_target_locked(const Queue& q) {
    auto& s = state();
    for (HWND h : {s.focus, s.active})
        if (Window* w = from_hwnd(h); w && w->queue.get() == &q) return h;
    return nullptr;
}

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

// The next message GetMessage would return, sent messages aside: posted
// messages, then key input, then the quit, then a paint.
std::optional<MSG> take_next_locked(Queue& q, HWND filter, UINT lo, UINT hi, bool remove) {
    auto m = take_from(q.posted, filter, lo, hi, remove);
    if (!m) m = take_input_locked(q, filter, lo, hi, remove);
    if (!m && q.quit && (lo == 0 || (WM_QUIT >= lo && WM_QUIT <= hi))) {
        m = MSG{nullptr, WM_QUIT, WPARAM(q.quit_code), 0, 0, {}};
        if (remove) q.quit = false;
    }
    if (!m && (lo == 0 || (WM_PAINT >= lo && WM_PAINT <= hi))) {
        HWND h = paint_candidate_locked(q);
        if (h && (!filter || is_descendant_locked(filter, h))) m = MSG{h, WM_PAINT, 0, 0, 0, {}};
    }
    if (m) m->time = DWORD(device_time_ms());
    return m;
}

// Handles the first message another thread sent to this one.
void handle_one_sent_locked(Lock& lock, Queue& q) {
    auto sm = q.sent.front();
    q.sent.pop_front();
    WNDPROC proc = nullptr;
    if (Window* w = from_hwnd(sm->hwnd)) proc = w->proc;
    lock.unlock();
    LRESULT r = 0;
    try {
        if (proc) r = proc(sm->hwnd, sm->msg, sm->wp, sm->lp);
    } catch (...) {
        lock.lock();
        sm->done = true;
        notify_all_locked();
        throw;
    }
    lock.lock();
    sm->result = r;
    sm->done = true;
    notify_all_locked();
}

// GetMessage and PeekMessage: handles sent messages, then takes the next one.
bool get_message(Lock& lock, MSG& out, HWND filter, UINT lo, UINT hi, bool remove, bool block) {
    check_alive_locked();
    auto q = current_queue_locked();
    for (;;) {
        if (!q->sent.empty()) {
            handle_one_sent_locked(lock, *q);
            continue;
        }
        if (auto m = take_next_locked(*q, filter, lo, hi, remove)) {
            out = *m;
            return true;
        }
        if (!block) return false;
        wait_until(lock, [&] { return queue_ready_locked(*q); }, std::nullopt);
    }
}

std::string msg_str_locked(const MSG* m) {
    if (!m) return "NULL";
    std::string wp = num_str(m->wParam);
    if ((m->message == WM_CHAR || m->message == WM_SYSCHAR) && m->wParam >= 0x20 && m->wParam < 0x7F)
        wp = std::string("'") + char(m->wParam) + "'";
    return "{" + wnd_str_locked(m->hwnd) + ", " + msg_name(m->message) + ", " + wp + ", " +
           num_str(uintptr_t(m->lParam)) + "}";
}

// ---- keyboard ----

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

// ---- accelerators ----

struct AccelTable {
    std::vector<ACCEL> entries;
};
std::vector<std::unique_ptr<AccelTable>>& accel_tables() {
    static auto& tables = *new std::vector<std::unique_ptr<AccelTable>>;
    return tables;
}

AccelTable* find_accel_locked(HACCEL h) {
    for (auto& t : accel_tables())
        if (reinterpret_cast<HACCEL>(t.get()) == h) return t.get();
    return nullptr;
}

// The command of the table entry that msg triggers, if any.
std::optional<WORD> match_accel_locked(const AccelTable& t, const MSG& m, const Queue& q) {
    bool shift = q.keys[VK_SHIFT] & 0x80, ctrl = q.keys[VK_CONTROL] & 0x80;
    bool alt = (q.keys[VK_MENU] & 0x80) || m.message == WM_SYSKEYDOWN || m.message == WM_SYSCHAR;
    for (const ACCEL& a : t.entries) {
        if (a.fVirt & FVIRTKEY) {
            if (m.message != WM_KEYDOWN && m.message != WM_SYSKEYDOWN) continue;
            if (a.key != (m.wParam & 0xFF)) continue;
            if (bool(a.fVirt & FSHIFT) != shift || bool(a.fVirt & FCONTROL) != ctrl || bool(a.fVirt & FALT) != alt)
                continue;
            return a.cmd;
        }
        // A character: Alt entries match WM_SYSCHAR, the others WM_CHAR.
        if (m.message != WM_CHAR && m.message != WM_SYSCHAR) continue;
        if (a.key != m.wParam) continue;
        if (bool(a.fVirt & FALT) != (m.message == WM_SYSCHAR)) continue;
        return a.cmd;
    }
    return std::nullopt;
}

struct Init {
    Init() {
        {
            Lock lock(device_mutex());
            input::set_key_sink_locked(on_key_locked);
        }
        add_process_end_hook([](Process* p) {
            Lock lock(device_mutex());
            auto& s = state();
            for (auto& wq : s.queues)
                if (auto q = wq.lock(); q && q->process == p) q->alive = false;
            // The process's windows go without a message: its code is gone.
            std::vector<HWND> gone;
            for (auto& [h, w] : s.windows)
                if (w->process == p) gone.push_back(h);
            bool lost_active = false;
            for (HWND h : gone) {
                if (s.active == h) lost_active = true;
                if (s.focus == h) s.focus = nullptr;
            }
            // Children first, so that no parent is gone before its children.
            std::sort(gone.begin(), gone.end(), [](HWND a, HWND b) {
                auto depth = [](HWND h) {
                    int d = 0;
                    for (Window* w = from_hwnd(h); w && w->is_child(); w = from_hwnd(w->parent)) ++d;
                    return d;
                };
                return depth(a) > depth(b);
            });
            for (HWND h : gone) remove_window_locked(h);
            if (lost_active || !from_hwnd(s.active)) {
                Outbox out;
                s.active = nullptr;
                activate_next_locked(nullptr, out);
                deliver_as_notifications_locked(out);
            }
            std::erase_if(s.classes, [p](auto& c) { return c->process == p; });
            notify_all_locked();
        });
    }
} init;

}  // namespace

// ---- sending and posting ----

LRESULT call_wndproc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    WNDPROC proc;
    {
        Lock lock = lock_device();
        Window* w = from_hwnd(hwnd);
        if (!w || !w->proc) return 0;
        proc = w->proc;
    }
    return proc(hwnd, msg, wp, lp);
}

LRESULT send_internal(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Lock lock = enter_call();
    Window* w = from_hwnd(hwnd);
    if (!w) {
        set_last_error(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    auto me = current_queue_locked();
    if (w->queue == me) {
        WNDPROC proc = w->proc;
        lock.unlock();
        return proc ? proc(hwnd, msg, wp, lp) : 0;
    }
    auto target = w->queue;
    if (!target->alive) return 0;
    auto sm = std::make_shared<SentMessage>();
    sm->hwnd = hwnd;
    sm->msg = msg;
    sm->wp = wp;
    sm->lp = lp;
    target->sent.push_back(sm);
    notify_all_locked();
    for (;;) {
        // While waiting, the sender handles what is sent to it.
        wait_until(lock, [&] { return sm->done || !target->alive || !me->sent.empty(); }, std::nullopt);
        if (sm->done) return sm->result;
        if (!target->alive) return 0;
        handle_one_sent_locked(lock, *me);
    }
}

void send_notify_locked(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* w = from_hwnd(hwnd);
    if (!w || !w->queue->alive) return;
    auto sm = std::make_shared<SentMessage>();
    sm->hwnd = hwnd;
    sm->msg = msg;
    sm->wp = wp;
    sm->lp = lp;
    sm->wait = false;
    w->queue->sent.push_back(sm);
    notify_all_locked();
}

void send_notify_internal(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Outbox out;
    out.add(hwnd, msg, wp, lp);
    deliver(out);
}

bool post_locked(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    std::shared_ptr<Queue> q;
    if (!hwnd) {
        q = current_queue_locked();
    } else {
        Window* w = from_hwnd(hwnd);
        if (!w) {
            set_last_error(ERROR_INVALID_WINDOW_HANDLE);
            return false;
        }
        q = w->queue;
    }
    if (!q->alive) return false;
    q->posted.push_back(MSG{hwnd, msg, wp, lp, DWORD(device_time_ms()), {}});
    notify_all_locked();
    return true;
}

bool post_internal(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Lock lock = enter_call();
    return post_locked(hwnd, msg, wp, lp);
}

void post_quit_internal(int code) {
    Lock lock = enter_call();
    auto q = current_queue_locked();
    q->quit = true;
    q->quit_code = code;
    notify_all_locked();
}

LRESULT dispatch_internal(const MSG& m) {
    WNDPROC proc;
    {
        Lock lock = enter_call();
        Window* w = from_hwnd(m.hwnd);
        if (!w || w->queue != current_queue_locked()) return 0;
        proc = w->proc;
    }
    if (!proc) return 0;
    LRESULT r = proc(m.hwnd, m.message, m.wParam, m.lParam);
    if (m.message == WM_PAINT) {
        // A paint the procedure left unvalidated comes back, as on Windows.
        Lock lock = lock_device();
        if (Window* w = from_hwnd(m.hwnd)) w->in_paint = false;
    }
    return r;
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

// ---- modal loops ----

Pump pump_one(MSG& msg, const std::function<bool()>& stop_locked) {
    Lock lock = enter_call();
    auto q = current_queue_locked();
    ++q->modal_depth;
    struct Depth {
        Queue& q;
        ~Depth() { --q.modal_depth; }
    } depth{*q};
    for (;;) {
        if (!q->sent.empty()) {
            handle_one_sent_locked(lock, *q);
            continue;
        }
        if (stop_locked && stop_locked()) return Pump::stopped;
        if (auto m = take_next_locked(*q, nullptr, 0, 0, true)) {
            msg = *m;
            return msg.message == WM_QUIT ? Pump::quit : Pump::message;
        }
        wait_until(lock, [&] { return queue_ready_locked(*q) || (stop_locked && stop_locked()); }, std::nullopt);
    }
}

bool run_modal_loop(const std::function<bool()>& stop_locked, const std::function<bool(MSG&)>& filter) {
    for (;;) {
        MSG msg;
        switch (pump_one(msg, stop_locked)) {
        case Pump::stopped: return true;
        case Pump::quit: post_quit_internal(int(msg.wParam)); return false;
        case Pump::message: break;
        }
        if (filter && filter(msg)) continue;
        translate_internal(msg);
        dispatch_internal(msg);
    }
}

}  // namespace pf::user

// ---- the device API ----

using namespace pf;
using namespace pf::user;

BOOL WINAPI GetMessageW(LPMSG msg, HWND hwnd, UINT lo, UINT hi) {
    Lock lock = lock_device();
    MSG m{};
    get_message(lock, m, hwnd, lo, hi, true, true);
    if (msg) *msg = m;
    BOOL r = m.message != WM_QUIT;
    if (trace_wanted(true))
        trace_poll("GetMessageW(" + msg_str_locked(&m) + ", " + handle_name(hwnd) + ", " + std::to_string(lo) +
                   ", " + std::to_string(hi) + ") = " + bool_str(r));
    return r;
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND hwnd, UINT lo, UINT hi, UINT remove) {
    Lock lock = lock_device();
    MSG m{};
    BOOL r = get_message(lock, m, hwnd, lo, hi, (remove & PM_REMOVE) != 0, false);
    if (r && msg) *msg = m;
    if (trace_wanted(true))
        trace_poll("PeekMessageW(" + (r ? msg_str_locked(&m) : std::string("-")) + ", " + handle_name(hwnd) + ", " +
                   std::to_string(lo) + ", " + std::to_string(hi) + ", " +
                   (remove & PM_REMOVE ? "PM_REMOVE" : "PM_NOREMOVE") + ") = " + bool_str(r));
    return r;
}

BOOL WINAPI PostMessageW(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Lock lock = enter_call();
    BOOL r = post_locked(hwnd, msg, wp, lp);
    trace("PostMessageW(" + wnd_str_locked(hwnd) + ", " + msg_name(msg) + ", " + num_str(wp) + ", " +
          num_str(uintptr_t(lp)) + ") = " + bool_str(r));
    return r;
}

LRESULT WINAPI SendMessageW(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    std::string w;
    {
        Lock lock = enter_call();
        w = wnd_str_locked(hwnd);
    }
    LRESULT r = send_internal(hwnd, msg, wp, lp);
    trace("SendMessageW(" + w + ", " + msg_name(msg) + ", " + num_str(wp) + ", " + num_str(uintptr_t(lp)) + ") = " +
          std::to_string(r));
    return r;
}

void WINAPI PostQuitMessage(int code) {
    post_quit_internal(code);
    trace("PostQuitMessage(" + std::to_string(code) + ")");
}

// The calling thread's key state as of the last key message it retrieved,
// not the keyboard's state now: a window reading Shift while handling a key
// sees the Shift that came with that key.
SHORT WINAPI GetKeyState(int nVirtKey) {
    Lock lock = enter_call();
    SHORT s = (current_queue_locked()->keys[BYTE(nVirtKey)] & 0x80) ? SHORT(0x8000) : SHORT(0);
    if (trace_wanted(true)) trace_poll("GetKeyState(" + hex(BYTE(nVirtKey), 2) + ") = " + hex(static_cast<USHORT>(s), 4));
    return s;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    BOOL r = msg && translate_internal(*msg);
    if (!trace_wanted(true)) return r;
    Lock lock = lock_device();
    trace_poll("TranslateMessage(" + msg_str_locked(msg) + ") = " + bool_str(r));
    return r;
}

LRESULT WINAPI DispatchMessageW(const MSG* msg) {
    std::string m;
    bool wanted = trace_wanted(true);
    if (wanted) {
        Lock lock = lock_device();
        m = msg_str_locked(msg);
    }
    LRESULT r = msg ? dispatch_internal(*msg) : 0;
    if (wanted) trace_poll("DispatchMessageW(" + m + ") = " + std::to_string(r));
    return r;
}

HACCEL WINAPI LoadAcceleratorsW(HINSTANCE instance, LPCWSTR name) {
    auto table = load_accelerator_table(instance, ResId::from(name));
    HACCEL h = nullptr;
    Lock lock = enter_call();
    if (!table) {
        set_last_error(ERROR_RESOURCE_NAME_NOT_FOUND);
    } else {
        auto t = std::make_unique<AccelTable>();
        t->entries = std::move(*table);
        h = reinterpret_cast<HACCEL>(t.get());
        accel_tables().push_back(std::move(t));
        name_handle_locked(h, "haccel#" + std::to_string(accel_tables().size()));
    }
    trace("LoadAcceleratorsW(" + handle_name(instance) + ", " + ResId::from(name).str() + ") = " + handle_name(h));
    return h;
}

int WINAPI TranslateAcceleratorW(HWND hwnd, HACCEL haccel, LPMSG msg) {
    std::optional<WORD> cmd;
    std::string line;
    {
        Lock lock = enter_call();
        AccelTable* t = find_accel_locked(haccel);
        Window* w = from_hwnd(hwnd);
        if (t && msg && w && w->enabled()) cmd = match_accel_locked(*t, *msg, *current_queue_locked());
        if (cmd || trace_wanted(true))
            line = "TranslateAcceleratorW(" + wnd_str_locked(hwnd) + ", " + handle_name(haccel) + ", " +
               msg_str_locked(msg) + ") = " + (cmd ? "1" : "0");
    }
    if (!cmd) {
        trace_poll(line);
        return 0;
    }
    trace(line);
    send_internal(hwnd, WM_COMMAND, MAKEWPARAM(*cmd, 1), 0);
    return 1;
}

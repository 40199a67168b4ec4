// Message queues, one per thread: sending, posting, retrieving and
// dispatching messages, and the modal loops of dialogs, boxes and popups.
#include "user/user_internal.hpp"

namespace pf::user {

namespace {

std::optional<MSG> take_from(std::deque<MSG>& from, HWND filter, UINT lo, UINT hi, bool remove) {
    for (auto it = from.begin(); it != from.end(); ++it) {
        if (!matches(*it, filter, lo, hi)) continue;
        MSG m = *it;
        if (remove) from.erase(it);
        return m;
    }
    return std::nullopt;
}

// GetMessage and PeekMessage: handles sent messages, then takes the next one.
bool get_message(Lock& lock, MSG& out, HWND filter, UINT lo, UINT hi, bool remove, bool block) {
    check_alive_locked();
    current_thread().process->took_messages = true;
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

}  // namespace

std::shared_ptr<Queue> current_queue_locked() {
    Thread& t = current_thread();
    if (!t.user_state) {
        auto q = std::make_shared<Queue>();
        q->process = t.process;
        q->thread = t.ordinal;
        t.user_state = q;
        state().queues.push_back(q);
    }
    return t.user_state;
}

bool queue_ready_locked(const Queue& q) {
    return !q.sent.empty() || !q.posted.empty() || !q.input.empty() || q.quit || paint_candidate_locked(q);
}

bool matches(const MSG& m, HWND filter, UINT lo, UINT hi) {
    if (filter && m.hwnd != filter && !is_descendant_locked(filter, m.hwnd)) return false;
    if (lo == 0 && hi == 0) return true;
    return m.message >= lo && m.message <= hi;
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

std::string msg_str_locked(const MSG* m) {
    if (!m) return "NULL";
    std::string wp = num_str(m->wParam);
    if ((m->message == WM_CHAR || m->message == WM_SYSCHAR) && m->wParam >= 0x20 && m->wParam < 0x7F)
        wp = std::string("'") + char(m->wParam) + "'";
    return "{" + wnd_str_locked(m->hwnd) + ", " + msg_name(m->message) + ", " + wp + ", " +
           num_str(uintptr_t(m->lParam)) + "}";
}

void deliver(Outbox& out) {
    for (auto& item : out.items) {
        WNDPROC proc = nullptr;
        {
            Lock lock = lock_device();
            Window* w = from_hwnd(item.hwnd);
            if (!w) continue;
            if (w->queue != current_queue_locked()) {
                send_notify_locked(item.hwnd, item.msg, item.wp, item.lp);
                continue;
            }
            proc = w->proc;
        }
        proc(item.hwnd, item.msg, item.wp, item.lp);
    }
    out.items.clear();
}

void deliver_as_notifications_locked(Outbox& out) {
    for (auto& item : out.items) send_notify_locked(item.hwnd, item.msg, item.wp, item.lp);
    out.items.clear();
}

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

Pump pump_one(MSG& msg, const std::function<bool()>& stop_locked) {
    Lock lock = enter_call();
    // A box's or dialog's modal loop asks for messages as GetMessage does.
    current_thread().process->took_messages = true;
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

using namespace pf;
using namespace pf::user;

BOOL WINAPI GetMessageW(LPMSG msg, HWND hwnd, UINT lo, UINT hi) {
    Lock lock = lock_device();
    MSG m{};
    get_message(lock, m, hwnd, lo, hi, true, true);
    if (msg) *msg = m;
    BOOL r = m.message != WM_QUIT;
    if (trace_wanted(true))
        trace_poll(call_str("GetMessageW", {msg_str_locked(&m), handle_name(hwnd), std::to_string(lo), std::to_string(hi)}, bool_str(r)));
    return r;
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND hwnd, UINT lo, UINT hi, UINT remove) {
    Lock lock = lock_device();
    MSG m{};
    BOOL r = get_message(lock, m, hwnd, lo, hi, (remove & PM_REMOVE) != 0, false);
    if (r && msg) *msg = m;
    if (trace_wanted(true))
        trace_poll(call_str("PeekMessageW", {(r ? msg_str_locked(&m) : std::string("-")), handle_name(hwnd), std::to_string(lo), std::to_string(hi), (remove & PM_REMOVE ? "PM_REMOVE" : "PM_NOREMOVE")}, bool_str(r)));
    return r;
}

BOOL WINAPI PostMessageW(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Lock lock = enter_call();
    BOOL r = post_locked(hwnd, msg, wp, lp);
    trace(call_str("PostMessageW", {wnd_str_locked(hwnd), msg_name(msg), num_str(wp), num_str(uintptr_t(lp))}, bool_str(r)));
    return r;
}

LRESULT WINAPI SendMessageW(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    std::string w;
    {
        Lock lock = enter_call();
        w = wnd_str_locked(hwnd);
    }
    LRESULT r = send_internal(hwnd, msg, wp, lp);
    trace(call_str("SendMessageW", {w, msg_name(msg), num_str(wp), num_str(uintptr_t(lp))}, std::to_string(r)));
    return r;
}

void WINAPI PostQuitMessage(int code) {
    post_quit_internal(code);
    trace(call_str("PostQuitMessage", {std::to_string(code)}));
}

LRESULT WINAPI DispatchMessageW(const MSG* msg) {
    std::string m;
    bool wanted = trace_wanted(true);
    if (wanted) {
        Lock lock = lock_device();
        m = msg_str_locked(msg);
    }
    LRESULT r = msg ? dispatch_internal(*msg) : 0;
    if (wanted) trace_poll(call_str("DispatchMessageW", {m}, std::to_string(r)));
    return r;
}

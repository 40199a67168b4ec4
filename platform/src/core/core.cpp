#include "core.hpp"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <thread>
#include <unordered_map>

namespace pf {

// Device state is created on first use and never destroyed: detached device
// threads, and device objects with static lifetime, may still reach it while
// the host process exits.
namespace {

std::condition_variable& changed() {
    static auto& cv = *new std::condition_variable;
    return cv;
}

struct Registry {
    std::vector<std::unique_ptr<Process>> processes;
    std::vector<std::shared_ptr<Thread>> threads;  // every device thread still alive
    std::atomic<int> next_thread{1};
    int next_process = 1;
    std::vector<std::function<bool()>> quiet_conditions;
    Process* device = nullptr;

    Registry() {
        auto p = std::make_unique<Process>();
        p->id = next_process++;
        p->party = "device";
        device = p.get();
        processes.push_back(std::move(p));
    }
};

Registry& registry() {
    static auto& r = *new Registry;
    return r;
}

thread_local std::shared_ptr<Thread> t_current;

// Device time = device_anchor + (host now - host_anchor) * scale.
struct TimeBase {
    std::mutex m;
    Clock::time_point host_anchor = Clock::now();
    double device_anchor = 0;
    double scale = 1;
};

TimeBase& time_base() {
    static auto& t = *new TimeBase;
    return t;
}

// Device time starts when the device library is loaded.
const bool time_started = (time_base(), true);

double device_time_locked(const TimeBase& t, Clock::time_point now) {
    return t.device_anchor + std::chrono::duration<double, std::milli>(now - t.host_anchor).count() * t.scale;
}

}  // namespace

std::mutex& device_mutex() {
    static auto& m = *new std::mutex;
    return m;
}

void notify_all_locked() { changed().notify_all(); }

double device_time_ms() {
    auto& t = time_base();
    std::lock_guard g(t.m);
    return device_time_locked(t, Clock::now());
}

void set_time_scale(double scale) {
    if (!(scale > 0)) throw std::invalid_argument("the device time scale must be positive");
    auto& t = time_base();
    std::lock_guard g(t.m);
    auto now = Clock::now();
    t.device_anchor = device_time_locked(t, now);
    t.host_anchor = now;
    t.scale = scale;
}

double time_scale() {
    auto& t = time_base();
    std::lock_guard g(t.m);
    return t.scale;
}

Process* create_process(std::string party, bool traced, int launch) {
    auto& r = registry();
    auto p = std::make_unique<Process>();
    p->id = r.next_process++;
    p->party = std::move(party);
    p->traced = traced;
    p->launch = launch;
    r.processes.push_back(std::move(p));
    return r.processes.back().get();
}

Process* device_process() { return registry().device; }

Process* find_process(int id) {
    for (auto& p : registry().processes)
        if (p->id == id) return p.get();
    return nullptr;
}

std::vector<Process*> all_processes() {
    std::vector<Process*> out;
    for (auto& p : registry().processes) out.push_back(p.get());
    return out;
}

Thread& current_thread() {
    if (!t_current) {
        // A host thread the device did not start: the test runner, the device
        // console. It belongs to the device and never holds the device busy.
        // No lock is taken here: callers may already hold the device lock.
        auto t = std::make_shared<Thread>();
        t->ordinal = registry().next_thread++;
        t->process = device_process();
        t->counts_for_quiet = false;
        t_current = t;
    }
    return *t_current;
}

Process& current_process() { return *current_thread().process; }

void start_device_thread(Process* p, std::function<void()> fn, std::function<void()> on_exit, int* ordinal_out) {
    auto t = std::make_shared<Thread>();
    t->process = p;
    t->ordinal = registry().next_thread++;
    p->live_threads++;
    registry().threads.push_back(t);
    if (ordinal_out) *ordinal_out = t->ordinal;
    std::thread([t, fn = std::move(fn), on_exit = std::move(on_exit)] {
        t_current = t;
        try {
            fn();
        } catch (const ProcessEnded&) {
            // the process ended under this thread: the thread ends here
        }
        if (on_exit) on_exit();
        Lock lock(device_mutex());
        t->process->live_threads--;
        auto& threads = registry().threads;
        std::erase(threads, t);
        notify_all_locked();
    }).detach();
}

namespace {
std::vector<std::function<void(Process*)>>& end_hooks() {
    static auto& hooks = *new std::vector<std::function<void(Process*)>>;
    return hooks;
}
}  // namespace

void add_process_end_hook(std::function<void(Process*)> hook) {
    Lock lock(device_mutex());
    end_hooks().push_back(std::move(hook));
}

void end_process(Process* p, DWORD exit_code) {
    std::vector<std::function<void(Process*)>> hooks;
    {
        Lock lock(device_mutex());
        if (p->ended) return;
        p->ended = true;
        p->exit_code = exit_code;
        hooks = end_hooks();
        notify_all_locked();
    }
    for (auto& hook : hooks) hook(p);
    Lock lock(device_mutex());
    notify_all_locked();
}

Process* launch_process(std::string party, int launch, HINSTANCE instance, std::function<DWORD()> main) {
    Process* p;
    {
        Lock lock(device_mutex());
        p = create_process(std::move(party), true, launch);
        p->instance = instance;
        start_device_thread(p, [p, main = std::move(main)] {
            DWORD code = 0;
            try {
                code = main();
            } catch (const ProcessEnded&) {
                code = p->exit_code.value_or(0);
            }
            end_process(p, code);
        });
    }
    return p;
}

bool wait_process_end(Process* p, std::chrono::milliseconds timeout) {
    Lock lock(device_mutex());
    return changed().wait_for(lock, timeout, [p] { return p->ended; });
}

void check_alive_locked() {
    Thread& t = current_thread();
    if (t.process->ended && t.process != device_process()) throw ProcessEnded{};
}

Lock lock_device() {
    current_thread();
    return Lock(device_mutex());
}

Lock enter_call() {
    Lock lock = lock_device();
    check_alive_locked();
    return lock;
}

void set_last_error(DWORD error) { current_thread().last_error = error; }

std::optional<Clock::time_point> deadline_after_ms(DWORD ms) {
    if (ms == INFINITE) return std::nullopt;
    std::chrono::duration<double, std::milli> host(double(ms) / time_scale());
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(host);
}

bool wait_until(Lock& lock, const std::function<bool()>& pred, std::optional<Clock::time_point> deadline) {
    Thread& t = current_thread();
    check_alive_locked();
    if (pred()) return true;
    t.blocked = true;
    t.wake_condition = pred;
    t.deadline = deadline;
    // Poll length in host time, as the device clock may run faster.
    t.outcome_pending = deadline && *deadline - Clock::now() > std::chrono::duration_cast<Clock::duration>(
                                                                   kPollPeriod / time_scale());
    notify_all_locked();  // someone may be waiting for the device to go quiet
    struct Unblock {
        Thread& t;
        ~Unblock() {
            t.blocked = false;
            t.wake_condition = nullptr;
            t.deadline.reset();
            t.outcome_pending = false;
        }
    } unblock{t};
    for (;;) {
        if (t.process->ended && t.process != device_process()) throw ProcessEnded{};
        if (pred()) return true;
        if (deadline) {
            if (Clock::now() >= *deadline) return false;
            changed().wait_until(lock, *deadline);
        } else {
            changed().wait(lock);
        }
    }
}

void add_quiet_condition(std::function<bool()> is_quiet_locked) {
    Lock lock(device_mutex());
    registry().quiet_conditions.push_back(std::move(is_quiet_locked));
}

bool device_quiet_locked() {
    auto now = Clock::now();
    for (auto& t : registry().threads) {
        if (!t->counts_for_quiet) continue;
        if (!t->blocked || t->outcome_pending) return false;
        if (t->wake_condition && t->wake_condition()) return false;
    }
    (void)now;
    for (auto& c : registry().quiet_conditions)
        if (!c()) return false;
    return true;
}

bool wait_quiet(std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    Lock lock(device_mutex());
    // Quiet must hold across a short settling period, so that a thread woken
    // by a timeout has the chance to run and show it has nothing to do.
    for (;;) {
        while (!device_quiet_locked()) {
            if (changed().wait_until(lock, std::min(deadline, Clock::now() + std::chrono::milliseconds(5))) ==
                    std::cv_status::timeout &&
                Clock::now() >= deadline)
                return false;
        }
        auto settle = Clock::now() + std::chrono::milliseconds(2);
        bool stayed = true;
        while (Clock::now() < settle) {
            changed().wait_until(lock, settle);
            if (!device_quiet_locked()) {
                stayed = false;
                break;
            }
        }
        if (stayed) return true;
        if (Clock::now() >= deadline) return false;
    }
}

// ---- trace ----
namespace {
struct TraceState {
    std::mutex m;
    bool verbose = false;
    std::vector<TraceRecord> records;
    std::function<void(const TraceRecord&)> sink;
};
TraceState& tstate() {
    static auto& s = *new TraceState;
    return s;
}

void record(std::string party, int thread, std::string text, bool poll) {
    auto& s = tstate();
    std::lock_guard g(s.m);
    if (poll && !s.verbose) return;
    TraceRecord r{device_time_ms(), std::move(party), thread, std::move(text), poll};
    if (s.sink) s.sink(r);
    s.records.push_back(std::move(r));
}
}  // namespace

static void trace_impl(std::string text, bool poll) {
    Thread& t = current_thread();
    if (!t.party_override.empty()) {
        record(t.party_override, t.ordinal, std::move(text), poll);
        return;
    }
    if (!t.process->traced && !tstate().verbose) return;
    record(t.process->party, t.ordinal, std::move(text), poll);
}

bool trace_wanted(bool poll) {
    Thread& t = current_thread();
    bool verbose = trace_verbose();
    if (poll) return verbose;
    return verbose || !t.party_override.empty() || t.process->traced;
}

void trace(std::string text) { trace_impl(std::move(text), false); }
void trace_poll(std::string text) { trace_impl(std::move(text), true); }
void trace_as(std::string party, std::string text) { record(std::move(party), 0, std::move(text), false); }

void set_trace_verbose(bool verbose) {
    std::lock_guard g(tstate().m);
    tstate().verbose = verbose;
}
bool trace_verbose() {
    std::lock_guard g(tstate().m);
    return tstate().verbose;
}
void set_trace_sink(std::function<void(const TraceRecord&)> sink) {
    std::lock_guard g(tstate().m);
    tstate().sink = std::move(sink);
}
std::vector<TraceRecord> trace_records() {
    std::lock_guard g(tstate().m);
    return tstate().records;
}
void trace_clear() {
    std::lock_guard g(tstate().m);
    tstate().records.clear();
}

// ---- formatting ----
std::string utf8(const WCHAR* s, int count) {
    std::string out;
    if (!s) return out;
    size_t n = count < 0 ? std::char_traits<char16_t>::length(s) : size_t(count);
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string utf16(std::string_view s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char b = s[i];
        uint32_t c;
        int extra;
        if (b < 0x80) { c = b; extra = 0; }
        else if ((b >> 5) == 6) { c = b & 0x1F; extra = 1; }
        else if ((b >> 4) == 14) { c = b & 0x0F; extra = 2; }
        else if ((b >> 3) == 30) { c = b & 0x07; extra = 3; }
        else { c = 0xFFFD; extra = 0; }
        ++i;
        for (int k = 0; k < extra; ++k, ++i) {
            if (i >= s.size() || (static_cast<unsigned char>(s[i]) >> 6) != 2) { c = 0xFFFD; break; }
            c = (c << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
    }
    return out;
}

std::string quoted(const WCHAR* s, int count) {
    if (!s) return "NULL";
    std::string body = utf8(s, count);
    std::string out = "\"";
    for (unsigned char c : body) {
        switch (c) {
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02X", c);
                out += buf;
            } else {
                out += char(c);
            }
        }
    }
    return out + "\"";
}

std::string hex(unsigned long long v, int width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%0*llX", width, v);
    return buf;
}

std::string ptr_name(const void* p) {
    if (!p) return "NULL";
    return hex(reinterpret_cast<uintptr_t>(p));
}

namespace {
// The names have a lock of their own: trace lines are formatted both with
// and without the device lock held. Nothing else is locked under it.
std::mutex& names_mutex() {
    static auto& m = *new std::mutex;
    return m;
}

std::unordered_map<const void*, std::string>& handle_names() {
    static auto& names = *new std::unordered_map<const void*, std::string>;
    return names;
}
}  // namespace

std::string handle_name(const void* h) {
    if (!h) return "NULL";
    std::lock_guard g(names_mutex());
    auto& names = handle_names();
    auto it = names.find(h);
    if (it != names.end()) return it->second;
    return ptr_name(h);
}

void name_handle_locked(const void* h, std::string name) {
    std::lock_guard g(names_mutex());
    handle_names()[h] = std::move(name);
}

void forget_handle_name_locked(const void* h) {
    std::lock_guard g(names_mutex());
    handle_names().erase(h);
}

std::string bool_str(BOOL b) { return b ? "TRUE" : "FALSE"; }

std::string call_str(std::string_view name, std::initializer_list<std::string_view> args) {
    std::string out(name);
    out += '(';
    bool first = true;
    for (std::string_view a : args) {
        if (!first) out += ", ";
        out += a;
        first = false;
    }
    out += ')';
    return out;
}

std::string call_str(std::string_view name, std::initializer_list<std::string_view> args, std::string_view result) {
    std::string out = call_str(name, args);
    out += " = ";
    out += result;
    return out;
}

void not_implemented(const char* what) {
    std::fprintf(stderr, "pendrel device: %s is not implemented on this device\n", what);
    trace_as("device", std::string("NOT IMPLEMENTED: ") + what);
    std::abort();
}

}  // namespace pf

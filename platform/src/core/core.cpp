// The device lock, processes and their threads, device time, blocking waits
// and quiet detection.
#include "core.hpp"

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>

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
    for (auto& t : registry().threads) {
        if (!t->counts_for_quiet) continue;
        if (!t->blocked || t->outcome_pending) return false;
        if (t->wake_condition && t->wake_condition()) return false;
    }
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

}  // namespace pf

// Core of the emulated device: the one device lock, processes and threads,
// blocking waits that the device can observe, and the call trace.
#pragma once
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pf {

using Clock = std::chrono::steady_clock;
using Lock = std::unique_lock<std::mutex>;

// Every piece of device state is guarded by this one lock. Blocking waits
// sleep on the one condition variable, which is notified on every change.
std::mutex& device_mutex();
void notify_all_locked();  // call with the lock held after changing state

struct Thread;

namespace user {
struct Queue;  // a thread's message queue, defined by the window system
}

// A process of the device: an application launch, or a device-side party.
struct Process {
    int id = 0;
    int launch = 0;           // N of pendrel#N; 0 for device parties
    std::string party;        // "pendrel#1", "memo", "device", "driver"
    bool traced = false;      // the application's calls go to the trace
    bool ended = false;       // its threads stop at their next platform call
    std::optional<DWORD> exit_code;
    int live_threads = 0;
    int created_threads = 0;  // of those, started by CreateThread (a worker)
    HINSTANCE instance = nullptr;
    bool took_messages = false;  // has asked for a message: no longer a newly started application
    std::vector<std::function<void()>> on_end;  // run (unlocked) when the process ends
};

// Thrown out of a platform call made by a thread whose process has ended;
// caught by the thread's entry so that the thread ends there.
struct ProcessEnded {};

struct Thread {
    int ordinal = 0;          // device-wide: thread#N
    Process* process = nullptr;
    DWORD last_error = 0;
    bool counts_for_quiet = true;
    // While blocked: what would wake it and when it times out.
    bool blocked = false;
    std::function<bool()> wake_condition;
    std::optional<Clock::time_point> deadline;
    bool outcome_pending = false;  // a timed wait longer than a poll period
    std::shared_ptr<user::Queue> user_state;  // its message queue, made on first use
    std::string party_override;        // e.g. "driver" while the driver types
    std::size_t typing_read = 0;       // the reader's read whose keys it sends now (0: none)
};

// The calling host thread's device thread; a host thread the device did not
// create joins the "device" process on first use and does not count for
// quiet detection.
Thread& current_thread();
Process& current_process();

Process* create_process(std::string party, bool traced, int launch);
Process* device_process();
Process* find_process(int id);
std::vector<Process*> all_processes();

// Run fn on a new host thread registered as a device thread of process p.
// Call with the device lock held.
// The host thread is detached; its end is observable through on_exit.
void start_device_thread(Process* p, std::function<void()> fn, std::function<void()> on_exit = {},
                         int* ordinal_out = nullptr);

// Mark the process ended: wakes its blocked threads, which then end.
// Runs the end hooks (unlocked) so that each part of the platform releases
// what the process owned: handles, windows, tray icons.
void end_process(Process* p, DWORD exit_code);
void add_process_end_hook(std::function<void(Process*)> hook);

// Launch a program as a new process whose first thread runs main; its
// result is the exit code, and the process ends when main returns.
Process* launch_process(std::string party, int launch, HINSTANCE instance, std::function<DWORD()> main);
// Waits for a process to end; false on timeout.
bool wait_process_end(Process* p, std::chrono::milliseconds timeout);

// Blocks the calling device thread until pred() holds or the deadline passes.
// Returns true when pred() held. The thread counts as blocked meanwhile.
// Throws ProcessEnded if the thread's process ends.
bool wait_until(Lock& lock, const std::function<bool()>& pred, std::optional<Clock::time_point> deadline);
std::optional<Clock::time_point> deadline_after_ms(DWORD ms);  // INFINITE -> nullopt

// Throws ProcessEnded when the calling thread's process has ended.
void check_alive_locked();

// ---- entering a call ----
// Takes the device lock, registering the calling thread first (a thread's
// first call takes the lock itself to register it).
Lock lock_device();
// How every API call begins: lock_device(), then check_alive_locked(), so a
// thread whose process has ended stops here.
Lock enter_call();
// SetLastError for the calling thread.
void set_last_error(DWORD error);

// The device is quiet when every counted thread is blocked with nothing to
// wake it, except by the timeout of a poll-length wait (at most this long):
// a longer timed wait, such as a stop handshake, still has an outcome coming.
constexpr std::chrono::milliseconds kPollPeriod{50};

// Extra conditions for quiet (for example: no read waiting in the driver).
void add_quiet_condition(std::function<bool()> is_quiet_locked);
bool device_quiet_locked();
// Waits (on a host thread not counted) until the device is quiet.
bool wait_quiet(std::chrono::milliseconds timeout);

// Device time since boot, in milliseconds.
double device_time_ms();
// Device time runs `scale` times as fast as host time: every timed wait of a
// device thread (WaitForSingleObject, Sleep, the poll period) ends that much
// sooner in host time, and the tick count moves that much faster. 1 unless a
// test speeds the device up; the device's own time stays continuous.
void set_time_scale(double scale);
double time_scale();

// ---- trace ----
struct TraceRecord {
    double time_ms = 0;
    std::string party;
    int thread = 0;
    std::string text;
    bool poll = false;  // only shown with the verbose switch
};

// Records one line for the calling thread's party if that party is traced.
void trace(std::string text);
// A call made every poll: kept only in verbose mode.
void trace_poll(std::string text);
// Whether a trace line of the calling thread would be kept: callers on hot
// paths ask first, so that a line nobody keeps is never formatted.
bool trace_wanted(bool poll);
// Records for an explicit party (device, driver, memo), always.
void trace_as(std::string party, std::string text);

void set_trace_verbose(bool verbose);
bool trace_verbose();
void set_trace_sink(std::function<void(const TraceRecord&)> sink);
std::vector<TraceRecord> trace_records();
void trace_clear();

// ---- formatting for trace lines ----
std::string utf8(const WCHAR* s, int count = -1);
std::u16string utf16(std::string_view s);
std::string quoted(const WCHAR* s, int count = -1);  // "text" or NULL
std::string hex(unsigned long long v, int width = 0);
std::string ptr_name(const void* p);  // NULL or 0x...
// A name for a handle value, kept per object: thread#1, event#2, hwnd#3 ...
std::string handle_name(const void* h);
void name_handle_locked(const void* h, std::string name);
void forget_handle_name_locked(const void* h);
// A closed handle keeps its name for the calls that still name it, until the
// trace is cleared.
void retire_handle_name_locked(const void* h);
std::string bool_str(BOOL b);
// A call as the trace shows it: "Name(a, b)" and "Name(a, b) = result",
// from arguments already formatted.
std::string call_str(std::string_view name, std::initializer_list<std::string_view> args);
std::string call_str(std::string_view name, std::initializer_list<std::string_view> args, std::string_view result);

// A call the platform does not implement: recorded and reported loudly.
[[noreturn]] void not_implemented(const char* what);

}  // namespace pf

// The reader worker and its start/stop handshake, against the simulated
// reader on real threads and real waits.
#include "spine_fixture.hpp"

#include <atomic>
#include <thread>

namespace {

using trace_table::eventually;
using trace_table::live_threads;
using trace_table::read_flag;

// A test may run the device's waits faster with pf::set_time_scale.
class Worker : public FreshDevice {
protected:
    void TearDown() override {
        release = true;
        if (WorkerThread) StopReaderWorker();
        pf::set_time_scale(1);
        FreshDevice::TearDown();
    }
    // Holds the worker inside the first key event it sends, with the device
    // lock released, until `until` holds.
    void hold_first_key(std::function<bool()> until) {
        pf::Lock lock(pf::device_mutex());
        pf::input::set_key_sink_locked([this, until](const pf::input::KeyEvent&) {
            if (gate_reached.exchange(true)) return;
            pf::device_mutex().unlock();
            eventually(until);
            pf::device_mutex().lock();
        });
    }
    std::atomic<bool> gate_reached{false};
    std::atomic<bool> release{false};
};

// Scanned, fetched, translated, typed and read back through the device
// keyboard layout: every printable character comes out as it went in.
TEST_F(Worker, EveryPrintableCharacterArrivesAsScanned) {
    std::string all;
    for (int c = 0x20; c <= 0x7E; ++c) all += char(c);
    open_reader(0);
    TypedText typed_text;
    TracedProcess app;
    ASSERT_EQ(StartReaderWorker(NULL), 0);
    ASSERT_TRUE(zel::control::scan(all).accepted);
    ASSERT_TRUE(zel::control::scan("\r").accepted);
    ASSERT_TRUE(pf::wait_quiet(10s));
    EXPECT_EQ(typed_text.text(), all + "\r");
    StopReaderWorker();
}

TEST_F(Worker, StartWhileRunningKeepsTheRunningWorker) {
    TracedProcess app;
    ASSERT_EQ(StartReaderWorker(NULL), 0);
    HANDLE first = WorkerThread;
    auto before = app.calls();
    EXPECT_EQ(StartReaderWorker(NULL), 0);
    EXPECT_EQ(WorkerThread, first);
    EXPECT_TRUE(same_sequence(before, app.calls(), "calls"));
    EXPECT_EQ(pf::kernel::live_handle_count(app.process()), 3u);
    StopReaderWorker();
    EXPECT_EQ(pf::kernel::live_handle_count(app.process()), 0u);
}

TEST_F(Worker, StopWithoutWorkerFailsEveryCallAtOnce) {
    TracedProcess app;
    EXPECT_EQ(StopReaderWorker(), 0);
    std::vector<std::string> expected = {"SetEvent(NULL) = FALSE", "SetEvent(NULL) = FALSE"};
    for (int i = 0; i < 32; ++i) expected.push_back("WaitForSingleObject(NULL, 100) = WAIT_FAILED");
    expected.push_back("WaitForSingleObject(NULL, 100) = WAIT_FAILED");
    for (int i = 0; i < 3; ++i) expected.push_back("CloseHandle(NULL) = FALSE");
    EXPECT_TRUE(same_sequence(expected, app.calls(), "calls"));
    EXPECT_EQ(WorkerThread, nullptr);
    EXPECT_EQ(WakeEvent, nullptr);
    EXPECT_EQ(SignalEvent, nullptr);
}

TEST_F(Worker, ThreadCreationFailureAnswers9999AfterTheStartWait) {
    pf::set_time_scale(20);
    TracedProcess app;
    pf::kernel::fail_next(pf::kernel::Call::CreateThread);
    EXPECT_EQ(StartReaderWorker(NULL), 9999);
    EXPECT_TRUE(same_sequence(
        {
            "CreateEventW(NULL, FALSE, FALSE, NULL) = event#1",
            "CreateEventW(NULL, FALSE, FALSE, NULL) = event#2",
            "CreateThread(NULL, 0, ReaderWorker, NULL, 0, NULL) = NULL",
            "WaitForSingleObject(event#2, 3000) = WAIT_TIMEOUT",
        },
        app.calls(), "calls"));
    // A later start keeps the events instead of leaking a second pair.
    EXPECT_EQ(StartReaderWorker(NULL), 0);
    EXPECT_EQ(pf::kernel::live_handle_count(app.process()), 3u);
    StopReaderWorker();
    EXPECT_EQ(pf::kernel::live_handle_count(app.process()), 0u);
}

// The stop arrives while the first key of a read is being sent; the whole
// read is still typed before the worker signals its end.
TEST_F(Worker, StopDuringEmissionTakesEffectAfterTheWholeRead) {
    const std::string read = "abcdefghij0123456789abcdefghij0123456789";
    open_reader(0);
    hold_first_key([] { return read_flag(StopRequested) == 1; });
    TracedProcess app;
    ASSERT_EQ(StartReaderWorker(NULL), 0);
    ASSERT_TRUE(zel::control::scan(read).accepted);
    ASSERT_TRUE(eventually([this] { return gate_reached.load(); }));
    EXPECT_EQ(StopReaderWorker(), 0);

    auto keys = app.calls_starting("keybd_event");
    ASSERT_EQ(keys.size(), 3 * read.size());
    EXPECT_EQ(keys.back(), key_up('9'));
    // The worker's ending signal comes after the read's last key.
    auto calls = app.calls();
    auto last_key = std::find(calls.rbegin(), calls.rend(), key_up('9')).base();
    auto end_signal = std::find(last_key, calls.end(), "SetEvent(event#2) = TRUE");
    EXPECT_NE(end_signal, calls.end());
    EXPECT_EQ(read_flag(WorkerDone), 1);
    EXPECT_EQ(pf::kernel::live_handle_count(app.process()), 0u);
}

// ---- the stop's waits, against a stand-in worker that ends on cue ----

// The stand-in ends while the stopper is blocked in its n-th wait for the
// end signal; with n = 0 it never ends until released.
struct StandIn {
    pf::Thread* stopper = nullptr;
    int ends_in_wait = 0;
    HANDLE release = NULL;
};
StandIn stand_in;

// The stopper's waits for the end signal that have returned so far.
int signal_waits_returned() {
    int n = 0;
    for (const pf::TraceRecord& r : pf::trace_records())
        if (r.thread == stand_in.stopper->ordinal && r.text.rfind("WaitForSingleObject(event#2, 100)", 0) == 0) ++n;
    return n;
}

// Does what a worker does once it sees the stop: takes the wake-up, marks
// itself done, signals its end.
DWORD WINAPI StandInWorker(LPVOID) {
    if (stand_in.ends_in_wait == 0) return WaitForSingleObject(stand_in.release, INFINITE);
    eventually([] {
        if (read_flag(StopRequested) != 1 || signal_waits_returned() != stand_in.ends_in_wait - 1) return false;
        pf::Lock lock(pf::device_mutex());
        return stand_in.stopper->blocked;
    });
    WaitForSingleObject(WakeEvent, 0);
    InterlockedExchange(&WorkerDone, 1);
    SetEvent(SignalEvent);
    return 1;
}

// Once WorkerDone reads 1 the stopper waits once more on the signal, then on
// the wake-up event, which the worker took. A worker that never ends gets 32
// waits; WorkerDone is not read after the last, so there is no extra wait,
// and the wake-up event is still set from the stop.
TEST_F(Worker, TheStopWaitsOnceMoreAfterTheWorkerEndsAndGivesUpAfter32Waits) {
    const std::string timeout = "WaitForSingleObject(event#2, 100) = WAIT_TIMEOUT";
    for (int n : {1, 3, 0}) {
        SCOPED_TRACE("a worker ending in wait " + std::to_string(n));
        pf::set_time_scale(n == 0 ? 20 : 1);
        pf::kernel::restart_handle_names();
        TracedProcess app;
        // The handshake as StartReaderWorker leaves it, with the stand-in as the worker.
        InterlockedExchange(&StopRequested, 0);
        WakeEvent = CreateEventW(NULL, FALSE, FALSE, NULL);
        SignalEvent = CreateEventW(NULL, FALSE, FALSE, NULL);
        stand_in = StandIn{&pf::current_thread(), n, CreateEventW(NULL, TRUE, FALSE, NULL)};
        WorkerThread = CreateThread(NULL, 0, StandInWorker, NULL, 0, NULL);
        pf::trace_clear();
        EXPECT_EQ(StopReaderWorker(), 0);
        std::vector<std::string> waits(n == 0 ? 32 : n - 1, timeout);
        if (n == 0) {
            waits.push_back("WaitForSingleObject(event#1, 100) = WAIT_OBJECT_0");
        } else {
            waits.insert(waits.end(), {"WaitForSingleObject(event#2, 100) = WAIT_OBJECT_0", timeout,
                                       "WaitForSingleObject(event#1, 100) = WAIT_TIMEOUT"});
        }
        std::vector<std::string> stopper;
        for (const pf::TraceRecord& r : pf::trace_records())
            if (r.thread == stand_in.stopper->ordinal && r.party == app.party()) stopper.push_back(r.text);
        EXPECT_TRUE(same_sequence(concat({{"SetEvent(event#1) = TRUE", "SetEvent(event#1) = TRUE"},
                                          waits,
                                          {"CloseHandle(thread#1) = TRUE", "CloseHandle(event#1) = TRUE",
                                           "CloseHandle(event#2) = TRUE"}}),
                                  stopper, "the stopper's calls"));
        EXPECT_EQ(read_flag(WorkerDone), n == 0 ? 0 : 1);
        EXPECT_EQ(WorkerThread, nullptr);
        SetEvent(stand_in.release);
        CloseHandle(stand_in.release);
    }
}

// A stop that gives up on a worker stuck in a read, and a start after it:
// the stuck worker must not go on polling beside the new one.
TEST_F(Worker, WorkerLeftRunningByAStopLeavesWhenANewOneStarts) {
    pf::set_time_scale(20);  // the stop's 32 waits of 100 ms
    open_reader(0);
    hold_first_key([this] { return release.load(); });
    TracedProcess app;
    ASSERT_EQ(StartReaderWorker(NULL), 0);
    ASSERT_TRUE(zel::control::scan("stuck").accepted);
    ASSERT_TRUE(eventually([this] { return gate_reached.load(); }));

    // The stop gives up after its waits and closes the handles regardless.
    EXPECT_EQ(StopReaderWorker(), 0);
    EXPECT_EQ(read_flag(WorkerDone), 0) << "the stuck worker cannot have ended";
    EXPECT_EQ(pf::kernel::live_handle_count(app.process()), 0u);
    EXPECT_EQ(live_threads(app.process()), 1);

    ASSERT_EQ(StartReaderWorker(NULL), 0);
    EXPECT_EQ(live_threads(app.process()), 2);
    release = true;
    // The stuck worker finishes its read, then leaves; the new one polls on.
    EXPECT_TRUE(eventually([&] { return live_threads(app.process()) == 1; }))
        << live_threads(app.process()) << " workers running";
    EXPECT_EQ(read_flag(WorkerDone), 0) << "the leaving worker must not answer the new worker's handshake";
    ASSERT_TRUE(zel::control::scan("next").accepted);
    EXPECT_TRUE(eventually([] { return zel::control::pending() == 0; }));

    EXPECT_EQ(StopReaderWorker(), 0);
    EXPECT_EQ(read_flag(WorkerDone), 1);
    EXPECT_TRUE(eventually([&] { return live_threads(app.process()) == 0; }));
    EXPECT_EQ(pf::kernel::live_handle_count(app.process()), 0u);
}

// Started and stopped over and over, every tenth worker with a read: every
// cycle closes what it opened, and every worker thread ends.
TEST_F(Worker, RepeatedStartsAndStopsLeaveNoHandleOrThreadBehind) {
    pf::set_time_scale(20);
    open_reader(0);
    TracedProcess app;
    for (int i = 1; i <= 100; ++i) {
        SCOPED_TRACE("cycle " + std::to_string(i));
        ASSERT_EQ(StartReaderWorker(NULL), 0);
        ASSERT_EQ(pf::kernel::live_handle_count(app.process()), 3u) << "thread and two events";
        if (i % 10 == 0) {
            ASSERT_TRUE(zel::control::scan("cycle " + std::to_string(i)).accepted);
            ASSERT_TRUE(eventually([] { return zel::control::pending() == 0; }));
        }
        ASSERT_EQ(StopReaderWorker(), 0);
        ASSERT_EQ(pf::kernel::live_handle_count(app.process()), 0u);
        ASSERT_EQ(WorkerThread, nullptr);
        if (i % 50 == 0) pf::trace_clear();  // keeps the record small
    }
    EXPECT_TRUE(eventually([&] { return live_threads(app.process()) == 0; }))
        << live_threads(app.process()) << " worker threads still running";
}

}  // namespace

// The reader worker and its start/stop handshake, against the simulated
// reader on real threads and real waits.
#include "spine_fixture.hpp"

#include <atomic>
#include <thread>

namespace {

const std::vector<std::string> worker_start = {
    "CreateEventW(NULL, FALSE, FALSE, NULL) = event#1",
    "CreateEventW(NULL, FALSE, FALSE, NULL) = event#2",
    "CreateThread(NULL, 0, ReaderWorker, NULL, 0, NULL) = thread#1",
    "SetEvent(event#2) = TRUE",
    "WaitForSingleObject(event#2, 3000) = WAIT_OBJECT_0",
};

LONG read_flag(volatile LONG& flag) { return std::atomic_ref<LONG>(const_cast<LONG&>(flag)).load(); }

class Worker : public DeviceTest {
protected:
    void TearDown() override {
        if (WorkerThread) StopReaderWorker();
        DeviceTest::TearDown();
    }
};

TEST_F(Worker, FetchesAndTypesAScannedRead) {
    open_reader(0);
    TracedProcess app;
    ASSERT_EQ(StartReaderWorker(NULL), 0);
    ASSERT_TRUE(zel::control::scan("a1").accepted);
    ASSERT_TRUE(pf::wait_quiet(10s));
    EXPECT_TRUE(same_sequence(app.calls(), concat({worker_start,
                                                   {
                                                       "ZELPollStatus(&status, &pending) = 0 [pending 1]",
                                                       "ZELReadData(buffer, &info, &length) = 0 [length 2]",
                                                   },
                                                   typed('A', false), typed('1', false)})));
    EXPECT_EQ(StopReaderWorker(), 0);
}

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

TEST_F(Worker, StartThenStopLeavesNoHandleOpen) {
    TracedProcess app;
    ASSERT_EQ(StartReaderWorker(NULL), 0);
    EXPECT_EQ(pf::kernel::live_handle_count(app.process()), 3u);
    EXPECT_EQ(StopReaderWorker(), 0);
    EXPECT_EQ(pf::kernel::live_handle_count(app.process()), 0u);
    EXPECT_EQ(read_flag(WorkerDone), 1);
    EXPECT_EQ(WorkerThread, nullptr);
    EXPECT_EQ(WakeEvent, nullptr);
    EXPECT_EQ(SignalEvent, nullptr);
    // The stop closes what the start created, in this order.
    EXPECT_TRUE(same_sequence(app.calls_starting("CloseHandle"), {
        "CloseHandle(thread#1) = TRUE",
        "CloseHandle(event#1) = TRUE",
        "CloseHandle(event#2) = TRUE",
    }));
}

TEST_F(Worker, StartWhileRunningKeepsTheRunningWorker) {
    TracedProcess app;
    ASSERT_EQ(StartReaderWorker(NULL), 0);
    HANDLE first = WorkerThread;
    auto before = app.calls();
    EXPECT_EQ(StartReaderWorker(NULL), 0);
    EXPECT_EQ(WorkerThread, first);
    EXPECT_TRUE(same_sequence(app.calls(), before));
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
    EXPECT_TRUE(same_sequence(app.calls(), expected));
    EXPECT_EQ(WorkerThread, nullptr);
    EXPECT_EQ(WakeEvent, nullptr);
    EXPECT_EQ(SignalEvent, nullptr);
}

TEST_F(Worker, ThreadCreationFailureAnswers9999AfterTheStartWait) {
    TracedProcess app;
    pf::kernel::fail_next(pf::kernel::Call::CreateThread);
    EXPECT_EQ(StartReaderWorker(NULL), 9999);
    EXPECT_TRUE(same_sequence(app.calls(), {
        "CreateEventW(NULL, FALSE, FALSE, NULL) = event#1",
        "CreateEventW(NULL, FALSE, FALSE, NULL) = event#2",
        "CreateThread(NULL, 0, ReaderWorker, NULL, 0, NULL) = NULL",
        "WaitForSingleObject(event#2, 3000) = WAIT_TIMEOUT",
    }));
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
    std::atomic<bool> gate_reached{false};
    {
        pf::Lock lock(pf::device_mutex());
        // Holds the worker inside its first key event, with the device lock
        // released, until the stop request is set.
        pf::input::set_key_sink_locked([&](const pf::input::KeyEvent&) {
            if (gate_reached.exchange(true)) return;
            pf::device_mutex().unlock();
            for (int i = 0; i < 10000 && read_flag(StopRequested) != 1; ++i)
                std::this_thread::sleep_for(1ms);
            pf::device_mutex().lock();
        });
    }
    TracedProcess app;
    ASSERT_EQ(StartReaderWorker(NULL), 0);
    ASSERT_TRUE(zel::control::scan(read).accepted);
    for (int i = 0; i < 10000 && !gate_reached; ++i) std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(gate_reached);
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

TEST_F(Worker, ResetReaderClosesAndResets) {
    open_reader(0);
    TracedProcess app;
    ResetReader();
    EXPECT_TRUE(same_sequence(app.calls(), {"ZELClose() = 0", "ZELOp590() = 0", "ZELOp580() = 0"}));
    EXPECT_FALSE(zel::control::is_open());
}

}  // namespace

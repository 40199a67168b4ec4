// A stop that gives up on a worker stuck in a read, and a start that comes
// after it: the stuck worker must not go on polling beside the new one.
#include "spine_fixture.hpp"

#include <atomic>
#include <thread>

namespace {

LONG read_flag(volatile LONG& flag) { return std::atomic_ref<LONG>(const_cast<LONG&>(flag)).load(); }

int live_threads(const pf::Process* p) {
    pf::Lock lock(pf::device_mutex());
    return p->live_threads;
}

bool eventually(const std::function<bool()>& cond) {
    for (int i = 0; i < 10000; ++i) {
        if (cond()) return true;
        std::this_thread::sleep_for(1ms);
    }
    return cond();
}

class WorkerRestart : public FreshDevice {
protected:
    // The stop's 32 waits of 100 ms pass 20 times as fast.
    void SetUp() override {
        FreshDevice::SetUp();
        pf::set_time_scale(20);
    }
    void TearDown() override {
        release = true;
        if (WorkerThread) StopReaderWorker();
        pf::set_time_scale(1);
        FreshDevice::TearDown();
    }
    std::atomic<bool> gate_reached{false};
    std::atomic<bool> release{false};
};

TEST_F(WorkerRestart, WorkerLeftRunningByAStopLeavesWhenANewOneStarts) {
    open_reader(0);
    {
        pf::Lock lock(pf::device_mutex());
        // Holds the first worker inside its first key event until released.
        pf::input::set_key_sink_locked([this](const pf::input::KeyEvent&) {
            if (gate_reached.exchange(true)) return;
            pf::device_mutex().unlock();
            for (int i = 0; i < 20000 && !release; ++i) std::this_thread::sleep_for(1ms);
            pf::device_mutex().lock();
        });
    }
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

}  // namespace

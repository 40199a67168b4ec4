// The reader worker started and stopped over and over: every cycle closes
// what it opened, and every worker thread ends.
#include "stress.hpp"

#include <atomic>

#include "trace_table.hpp"
#include "zel_control.hpp"

#include "reader.h"

namespace {

using namespace stress;

LONG read_flag(volatile LONG& flag) { return std::atomic_ref<LONG>(const_cast<LONG&>(flag)).load(); }

class WorkerCycles : public ::testing::Test {
protected:
    void SetUp() override {
        pf::set_time_scale(time_scale());
        zel::control::reset();
        pf::kernel::clear_faults();
        pf::kernel::name_start_routine(ReaderWorker, "ReaderWorker");
        pf::trace_clear();
    }
    void TearDown() override {
        zel::control::reset();
        pf::trace_clear();
    }
};

TEST_F(WorkerCycles, ThousandStartsAndStopsLeaveNoHandleOrThreadBehind) {
    const int cycles = count(1000);
    ASSERT_EQ(ZELChangeBuffMode(0), 0u);
    ASSERT_EQ(ZELOpen(NULL, 0), 0u);
    const std::size_t handles_before = pf::kernel::live_handle_count();
    const int threads_before = live_threads();
    {
        trace_table::TracedProcess app;
        for (int i = 1; i <= cycles; ++i) {
            SCOPED_TRACE("cycle " + std::to_string(i));
            ASSERT_EQ(StartReaderWorker(NULL), 0);
            ASSERT_NE(WorkerThread, nullptr);
            ASSERT_EQ(pf::kernel::live_handle_count(app.process()), 3u) << "thread and two events";
            // Every tenth worker fetches a read before the stop comes.
            if (i % 10 == 0) {
                ASSERT_TRUE(zel::control::scan("cycle " + std::to_string(i)).accepted);
                ASSERT_TRUE(eventually([] { return zel::control::pending() == 0; }));
            }
            ASSERT_EQ(StopReaderWorker(), 0);
            ASSERT_EQ(pf::kernel::live_handle_count(app.process()), 0u);
            ASSERT_EQ(WorkerThread, nullptr);
            ASSERT_EQ(WakeEvent, nullptr);
            ASSERT_EQ(SignalEvent, nullptr);
            if (i % 100 == 0) pf::trace_clear();  // keeps the record small
        }
        // A stop that gave up waiting leaves its worker to end by itself.
        EXPECT_TRUE(eventually([&] { return live_threads(app.process()) == 0; }))
            << live_threads(app.process()) << " worker threads still running";
        EXPECT_EQ(read_flag(WorkerDone), 1);
        EXPECT_EQ(read_flag(StopRequested), 1);
    }
    EXPECT_EQ(pf::kernel::live_handle_count(), handles_before);
    EXPECT_TRUE(eventually([&] { return live_threads() == threads_before; }))
        << live_threads() << " device threads, " << threads_before << " before";
}

}  // namespace

// Expected-sequence tables over the device trace.
//
// How a test gets its calls traced: construct a TracedProcess. For its
// lifetime the test's own thread belongs to a fresh traced process with a
// party name of its own ("test#N"), so every platform and driver call the
// test makes, and every call of a thread the code under test creates with
// CreateThread, is recorded under that party. On destruction the thread
// goes back to the device process and the traced process is ended, which
// closes the handles it still owns and ends its threads.
//
// Then compare what was recorded with an expected table:
//
//     TracedProcess app;
//     ... run the code under test ...
//     EXPECT_TRUE(same_sequence({
//         "CreateEventW(NULL, FALSE, FALSE, NULL) = event#1",
//         "CloseHandle(event#1) = TRUE",
//     }, app.calls(), "an event made and closed"));
//
// (same_sequence, from sequence.hpp, compares strictly entry by entry.)
#pragma once
#include <gtest/gtest.h>

#include "core/core.hpp"
#include "sequence.hpp"

#include <atomic>
#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <string_view>
#include <vector>

namespace trace_table {

// The recorded texts of one party, in order (poll lines only when verbose).
inline std::vector<std::string> texts(std::string_view party) {
    std::vector<std::string> out;
    for (const pf::TraceRecord& r : pf::trace_records())
        if (r.party == party) out.push_back(r.text);
    return out;
}

// The recorded texts of one party that start with prefix.
inline std::vector<std::string> texts_starting(std::string_view party, std::string_view prefix) {
    std::vector<std::string> out;
    for (const std::string& t : texts(party))
        if (t.compare(0, prefix.size(), prefix) == 0) out.push_back(t);
    return out;
}

// Polls cond until it holds; the bound only turns a hang into a failure.
inline bool eventually(const std::function<bool()>& cond, std::chrono::milliseconds bound = std::chrono::seconds(60)) {
    auto deadline = pf::Clock::now() + bound;
    while (!cond()) {
        if (pf::Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A flag the application shares between its threads, read atomically.
inline LONG read_flag(volatile LONG& flag) { return std::atomic_ref<LONG>(const_cast<LONG&>(flag)).load(); }

// Threads of one process still running.
inline int live_threads(const pf::Process* p) {
    pf::Lock lock(pf::device_mutex());
    return p->live_threads;
}

class TracedProcess {
public:
    TracedProcess() {
        static std::atomic<int> counter{0};
        party_ = "test#" + std::to_string(++counter);
        pf::Thread& t = pf::current_thread();
        {
            pf::Lock lock(pf::device_mutex());
            process_ = pf::create_process(party_, true, 0);
        }
        saved_ = t.process;
        saved_error_ = t.last_error;
        t.process = process_;
        t.last_error = 0;
    }
    ~TracedProcess() {
        pf::Thread& t = pf::current_thread();
        t.process = saved_;
        t.last_error = saved_error_;
        pf::end_process(process_, 0);
    }
    TracedProcess(const TracedProcess&) = delete;
    TracedProcess& operator=(const TracedProcess&) = delete;

    pf::Process* process() const { return process_; }
    const std::string& party() const { return party_; }
    std::vector<std::string> calls() const { return texts(party_); }
    std::vector<std::string> calls_starting(std::string_view prefix) const {
        return texts_starting(party_, prefix);
    }

private:
    std::string party_;
    pf::Process* process_ = nullptr;
    pf::Process* saved_ = nullptr;
    DWORD saved_error_ = 0;
};

}  // namespace trace_table

// Stress runs on the emulated device, booted once by the test program's
// runner and sped up so that many thousands of 50 ms polls and 100 ms
// handshake waits fit in a short run. Every wait is bounded so that a hang fails the test;
// nothing here asserts how long anything took.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "core/core.hpp"
#include "runner.hpp"
#include "platform_link.hpp"
#include "kernel/kernel.hpp"
#include "user/handheld.hpp"
#include "user/window.hpp"

namespace stress {

using namespace std::chrono_literals;
namespace ud = pf::user::handheld;

// How much faster than host time the device runs. PENDREL_STRESS_TIME_SCALE
// overrides it (1 runs the device in real time).
inline double time_scale() {
    if (const char* s = std::getenv("PENDREL_STRESS_TIME_SCALE")) {
        double v = std::atof(s);
        if (v > 0) return v;
    }
    return 20;
}

// The size of a run (reads, cycles) can be cut for slow builds with
// PENDREL_STRESS_DIVISOR; the default runs the full counts.
inline int count(int full) {
    if (const char* s = std::getenv("PENDREL_STRESS_DIVISOR")) {
        int d = std::atoi(s);
        if (d > 1) return std::max(1, full / d);
    }
    return full;
}

// Host-time bound of one wait for the device: long enough for a sanitizer
// build on a busy machine, short enough that a hang ends the test.
constexpr auto bound = 60s;

// Polls cond until it holds or the bound passes.
inline bool eventually(const std::function<bool()>& cond, std::chrono::milliseconds within = bound) {
    auto deadline = pf::Clock::now() + within;
    for (;;) {
        if (cond()) return true;
        if (pf::Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
}

// The device runs sped up from before its boot to the end of the program.
struct ScaledTime : testing::Environment {
    void SetUp() override { pf::set_time_scale(time_scale()); }
};
inline testing::Environment* const scaled_time = testing::AddGlobalTestEnvironment(new ScaledTime);

using scenario::run;
using scenario::device;

// Launches Pendrel and waits for the device to settle: a start that reads
// megabytes of settings may take longer than a command's own sync allows.
inline void launch() {
    device().launch();
    ASSERT_TRUE(pf::wait_quiet(bound)) << "the launch did not settle";
}

// Runs an expectation until it holds: states that settle through timed
// waits (the worker's stop handshake) are not covered by the device's sync.
inline ::testing::AssertionResult settles(const std::string& expectation) {
    auto c = runner::parse_line(expectation, "stress", 1);
    std::string last;
    bool held = eventually([&] {
        try {
            device().run(*c);
            return true;
        } catch (const runner::ScriptError& e) {
            last = e.what();
            return false;
        }
    });
    if (held) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << last;
}

inline bool settle_device() { return pf::wait_quiet(bound); }

// Empties the memo (its edit holds 30000 characters at most).
inline void clear_memo() {
    pf::user::send_internal(device().memo_edit(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u""));
}

// Device threads still running, over every process.
inline int live_threads() {
    pf::Lock lock(pf::device_mutex());
    int n = 0;
    for (pf::Process* p : pf::all_processes()) n += p->live_threads;
    return n;
}

inline int live_threads(const pf::Process* p) {
    pf::Lock lock(pf::device_mutex());
    return p->live_threads;
}

// What the device holds, for leak checks.
struct Holdings {
    std::size_t handles = 0;
    int threads = 0;
    std::size_t tray = 0;
    bool operator==(const Holdings&) const = default;
};

inline Holdings holdings() { return {pf::kernel::live_handle_count(), live_threads(), ud::tray_icons().size()}; }

inline std::ostream& operator<<(std::ostream& out, const Holdings& h) {
    return out << "{" << h.handles << " handles, " << h.threads << " threads, " << h.tray << " tray icons}";
}

inline const char* const settings_path = "FlashDisk/Velmira/PENDRELTOOL.ini";

// Writes the settings file into the device's file system.
inline void write_settings(const std::string& content) {
    auto path = pf::kernel::device_root() / settings_path;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// Every test starts on a freshly reset device and leaves it reset.
class StressTest : public ::testing::Test {
protected:
    void SetUp() override { device().reset(); }
    void TearDown() override { device().reset(); }
};

}  // namespace stress

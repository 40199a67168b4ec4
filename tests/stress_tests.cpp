// Stress runs on the emulated device, sped up so that thousands of 50 ms
// polls and 100 ms handshake waits fit in a short run: a flood of reads, and
// the operator's whole repertoire over and over. Every wait is a condition
// with a bound that only turns a hang into a failure.
#include "app_scenario.hpp"

#include <random>

#include "core/core.hpp"
#include "kernel/kernel.hpp"
#include "platform_link.hpp"
#include "soak.hpp"
#include "user/handheld.hpp"
#include "user/window.hpp"
#include "zel_control.hpp"

namespace {

using scenario::device;
using scenario::run;
using trace_table::live_threads;
namespace ud = pf::user::handheld;

// The device runs 20 times as fast from before its boot to the end.
struct ScaledTime : testing::Environment {
    void SetUp() override { pf::set_time_scale(20); }
};
testing::Environment* const scaled_time = testing::AddGlobalTestEnvironment(new ScaledTime);

// Judges an expectation once, at the quiet point the last action reached.
::testing::AssertionResult settles(const std::string& expectation) {
    try {
        device().run(*runner::parse_line(expectation, "stress", 1));
        return ::testing::AssertionSuccess();
    } catch (const runner::ScriptError& e) {
        return ::testing::AssertionFailure() << e.what();
    }
}

// Runs the lines, then judges each expectation.
void round_trip(std::initializer_list<std::string> actions, std::initializer_list<std::string> settled) {
    run(actions);
    for (const auto& e : settled) ASSERT_TRUE(settles(e)) << "after " << *(actions.end() - 1);
}

// Empties the memo (its edit holds 30000 characters at most).
void clear_memo() { pf::user::send_internal(device().memo_edit(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"")); }

// What the device holds, for leak checks.
struct Holdings {
    std::size_t handles = 0;
    int threads = 0;
    std::size_t tray = 0;
    bool operator==(const Holdings&) const = default;
};

Holdings holdings() {
    int threads = 0;
    for (pf::Process* p : pf::all_processes()) threads += live_threads(p);
    return {pf::kernel::live_handle_count(), threads, ud::tray_icons().size()};
}

std::ostream& operator<<(std::ostream& out, const Holdings& h) {
    return out << "{" << h.handles << " handles, " << h.threads << " threads, " << h.tray << " tray icons}";
}

// Reads of 1 to 255 bytes from 0x20 to 0x7E, the same for every run, until
// they hold `bytes` in all.
std::vector<std::string> random_reads(std::size_t bytes) {
    std::mt19937 random(2024);
    std::uniform_int_distribution<int> length(1, int(zel::control::max_read));
    std::uniform_int_distribution<int> byte(0x20, 0x7E);
    std::vector<std::string> reads;
    for (std::size_t total = 0; total < bytes; total += reads.back().size()) {
        std::string read(std::size_t(length(random)), ' ');
        for (char& c : read) c = char(byte(random));
        reads.push_back(std::move(read));
    }
    return reads;
}

std::string bytes_of(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out += c < 0x80 ? char(c) : '?';
    return out;
}

// Where the two texts first differ, for a readable failure.
std::string first_difference(const std::string& want, const std::string& seen) {
    std::size_t i = 0;
    while (i < want.size() && i < seen.size() && want[i] == seen[i]) ++i;
    auto around = [i](const std::string& s) { return runner::escape(s.substr(i > 10 ? i - 10 : 0, 30)); };
    return "first difference at byte " + std::to_string(i) + " of " + std::to_string(want.size()) +
           " expected / " + std::to_string(seen.size()) + " seen: expected " + around(want) + ", saw " + around(seen);
}

class Stress : public scenario::Scenario {};

// In the background every byte arrives in the memo, in order.
TEST_F(Stress, BackgroundModeTypesEveryReadIntoTheMemoInOrder) {
    auto reads = random_reads(60000);
    run({"launch"});
    ASSERT_TRUE(settles("expect worker running"));
    // In batches the driver's queue holds; the memo holds 30000 characters.
    for (std::size_t at = 0; at < reads.size();) {
        std::string batch;
        for (std::size_t k = 0; k < zel::control::queue_limit && at < reads.size(); ++k, ++at) {
            ASSERT_EQ(runner::link::scan(reads[at]), "") << "read " << at;
            batch += reads[at];
        }
        ASSERT_TRUE(pf::wait_quiet(std::chrono::seconds(60))) << "the device did not take the reads up to " << at;
        std::string seen = bytes_of(ud::text_of(device().memo_edit()));
        ASSERT_TRUE(seen == batch) << first_difference(batch, seen);
        clear_memo();
        pf::trace_clear();  // a flood types hundreds of thousands of keys
    }
    run({"expect running", "expect tray 1", "expect messagebox none"});
}

// Every command over and over, from a background start to the tray's Exit;
// each round ends holding what the device held before the launch.
TEST_F(Stress, EveryCommandOverAndOverLeaksNothing) {
    const Holdings before = holdings();
    for (int i = 1; i <= 10; ++i) {
        SCOPED_TRACE("round " + std::to_string(i));
        std::string read = "\"round " + std::to_string(i) + "\"";
        round_trip({"launch"}, {"expect window hidden", "expect tray 1", "expect worker running"});
        run({"scan " + read, "expect text memo " + read});
        // A second launch finds the first and leaves at once.
        run({"launch", "expect exit 0 " + std::to_string(2 * i), "expect running " + std::to_string(2 * i - 1)});
        round_trip({"tap tray"}, {"expect popup open"});
        round_trip({"popup none"}, {"expect popup closed"});
        round_trip({"post 1325"}, {"expect window shown", "expect tray 0", "expect reader closed"});
        // The read display, closed by Return in a single-line field or by Cancel.
        round_trip({"menu IDM_EXEC_DISPLAY"}, {"expect dialog IDD_READDISPLAY", "expect worker running", "expect reader open"});
        run({"scan " + read, "expect text IDC_READ_DATA " + read});
        if (i % 2) run({"focus IDC_BARCODE_TYPE"});
        round_trip({i % 2 ? "key return" : "press cancel"},
                   {"expect dialog none", "expect worker stopped", "expect reader closed", "expect window shown"});
        round_trip({"menu IDM_EXEC_KEYOUT"}, {"expect window hidden", "expect tray 1", "expect mode 3", "expect reader open"});
        round_trip({"tap tray"}, {"expect popup open"});
        round_trip({"popup IDM_TRAY_EXIT"}, {"expect exit 0 " + std::to_string(2 * i - 1)});
        run({"sync"});
        Holdings now = holdings();
        EXPECT_TRUE(now == before) << "holding " << now << ", " << before << " before the launch";
        for (int k = 1; device().launch_process(k); ++k)
            EXPECT_TRUE(ud::windows_of(device().launch_process(k)).empty()) << "pendrel#" << k << " left a window";
        if (HasFailure()) return;
        clear_memo();
        pf::trace_clear();
    }
}

// Rounds of everyday use (reads, the tray popup, the read display and the
// About box) leave Pendrel holding what it held after the first: a popup
// menu, a paint's device context or an event it never gives back shows.
TEST_F(Stress, EverydayUseHoldsAfterTheLastRoundWhatItHeldAfterTheFirst) {
    auto* pendrel = runner::soak::launch(device());
    std::mt19937 random(7);
    runner::soak::run_round(device(), {}, random);
    const auto first = runner::link::holdings_of(pendrel);
    for (int i = 0; i < 3; ++i) runner::soak::run_round(device(), {}, random);
    EXPECT_EQ(runner::soak::growth(first, runner::link::holdings_of(pendrel)), "")
        << runner::soak::describe(first) << " after the first round";
}

}  // namespace

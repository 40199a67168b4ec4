// The operator's whole repertoire over and over: second launches, the read
// display opened and closed, read key output, tray taps and popup choices,
// the restore command. One Pendrel keeps running, and each round leaves the
// device holding what it held before.
#include "stress.hpp"

namespace {

using namespace stress;

int running_launches() {
    int n = 0;
    pf::Lock lock(pf::device_mutex());
    for (int i = 1;; ++i) {
        pf::Process* p = device().launch_process(i);
        if (!p) return n;
        if (!p->ended) ++n;
    }
}

// Runs the lines, then waits for each expectation to settle.
void round_trip(std::initializer_list<const char*> actions, std::initializer_list<const char*> settled) {
    run(actions);
    for (const char* e : settled) ASSERT_TRUE(settles(e)) << "after " << *(actions.end() - 1);
}

using Loop = StressTest;

TEST_F(Loop, ShownProgramThroughEveryCommandStaysAloneAndLeaksNothing) {
    const int rounds = count(25);
    const Holdings before_launch = holdings();
    write_settings("Display On*");
    run({"launch", "expect window shown", "expect tray 0"});
    std::optional<Holdings> after_round;
    for (int i = 1; i <= rounds; ++i) {
        SCOPED_TRACE("round " + std::to_string(i));
        // A second launch finds the first and leaves at once.
        round_trip({"launch", "wait-exit"}, {"expect exit 0", "expect running 1"});
        ASSERT_EQ(running_launches(), 1);

        // The read display: a read arrives in its field; closing stops the worker.
        round_trip({"menu 40004"}, {"expect dialog 104", "expect worker running", "expect reader open"});
        std::string read = "round " + std::to_string(i);
        run({("scan \"" + read + "\"").c_str(), ("expect text 1001 \"" + read + "\"").c_str()});
        // Closed by Return in the single-line field, or by the close button.
        if (i % 2) run("focus 1003");
        round_trip({i % 2 ? "key return" : "press cancel"},
                   {"expect dialog none", "expect worker stopped", "expect reader closed", "expect window shown"});

        // Read key output hides in the tray; taps open and close the popup.
        round_trip({"menu 40005"}, {"expect window hidden", "expect tray 1", "expect mode 3", "expect reader open"});
        round_trip({"tap tray"}, {"expect popup open"});
        round_trip({"popup none"}, {"expect popup closed"});
        round_trip({"tap tray"}, {"expect popup open"});
        round_trip({"tap tray"}, {"expect popup closed"});
        ASSERT_EQ(running_launches(), 1);

        // Restore brings the window back and takes the icon away.
        round_trip({"post 1325"}, {"expect window shown", "expect tray 0", "expect reader closed"});
        run({"expect messagebox none", "expect running 1"});

        // Every round ends where the first one ended.
        if (!after_round) {
            ASSERT_TRUE(eventually([] { return live_threads(device().launch_process(1)) == 1; }));
            after_round = holdings();
        }
        Holdings now;
        EXPECT_TRUE(eventually([&] { return (now = holdings()) == *after_round; }))
            << "holding " << now << " after the first round " << *after_round;
        if (HasFailure()) return;
        pf::trace_clear();
    }
    ASSERT_EQ(running_launches(), 1);

    // The tray's Exit ends it and takes everything it held along.
    round_trip({"menu 40005", "tap tray"}, {"expect popup open"});
    round_trip({"popup 1324"}, {"expect exit 0 1"});
    EXPECT_EQ(running_launches(), 0);
    Holdings now;
    EXPECT_TRUE(eventually([&] { return (now = holdings()) == before_launch; }))
        << "holding " << now << " after the exit, " << before_launch << " before the launch";
    for (int n = 1; device().launch_process(n); ++n)
        EXPECT_TRUE(ud::windows_of(device().launch_process(n)).empty()) << "pendrel#" << n << " left a window";
}

TEST_F(Loop, BackgroundStartsEndedFromTheTrayLeakNothing) {
    const int rounds = count(10);
    const Holdings before = holdings();
    for (int i = 1; i <= rounds; ++i) {
        SCOPED_TRACE("launch " + std::to_string(i));
        // Each round launches twice: the program, then a second copy.
        std::string n = std::to_string(2 * i - 1), second = std::to_string(2 * i);
        round_trip({"launch"}, {"expect window hidden", "expect tray 1", "expect worker running"});
        ASSERT_EQ(running_launches(), 1);
        std::string read = "round " + std::to_string(i);
        run({("scan \"" + read + "\"").c_str(), ("expect text memo \"" + read + "\"").c_str()});
        round_trip({"tap tray"}, {"expect popup open"});
        round_trip({"popup none"}, {"expect popup closed"});
        // A second launch while the first runs in the background.
        round_trip({"launch", "wait-exit"}, {("expect exit 0 " + second).c_str()});
        round_trip({"tap tray"}, {"expect popup open"});
        round_trip({"popup 1324"}, {("expect exit 0 " + n).c_str()});
        ASSERT_EQ(running_launches(), 0);
        Holdings now;
        EXPECT_TRUE(eventually([&] { return (now = holdings()) == before; }))
            << "holding " << now << ", " << before << " before the launch";
        for (int k = 1; device().launch_process(k); ++k)
            EXPECT_TRUE(ud::windows_of(device().launch_process(k)).empty()) << "pendrel#" << k << " left a window";
        if (HasFailure()) return;
        // The memo starts empty for the next launch's read.
        clear_memo();
        pf::trace_clear();
    }
}

}  // namespace

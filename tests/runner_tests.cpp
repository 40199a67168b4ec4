// The runner's own behaviour: failed expectations and impossible actions end
// a script with a message naming the line and what the device showed.
#include "app_scenario.hpp"

#include <sstream>

namespace {

// The error that running `script` (as "t.scn") ends with, or "(none)".
std::string failure_of(const std::string& script) {
    std::istringstream in(script);
    try {
        scenario::device().run_script(in, "t.scn");
    } catch (const runner::ScriptError& e) {
        return e.what();
    }
    return "(none)";
}

class Runner : public scenario::Scenario {};

TEST_F(Runner, FailedExpectationsNameTheLineAndWhatWasSeen) {
    struct Case {
        const char* script;
        const char* message;
    } cases[] = {
        {"expect tray 1", "t.scn:1: expected 1 tray icon(s), saw 0"},
        {"# memo only\n\nexpect text memo \"x\"", "t.scn:3: expected text \"x\", saw \"\""},
        {"expect messagebox \"a\" \"b\"", "t.scn:1: expected message box \"b\" \"a\", saw none"},
        {"expect dialog 104", "t.scn:1: expected dialog 104, saw no dialog"},
        {"expect popup open", "t.scn:1: expected the popup open, saw closed"},
        {"expect reader open", "t.scn:1: expected the reader open, saw closed"},
        {"expect mode 3", "t.scn:1: expected buffer mode 3, saw 0"},
        {"expect trace \"ZELOpen\"", "t.scn:1: expected a trace line containing \"ZELOpen\", saw none"},
        {"expect running", "t.scn:1: expected a running Pendrel, saw nothing launched"},
        {"launch\nexpect exit 0", "t.scn:2: expected pendrel#1 exited with code 0, saw pendrel#1 is running"},
    };
    for (const auto& c : cases) {
        scenario::device().reset();
        EXPECT_EQ(failure_of(c.script), c.message) << c.script;
    }
}

TEST_F(Runner, ActionsWithNothingToActOnAreErrors) {
    struct Case {
        const char* script;
        const char* message;
    } cases[] = {
        {"answer ok", "t.scn:1: no message box is open"},
        {"popup 1324", "t.scn:1: no popup menu is open"},
        {"press ok", "t.scn:1: no dialog is open"},
        {"focus 1001", "t.scn:1: no dialog is open"},
        {"tap tray", "t.scn:1: the tray has no icon 1"},
        {"post 1325", "t.scn:1: Pendrel has no window to post to"},
        {"menu 40002", "t.scn:1: no command bar on the screen carries command 40002"},
        {"type \"\\x80\"", "t.scn:1: no key of the device keyboard types \"\x80\""},
        {"wait-exit 10", "t.scn:1: nothing was launched"},
        {"launch\ntap tray\npopup 40002", "t.scn:3: the popup menu has no item 40002"},
        {"launch\nmenu 40002", "t.scn:2: no command bar on the screen carries command 40002"},  // hidden window
    };
    for (const auto& c : cases) {
        scenario::device().reset();
        EXPECT_EQ(failure_of(c.script), c.message) << c.script;
    }
}

TEST_F(Runner, OperatorTypingReachesTheMemoThroughTheKeyboard) {
    EXPECT_EQ(failure_of("type \"Hello, \\\"World\\\"!\\r:*\"\nexpect text memo \"Hello, \\\"World\\\"!\\r\\n:*\"\n"
                         "key backspace\nexpect text memo \"Hello, \\\"World\\\"!\\r\\n:\""),
              "(none)");
}

TEST_F(Runner, ScanAndFilesReachTheDevice) {
    EXPECT_EQ(failure_of("file \\FlashDisk\\Velmira\\PENDRELTOOL.ini \"Display On*\"\nlaunch\nexpect window shown\n"
                         "menu 40002\nwait-exit\nremove \\FlashDisk\\Velmira\\PENDRELTOOL.ini\nlaunch\n"
                         "expect window hidden\nscan \"ok\"\nexpect text memo \"ok\""),
              "(none)");
}

}  // namespace

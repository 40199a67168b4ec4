// The runner's own behaviour: what the operator's commands do, and how a
// failed expectation or an impossible action ends a script: a message naming
// the line and what the device showed.
#include "app_scenario.hpp"

#include <sstream>
#include "../res/resource.h"

namespace {

class Runner : public scenario::Scenario {};

TEST_F(Runner, ScriptsEndWithTheirLineAndWhatTheDeviceShowed) {
    struct Case {
        const char* script;
        std::string message;  // "(none)": the script runs to its end
    } cases[] = {
        {"expect tray 1", "t.scn:1: expected 1 tray icon(s), saw 0"},
        {"# memo only\n\nexpect text memo \"x\"", "t.scn:3: expected text \"x\", saw \"\""},
        {"expect messagebox \"a\" \"b\"", "t.scn:1: expected message box \"b\" \"a\", saw none"},
        {"expect dialog IDD_READDISPLAY", "t.scn:1: expected dialog " + std::to_string(IDD_READDISPLAY) + ", saw no dialog"},
        {"expect popup open", "t.scn:1: expected the popup open, saw closed"},
        {"expect reader open", "t.scn:1: expected the reader open, saw closed"},
        {"expect mode 3", "t.scn:1: expected buffer mode 3, saw 0"},
        {"expect trace \"ZELOpen\"", "t.scn:1: expected a trace line containing \"ZELOpen\", saw none"},
        {"expect running", "t.scn:1: expected a running Pendrel, saw nothing launched"},
        {"launch\nexpect exit 0", "t.scn:2: expected pendrel#1 exited with code 0, saw pendrel#1 is running"},
        {"answer ok", "t.scn:1: no message box is open"},
        {"popup IDM_TRAY_EXIT", "t.scn:1: no popup menu is open"},
        {"press ok", "t.scn:1: no dialog is open"},
        {"focus IDC_READ_DATA", "t.scn:1: no dialog is open"},
        {"tap tray", "t.scn:1: the tray has no icon 1"},
        {"tap close", "t.scn:1: no enabled window in front has a Close button"},  // the memo has none
        {"post IDM_TRAY_RESTORE", "t.scn:1: Pendrel has no window to post to"},
        {"menu IDM_EXIT", "t.scn:1: no command bar on the screen carries command " + std::to_string(IDM_EXIT)},
        {"type \"\\x80\"", "t.scn:1: no key of the device keyboard types \"\x80\""},
        {"wait-exit 10", "t.scn:1: nothing was launched"},
        {"launch\ntap tray\npopup IDM_EXIT", "t.scn:3: the popup menu has no item " + std::to_string(IDM_EXIT)},
        {"launch\nmenu IDM_EXIT", "t.scn:2: no command bar on the screen carries command " + std::to_string(IDM_EXIT)},  // hidden window
        // The operator's typing reaches the memo through the device keyboard.
        {"type \"Hello, \\\"World\\\"!\\r:*\"\nexpect text memo \"Hello, \\\"World\\\"!\\r\\n:*\"\n"
         "key backspace\nexpect text memo \"Hello, \\\"World\\\"!\\r\\n:\"",
         "(none)"},
        // A script's files stay in the device folders.
        {"file \\Windows\\x.ini \"a\"",
         "t.scn:1: a script's files lie in the device folders (\\FlashDisk\\...), not at \\Windows\\x.ini"},
        {"remove \\flashdisk\\..\\x", "t.scn:1: a device path starts with \\ and has no . or .. in it: \\flashdisk\\..\\x"},
    };
    for (const auto& c : cases) {
        scenario::device().reset();
        std::istringstream in(c.script);
        std::string failure = "(none)";
        try {
            runner::run_lines(in, "t.scn", [](const runner::Command& c) { return scenario::device().run(c); });
        } catch (const runner::ScriptError& e) {
            failure = e.what();
        }
        EXPECT_EQ(failure, c.message) << c.script;
    }
}

}  // namespace

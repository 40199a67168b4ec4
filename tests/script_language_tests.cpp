// The device runner's command language: what it accepts, where each argument
// lands, and how it names a bad line.
#include <gtest/gtest.h>

#include <sstream>

#include "table.hpp"
#include "../res/resource.h"

namespace {

using runner::parse_line;
using runner::ScriptError;

TEST(DeviceScript, BadLinesNameTheLineAndTheProblem) {
    struct Case {
        const char* line;
        const char* message;
    } cases[] = {
        {"frobnicate 3", "t.scn:7: unknown command 'frobnicate'"},
        {"scan \"abc\\q\"", "t.scn:7: bad escape \\q"},
        {"scan \"ab\\x4\"", "t.scn:7: bad escape: \\x needs two hex digits"},
        {"scan \"abc", "t.scn:7: unterminated string"},
        {"scan \"abc\\\"", "t.scn:7: unterminated string"},
        {"answer maybe", "t.scn:7: unknown answer 'maybe' (expected ok|cancel|retry)"},
        {"fail ZELFoo", "t.scn:7: unknown fault 'ZELFoo' (expected ZELOpen|ZELChangeBuffMode|CreateThread|"
                        "CreateFileW|ReadFile)"},
        {"key alt+zz", "t.scn:7: unknown key chord 'alt+zz'"},
        {"expect colour blue", "t.scn:7: unknown expectation 'colour'"},
        {"expect dialog 105", "t.scn:7: unknown dialog '105' (expected 103|104|none)"},
        {"expect mode 1", "t.scn:7: unknown buffer mode '1' (expected 0|3)"},
        {"menu exit", "t.scn:7: command id must be a number, got exit"},
        {"menu IDM_EXITS", "t.scn:7: unknown id 'IDM_EXITS' (res/resource.h names no such id)"},
        {"sync -0x8000000000000000", "t.scn:7: MS must be a number, got -0x8000000000000000"},
        {"scan abc", "t.scn:7: DATA must be a double-quoted string, got abc"},
        {"scan", "t.scn:7: scan: missing DATA"},
        {"launch now", "t.scn:7: unexpected 'now' after the arguments of launch"},
        {"expect messagebox none \"x\"", "t.scn:7: unexpected 'x' after the arguments of expect messagebox"},
        {"focus dialog", "t.scn:7: unknown focus target 'dialog' (expected memo, editor or a control id)"},
        {"popup exit", "t.scn:7: unknown popup item 'exit' (expected an item id or none)"},
        {"expect messagebox \"a\"", "t.scn:7: expect messagebox: missing CAPTION"},
        {"\"scan\" \"a\"", "t.scn:7: a command must start with its name, not a string"},
    };
    for (const auto& c : cases) {
        std::string error = "(no error)";
        try {
            parse_line(c.line, "t.scn", 7);
        } catch (const ScriptError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.message) << "line: " << c.line;
    }
    std::istringstream script("launch\n# fine\n\nscan \"a\"\nanswer later\nquit\n");
    std::string error;
    try {
        runner::run_lines(script, "demo.scn", [](const runner::Command&) { return true; });
    } catch (const ScriptError& e) {
        error = e.what();
    }
    EXPECT_EQ(error, "demo.scn:5: unknown answer 'later' (expected ok|cancel|retry)");
}

TEST(DeviceScript, ArgumentsLandInTheirFields) {
    struct Case {
        const char* line;
        std::string command, form;  // form: of an expect line
        std::string text, data;
        std::optional<long long> number, launch;
    } cases[] = {
        {R"(file \FlashDisk\x.ini "Display On*\r\n")", "file", "", "\\FlashDisk\\x.ini", "Display On*\r\n", {}, {}},
        {R"(scan "a\r\n\t\\\"\x41\x7f\xFF" # a comment)", "scan", "", "a\r\n\t\\\"A\x7f\xff", "", {}, {}},
        {"type \"\xef\xbd\xb0\"", "type", "", "\xef\xbd\xb0", "", {}, {}},  // UTF-8 passes through
        {"fail ZELOpen 0x80000001", "fail", "", "ZELOpen", "", 0x80000001LL, {}},
        {"fail CreateThread", "fail", "", "CreateThread", "", {}, {}},
        {"tap tray 2", "tap", "", "tray", "", 2, {}},
        {"popup none", "popup", "", "none", "", {}, {}},
        {"popup IDM_TRAY_EXIT", "popup", "", "", "", IDM_TRAY_EXIT, {}},
        {"wait-exit 4000", "wait-exit", "", "", "", 4000, {}},
        {R"(expect text IDC_READ_DATA "1234\r\n")", "expect", "text", "", "1234\r\n", IDC_READ_DATA, {}},
        {R"(expect messagebox "ZELﾄﾞﾗｲﾊﾞ ｵｰﾌﾟﾝ失敗" "ZELOpen Error")", "expect", "messagebox", "ZELﾄﾞﾗｲﾊﾞ ｵｰﾌﾟﾝ失敗",
         "ZELOpen Error", {}, {}},
        {"expect exit 0 2", "expect", "exit", "", "", 0, 2},
        {"expect window hidden 3", "expect", "window", "hidden", "", {}, 3},
        {"expect dialog none", "expect", "dialog", "none", "", {}, {}},
        {"expect mode 3", "expect", "mode", "", "", 3, {}},
    };
    for (const auto& c : cases) {
        auto parsed = parse_line(c.line, "t.scn", 1);
        ASSERT_TRUE(parsed) << c.line;
        EXPECT_EQ(parsed->command->name, c.command) << c.line;
        EXPECT_EQ(parsed->form ? parsed->form->name : "", c.form) << c.line;
        EXPECT_EQ(parsed->text, c.text) << c.line;
        EXPECT_EQ(parsed->data, c.data) << c.line;
        EXPECT_EQ(parsed->number, c.number) << c.line;
        EXPECT_EQ(parsed->launch, c.launch) << c.line;
    }
    for (const char* nothing : {"", "   \t", "# launch", "\r"}) EXPECT_FALSE(parse_line(nothing, "t", 1)) << nothing;
    std::string all;
    for (int i = 0; i < 256; ++i) all += char(i);
    auto quoted = runner::escape(all);
    EXPECT_EQ(runner::unescape(quoted.substr(1, quoted.size() - 2)), all);
}

TEST(DeviceKeys, ChordsPressModifiersAroundTheKey) {
    struct Case {
        const char* chord;
        std::vector<std::pair<int, bool>> strokes;  // vk, up; none: not a chord
    } cases[] = {
        {"alt+f4", {{0x12, false}, {0x73, false}, {0x73, true}, {0x12, true}}},
        {"alt+/", {{0x12, false}, {0xBF, false}, {0xBF, true}, {0x12, true}}},
        {"ctrl+shift+a", {{0x11, false}, {0x10, false}, {0x41, false}, {0x41, true}, {0x10, true}, {0x11, true}}},
        {"Return", {{0x0D, false}, {0x0D, true}}},
        {"7", {{0x37, false}, {0x37, true}}},
        {"alt++", {}},  // no '+' key on the device keyboard
        {"alt+alt+a", {}},
        {"f13", {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<int, bool>> seen;
        if (auto chord = runner::parse_chord(c.chord))
            for (auto s : runner::strokes_of(*chord)) seen.push_back({s.vk, s.up});
        EXPECT_EQ(seen, c.strokes) << c.chord;
    }
}

}  // namespace

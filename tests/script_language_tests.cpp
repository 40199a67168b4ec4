// The device runner's command language: what it accepts and how it names a bad line.
#include <gtest/gtest.h>

#include <sstream>

#include "script.hpp"

namespace {

using runner::Command;
using runner::Expect;
using runner::Op;
using runner::parse_line;
using runner::ScriptError;

// The message of the error that parsing `line` (as line 7 of t.scn) raises.
std::string error_of(const std::string& line) {
    try {
        parse_line(line, "t.scn", 7);
    } catch (const ScriptError& e) {
        return e.what();
    }
    return "(no error)";
}

Command parsed(const std::string& line) {
    auto c = parse_line(line, "t.scn", 1);
    EXPECT_TRUE(c.has_value()) << line;
    return c.value_or(Command{});
}

TEST(DeviceScriptErrors, NameTheLineAndTheProblem) {
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
        {"key meta+a", "t.scn:7: unknown key chord 'meta+a'"},
        {"expect colour blue", "t.scn:7: unknown expectation 'colour'"},
        {"expect dialog 105", "t.scn:7: unknown dialog '105' (expected 103|104|none)"},
        {"expect window open", "t.scn:7: unknown window state 'open' (expected shown|hidden)"},
        {"menu exit", "t.scn:7: command id must be a number, got exit"},
        {"wait -0x8000000000000000", "t.scn:7: MS must be a number, got -0x8000000000000000"},
        {"scan abc", "t.scn:7: DATA must be a double-quoted string, got abc"},
        {"scan", "t.scn:7: scan: missing DATA"},
        {"launch now", "t.scn:7: unexpected 'now' after the arguments of launch"},
        {"focus dialog", "t.scn:7: unknown focus target 'dialog' (expected memo or a control id)"},
        {"popup exit", "t.scn:7: unknown popup item 'exit' (expected an item id or none)"},
        {"expect messagebox \"a\"", "t.scn:7: expect messagebox: missing CAPTION"},
        {"\"scan\" \"a\"", "t.scn:7: a command must start with its name, not a string"},
    };
    for (const auto& c : cases) EXPECT_EQ(error_of(c.line), c.message) << "line: " << c.line;
}

TEST(DeviceScriptErrors, ScriptReportsTheFirstBadLineByNumber) {
    std::istringstream in("launch\n# fine\n\nscan \"a\"\nanswer later\nquit\n");
    try {
        runner::parse_script(in, "demo.scn");
        FAIL() << "no error";
    } catch (const ScriptError& e) {
        EXPECT_STREQ(e.what(), "demo.scn:5: unknown answer 'later' (expected ok|cancel|retry)");
    }
}

TEST(DeviceScriptStrings, EscapesDecodeToTheirBytes) {
    EXPECT_EQ(parsed(R"(scan "a\r\n\t\\\"\x41\x7f\xFF")").text, std::string("a\r\n\t\\\"A\x7f\xff"));
    EXPECT_EQ(parsed(R"(scan "")").text, "");
    EXPECT_EQ(parsed(R"(scan "x#y" # a comment)").text, "x#y");
    EXPECT_EQ(parsed("type \"\xef\xbd\xb0\"").text, "\xef\xbd\xb0");  // UTF-8 passes through
}

TEST(DeviceScriptStrings, EscapeIsTheInverseOfUnescape) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += char(i);
    auto quoted = runner::escape(all);
    EXPECT_EQ(runner::unescape(quoted.substr(1, quoted.size() - 2)), all);
}

TEST(DeviceScriptCommands, BlankAndCommentLinesAreNothing) {
    EXPECT_FALSE(parse_line("", "t", 1));
    EXPECT_FALSE(parse_line("   \t", "t", 1));
    EXPECT_FALSE(parse_line("# launch", "t", 1));
    EXPECT_FALSE(parse_line("\r", "t", 1));
}

TEST(DeviceScriptCommands, ArgumentsLandInTheirFields) {
    auto file = parsed(R"(file \FlashDisk\Velmira\PENDRELTOOL.ini "Display On*\r\n")");
    EXPECT_EQ(file.op, Op::file);
    EXPECT_EQ(file.text, "\\FlashDisk\\Velmira\\PENDRELTOOL.ini");
    EXPECT_EQ(file.data, "Display On*\r\n");

    auto fail = parsed("fail ZELOpen 0x80000001");
    EXPECT_EQ(fail.text, "ZELOpen");
    EXPECT_EQ(fail.number, 0x80000001LL);
    EXPECT_FALSE(parsed("fail CreateThread").number);

    auto text = parsed(R"(expect text 1001 "1234\r\n")");
    EXPECT_EQ(text.expect, Expect::text);
    EXPECT_EQ(text.number, 1001);
    EXPECT_EQ(text.data, "1234\r\n");

    auto box = parsed(R"(expect messagebox "ZELﾄﾞﾗｲﾊﾞ ｵｰﾌﾟﾝ失敗" "ZELOpen Error")");
    EXPECT_EQ(box.text, "ZELﾄﾞﾗｲﾊﾞ ｵｰﾌﾟﾝ失敗");
    EXPECT_EQ(box.data, "ZELOpen Error");

    auto exit = parsed("expect exit 0 2");
    EXPECT_EQ(exit.number, 0);
    EXPECT_EQ(exit.launch, 2);

    EXPECT_EQ(parsed("expect dialog none").text, "none");
    EXPECT_EQ(parsed("popup none").text, "none");
    EXPECT_EQ(parsed("popup 1324").number, 1324);
    EXPECT_EQ(parsed("sync").number, std::nullopt);
    EXPECT_EQ(parsed("wait-exit 4000").number, 4000);
    EXPECT_EQ(parsed("tap tray").op, Op::tap_tray);
}

TEST(DeviceKeys, ChordsPressModifiersAroundTheKey) {
    struct Case {
        const char* chord;
        std::vector<std::pair<int, bool>> strokes;  // vk, up
    } cases[] = {
        {"alt+f4", {{0x12, false}, {0x73, false}, {0x73, true}, {0x12, true}}},
        {"alt+/", {{0x12, false}, {0xBF, false}, {0xBF, true}, {0x12, true}}},
        {"shift+tab", {{0x10, false}, {0x09, false}, {0x09, true}, {0x10, true}}},
        {"ctrl+shift+a", {{0x11, false}, {0x10, false}, {0x41, false}, {0x41, true}, {0x10, true}, {0x11, true}}},
        {"Return", {{0x0D, false}, {0x0D, true}}},
        {"backspace", {{0x08, false}, {0x08, true}}},
        {"escape", {{0x1B, false}, {0x1B, true}}},
        {"alt++", {}},  // no '+' key on the device keyboard
        {"7", {{0x37, false}, {0x37, true}}},
    };
    for (const auto& c : cases) {
        auto chord = runner::parse_chord(c.chord);
        if (c.strokes.empty()) {
            EXPECT_FALSE(chord) << c.chord;
            continue;
        }
        ASSERT_TRUE(chord) << c.chord;
        std::vector<std::pair<int, bool>> seen;
        for (auto s : runner::strokes_of(*chord)) seen.push_back({s.vk, s.up});
        EXPECT_EQ(seen, c.strokes) << c.chord;
    }
    EXPECT_FALSE(runner::parse_chord("alt+alt+a"));
    EXPECT_FALSE(runner::parse_chord("f13"));
    EXPECT_FALSE(runner::parse_chord(""));
}

}  // namespace

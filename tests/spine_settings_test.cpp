// The settings file, read from a device file system in a host folder.
#include "spine_fixture.hpp"

#include "settings.h"

namespace {

using namespace std::string_literals;

struct SettingsCase {
    const char* name;
    std::string content;
    int result;         // ReadStartupSetting: 1 or 0
    std::size_t reads;  // its ReadFile calls: through the deciding asterisk, or to the end and one more
};

const std::string filler(1500, 'x');  // more than a line holds

const SettingsCase settings_cases[] = {
    {"empty file", "", 0, 1},
    {"Display On", "Display On*", 1, 11},
    {"Display Off", "Display Off*", 0, 12},
    {"other text first", "other text\r\nDisplay On*\r\n", 1, 23},
    {"text between the setting and its asterisk", "Display On and more text*", 1, 25},
    {"the first recognised line decides", "Display Off*\r\nDisplay On*\r\n", 0, 12},
    {"Display On before Display Off", "Display On*\nDisplay Off*\n", 1, 11},
    {"lower case", "display on*", 0, 12},
    {"no asterisk, no comparison", "Display On", 0, 11},
    {"a space first", " Display On*", 0, 13},
    {"Display Of matches neither, reading goes on", "Display Of*\r\nDisplay On*", 1, 24},
    {"text after an unmatched asterisk starts a line", "*Display On*", 1, 12},
    {"junk, Display Off, Display On on one line", "junk*Display Off*Display On*", 0, 17},
    {"a long line keeps its first bytes", "Display On" + filler + "*", 1, 1511},
    {"a long line of nothing", filler + "*", 0, 1502},
    {"a long line, then Display On", filler + "\r\nDisplay On*", 1, 1513},
    {"a long line, asterisk, Display On", filler + "*Display On*", 1, 1512},
    {"NULs between the setting and its asterisk", "Display On\0\0\0*"s, 1, 14},
    {"a NUL before the setting", "\0Display On*"s, 0, 13},
    {"a NUL inside the setting", "Display\0On*"s, 0, 12},
    {"Display Off with a NUL, then Display On", "Display Off\0*\nDisplay On*"s, 0, 13},
    {"CR LF, CR, LF mixed", "abc\r\n\r\rx\n\n\rDisplay On*", 1, 22},
    {"a line break inside the setting", "Display\r\nOn*", 0, 13},
    {"a CR before the asterisk", "Display On\r*", 0, 13},
};

class Settings : public FreshDevice {
protected:
    TempDeviceRoot root;
    const char* const path = "FlashDisk/Velmira/PENDRELTOOL.ini";
};

// Each answer, with no read past the deciding byte and the file closed.
TEST_F(Settings, EachFileGivesItsAnswer) {
    for (const auto& c : settings_cases) {
        root.write(path, c.content);
        pf::kernel::restart_handle_names();
        TracedProcess app;
        EXPECT_EQ(ReadStartupSetting(), c.result) << c.name;
        EXPECT_EQ(app.calls_starting("ReadFile").size(), c.reads) << c.name;
        EXPECT_EQ(pf::kernel::live_handle_count(app.process()), 0u) << c.name << ": the file was left open";
    }
}

TEST_F(Settings, FailedReadIsMinusOneAndClosesTheFile) {
    root.write(path, "Display On*");
    TracedProcess app;
    pf::kernel::fail_next(pf::kernel::Call::ReadFile);
    EXPECT_EQ(ReadStartupSetting(), -1);
    EXPECT_TRUE(same_sequence({"ReadFile(file#1, buffer, 1, &read, NULL) = FALSE [ERROR_READ_FAULT]"},
                              app.calls_starting("ReadFile"), "reads of the file"));
    EXPECT_EQ(pf::kernel::live_handle_count(app.process()), 0u);
}

TEST_F(Settings, UnopenableFileIsMinusOne) {
    root.write(path, "Display On*");
    pf::kernel::fail_next(pf::kernel::Call::CreateFileW);
    EXPECT_EQ(ReadStartupSetting(), -1);
    std::filesystem::remove(root.path() / path);
    std::filesystem::create_directories(root.path() / path);
    EXPECT_EQ(ReadStartupSetting(), -1);  // a folder where the file should be
}

}  // namespace

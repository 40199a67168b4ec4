// The settings file, read from a device file system in a host folder.
#include "spine_fixture.hpp"

#include "settings.h"

namespace {

class Settings : public FreshDevice {
protected:
    TempDeviceRoot root;
    int read_with(const std::string& content) {
        root.write("FlashDisk/Velmira/PENDRELTOOL.ini", content);
        TracedProcess app;
        int result = ReadStartupSetting();
        EXPECT_EQ(pf::kernel::live_handle_count(app.process()), 0u) << "the file was left open";
        return result;
    }
};

TEST_F(Settings, MissingFileIsMinusOne) {
    TracedProcess app;
    EXPECT_EQ(ReadStartupSetting(), -1);
    EXPECT_TRUE(same_sequence(
        {
            "CreateFileW(\"\\\\FlashDisk\\\\Velmira\\\\PENDRELTOOL.ini\", GENERIC_READ, FILE_SHARE_READ, NULL, "
            "OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL) = INVALID_HANDLE_VALUE [ERROR_PATH_NOT_FOUND]",
            "GetLastError() = ERROR_PATH_NOT_FOUND",
        },
        app.calls(), "calls"));
}

TEST_F(Settings, EmptyFileIsZero) { EXPECT_EQ(read_with(""), 0); }

TEST_F(Settings, ReadsOneByteAtATimeAndStopsAtTheDecidingLine) {
    root.write("FlashDisk/Velmira/PENDRELTOOL.ini", "Display On*tail");
    TracedProcess app;
    EXPECT_EQ(ReadStartupSetting(), 1);
    auto calls = app.calls();
    ASSERT_EQ(calls.size(), 13u);
    EXPECT_EQ(calls[1], "ReadFile(file#1, buffer, 1, &read, NULL) = TRUE [read 1]");
    EXPECT_EQ(calls[11], "ReadFile(file#1, buffer, 1, &read, NULL) = TRUE [read 1]");
    EXPECT_EQ(calls[12], "CloseHandle(file#1) = TRUE");
}

TEST_F(Settings, RecognisedLines) {
    EXPECT_EQ(read_with("Display On*"), 1);
    EXPECT_EQ(read_with("Display Off*"), 0);
    EXPECT_EQ(read_with("other text\r\nDisplay On*\r\n"), 1);
    EXPECT_EQ(read_with("other\rDisplay On*"), 1);
    EXPECT_EQ(read_with("other\nDisplay On*"), 1);
    EXPECT_EQ(read_with("Display On and more text*"), 1);
}

TEST_F(Settings, FirstRecognisedLineDecides) {
    EXPECT_EQ(read_with("Display Off*\r\nDisplay On*\r\n"), 0);
    EXPECT_EQ(read_with("Display On*\nDisplay Off*\n"), 1);
}

TEST_F(Settings, UnrecognisedLinesGiveZero) {
    EXPECT_EQ(read_with("display on*"), 0);
    EXPECT_EQ(read_with("Display Of*"), 0);
    EXPECT_EQ(read_with("Display On"), 0);  // no asterisk, no comparison
    EXPECT_EQ(read_with(" Display On*"), 0);
}

TEST_F(Settings, TextAfterAnUnmatchedAsteriskStartsANewLine) {
    EXPECT_EQ(read_with("*Display On*"), 1);
    EXPECT_EQ(read_with("junk*Display Off*Display On*"), 0);
}

TEST_F(Settings, LongLinesKeepTheirFirstBytes) {
    std::string filler(1500, 'x');
    EXPECT_EQ(read_with("Display On" + filler + "*"), 1);
    EXPECT_EQ(read_with(filler + "*"), 0);
    EXPECT_EQ(read_with(filler + "\r\nDisplay On*"), 1);
    EXPECT_EQ(read_with(filler + "*Display On*"), 1);
}

TEST_F(Settings, PathIsMatchedWithoutRegardToCase) {
    root.write("flashdisk/VELMIRA/pendreltool.INI", "Display On*");
    TracedProcess app;
    EXPECT_EQ(ReadStartupSetting(), 1);
}

TEST_F(Settings, FailedReadIsMinusOneAndClosesTheFile) {
    root.write("FlashDisk/Velmira/PENDRELTOOL.ini", "Display On*");
    TracedProcess app;
    pf::kernel::fail_next(pf::kernel::Call::ReadFile);
    EXPECT_EQ(ReadStartupSetting(), -1);
    EXPECT_TRUE(same_sequence({"ReadFile(file#1, buffer, 1, &read, NULL) = FALSE [ERROR_READ_FAULT]"},
                              app.calls_starting("ReadFile"), "reads of the file"));
    EXPECT_EQ(pf::kernel::live_handle_count(app.process()), 0u);
}

TEST_F(Settings, UnopenableFileIsMinusOne) {
    TracedProcess app;
    root.write("FlashDisk/Velmira/PENDRELTOOL.ini", "Display On*");
    pf::kernel::fail_next(pf::kernel::Call::CreateFileW);
    EXPECT_EQ(ReadStartupSetting(), -1);
    std::filesystem::remove(root.path() / "FlashDisk/Velmira/PENDRELTOOL.ini");
    std::filesystem::create_directories(root.path() / "FlashDisk/Velmira/PENDRELTOOL.ini");
    EXPECT_EQ(ReadStartupSetting(), -1);  // a folder where the file should be
}

}  // namespace

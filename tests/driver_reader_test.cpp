// The simulated reader as the application and the operator meet it, on both
// drivers: the host driver on the emulated device and, built with mingw-w64,
// TOLVEN.dll under Wine (its control side over the pipe). Written against the
// Win32 API, the driver operations and zel_control.hpp only.
#include "conformance/conformance.hpp"
#include "keys.h"
#include "reader.h"
#include "zel_control.hpp"

#include <cstdio>

using namespace conformance;

namespace {

class Driver : public ::testing::Test {
protected:
    void SetUp() override { zel::control::reset(); }
    static void open_reader(DWORD mode) {
        ASSERT_EQ(ZELChangeBuffMode(mode), 0u);
        ASSERT_EQ(ZELOpen(NULL, 0), 0u);
    }
    // ZELPollStatus's two words, as "status 0x301 pending 2".
    static std::string poll() {
        DWORD status = 0xDEAD, pending = 0xDEAD;
        EXPECT_EQ(ZELPollStatus(&status, &pending), 0u);
        char text[48];
        std::snprintf(text, sizeof text, "status 0x%03lX pending %lu", (unsigned long)status, (unsigned long)pending);
        return text;
    }
    BYTE buffer[READ_BUFFER_SIZE];
    DWORD info = 0;
    BYTE length = 0;
};

TEST_F(Driver, RefusedScansAreNamedAndTheRestComeOutInScanOrder) {
    EXPECT_EQ(zel::control::scan("123").message, "refused: the reader is closed, the trigger does nothing");
    open_reader(0);
    EXPECT_TRUE(zel::control::scan("").accepted);  // an empty barcode is still a read
    EXPECT_TRUE(zel::control::scan(std::string(255, 'x')).accepted);
    EXPECT_NE(zel::control::scan(std::string(256, 'x')).message.find("read of 256 bytes"), std::string::npos);
    for (std::size_t i = 2; i < zel::control::queue_limit; ++i)
        ASSERT_TRUE(zel::control::scan("r" + std::to_string(i)).accepted);
    EXPECT_EQ(zel::control::scan("one too many").message, "refused: 64 reads already wait to be fetched");
    EXPECT_EQ(poll(), "status 0x001 pending 64");
    for (std::size_t i = 0; i < zel::control::queue_limit; ++i) {
        ASSERT_EQ(ZELReadData(buffer, &info, &length), 0u);
        std::string expected = i == 0 ? "" : i == 1 ? std::string(255, 'x') : "r" + std::to_string(i);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), length), expected);
        EXPECT_EQ(info, zel::control::queue_limit - 1 - i) << "the info word holds the reads still waiting";
    }
    info = 7;
    EXPECT_EQ(ZELReadData(buffer, &info, &length), ZEL_ERR_NO_DATA);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(info, 0u);
}

// Bit 0 open, bits 8-15 the mode; pending counts the reads waiting in
// either mode, until a close forgets them. The window given is kept.
TEST_F(Driver, StatusPendingAndWindowFollowEachCall) {
    EXPECT_EQ(poll(), "status 0x000 pending 0");
    HWND window = create_recording_window(TEXT("target"), WS_OVERLAPPEDWINDOW);
    ASSERT_EQ(ZELOpen(window, 0), 0u);
    EXPECT_EQ(zel::control::open_target(), window);
    zel::control::scan("a");
    zel::control::scan("b");
    EXPECT_EQ(poll(), "status 0x001 pending 2");
    ASSERT_EQ(ZELChangeBuffMode(3), 0u);
    EXPECT_EQ(poll(), "status 0x301 pending 2");
    ZELClose();
    EXPECT_EQ(poll(), "status 0x300 pending 0");
    DestroyWindow(window);
}

TEST_F(Driver, WrongArgumentsAndArmedFaultsChangeNothing) {
    EXPECT_EQ(ZELChangeBuffMode(1), ZEL_ERR_PARAMETER);
    zel::control::fail_next_buffer_mode(ZEL_ERR_BUFFER_MODE);
    EXPECT_EQ(ZELChangeBuffMode(3), ZEL_ERR_BUFFER_MODE);
    zel::control::fail_next_open(ZEL_ERR_TRIGGER_KEY);
    EXPECT_EQ(ZELOpen(NULL, 0), ZEL_ERR_TRIGGER_KEY);
    EXPECT_EQ(poll(), "status 0x000 pending 0");
    open_reader(0);  // each fault fired once
    zel::control::scan("kept");
    EXPECT_EQ(ZELReadData(NULL, &info, &length), ZEL_ERR_PARAMETER);
    EXPECT_EQ(ZELReadData(buffer, NULL, &length), ZEL_ERR_PARAMETER);
    EXPECT_EQ(ZELReadData(buffer, &info, NULL), ZEL_ERR_PARAMETER);
    EXPECT_EQ(ZELPollStatus(NULL, &info), ZEL_ERR_PARAMETER);
    EXPECT_EQ(ZELPollStatus(&info, NULL), ZEL_ERR_PARAMETER);
    EXPECT_EQ(poll(), "status 0x001 pending 1");
}

// Only the key messages a window receives.
std::vector<Step> keys_received() {
    pump();
    std::vector<Step> keys;
    for (const Step& m : messages())
        if (m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST) keys.push_back(m);
    clear_record();
    return keys;
}

// In buffer mode 3 the driver types a read as the keys the application's
// own key output sends for it in mode 0, key message for key message. The
// bytes are Tab, Return and 0x20 to 0xFF: the modifier and lock keys among
// the other control bytes would change the desktop's keyboard state.
TEST_F(Driver, ModeThreeTypesWhatTheApplicationWouldType) {
    std::string read = "\t\r";
    for (int c = 0x20; c <= 0xFF; ++c) read += char(c);
    HWND window = create_recording_window(TEXT("focus"), WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    SetForegroundWindow(window);
    SetFocus(window);
    keys_received();
    std::memcpy(ReadBuffer, read.data(), read.size());
    TranslateRead(BYTE(read.size()));
    EmitKeys(BYTE(read.size()));
    std::vector<Step> application = keys_received();
    // At least a press, a release and a character for each of the 98 bytes with a key.
    EXPECT_GE(application.size(), 3 * 98u) << "the focus window missed the application's keys";
    open_reader(3);
    ASSERT_TRUE(zel::control::scan(read).accepted);
    EXPECT_TRUE(same_sequence(application, keys_received(), "key messages of the driver's typing"));
    DestroyWindow(window);
}

}  // namespace

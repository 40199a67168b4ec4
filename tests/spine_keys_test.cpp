// Read-to-keystroke translation and emission: the exact key event sequences.
#include "spine_fixture.hpp"

namespace {

class KeyOutput : public FreshDevice {
protected:
    // Puts bytes in the read buffer, then translates and emits `length` of
    // them as the worker does; returns the traced calls.
    std::vector<std::string> emit(const std::string& bytes, int length) {
        std::memset(ReadBuffer, 0, sizeof ReadBuffer);
        std::memcpy(ReadBuffer, bytes.data(), bytes.size());
        TracedProcess app;
        TranslateRead(BYTE(length));
        EmitKeys(BYTE(length));
        return app.calls();
    }
    std::vector<std::string> emit(const std::string& bytes) { return emit(bytes, int(bytes.size())); }
};

TEST_F(KeyOutput, LowerCaseLetterThenDigit) {
    EXPECT_TRUE(same_sequence(
        {
            "keybd_event(0x5B, 0, KEYEVENTF_KEYUP, 0)",
            "keybd_event(0x41, 0, KEYEVENTF_SILENT, 0)",
            "keybd_event(0x41, 0, KEYEVENTF_KEYUP, 0)",
            "keybd_event(0x5B, 0, KEYEVENTF_KEYUP, 0)",
            "keybd_event(0x31, 0, KEYEVENTF_SILENT, 0)",
            "keybd_event(0x31, 0, KEYEVENTF_KEYUP, 0)",
        },
        emit("a1"), "keys of a1"));
}

TEST_F(KeyOutput, CapitalLetterHoldsShift) {
    EXPECT_TRUE(same_sequence(
        {
            "keybd_event(0x5B, 0, KEYEVENTF_KEYUP, 0)",
            "keybd_event(0x10, 0, KEYEVENTF_SILENT, 0)",
            "keybd_event(0x41, 0, KEYEVENTF_SILENT, 0)",
            "keybd_event(0x41, 0, KEYEVENTF_KEYUP, 0)",
            "keybd_event(0x10, 0, KEYEVENTF_KEYUP, 0)",
        },
        emit("A"), "keys of A"));
}

TEST_F(KeyOutput, ColonAndAsteriskShareTheirKey) {
    EXPECT_TRUE(same_sequence(
        {
            "keybd_event(0x5B, 0, KEYEVENTF_KEYUP, 0)",
            "keybd_event(0xDE, 0, KEYEVENTF_SILENT, 0)",
            "keybd_event(0xDE, 0, KEYEVENTF_KEYUP, 0)",
            "keybd_event(0x5B, 0, KEYEVENTF_KEYUP, 0)",
            "keybd_event(0x10, 0, KEYEVENTF_SILENT, 0)",
            "keybd_event(0xDE, 0, KEYEVENTF_SILENT, 0)",
            "keybd_event(0xDE, 0, KEYEVENTF_KEYUP, 0)",
            "keybd_event(0x10, 0, KEYEVENTF_KEYUP, 0)",
        },
        emit(":*"), "keys of :*"));
}

TEST_F(KeyOutput, ControlBytesAreTheirOwnKeys) {
    EXPECT_TRUE(same_sequence(typed(0x0D, false), emit("\r"), "keys of Return"));
    EXPECT_TRUE(same_sequence(typed(0x00, false), emit(std::string(1, '\0')), "keys of a NUL byte"));
    EXPECT_TRUE(same_sequence(concat({typed(0x09, false), typed(0x08, false), typed(0x1B, false), typed(0x20, false)}),
                              emit("\t\b\x1b "), "keys of control bytes"));
}

TEST_F(KeyOutput, LengthZeroSendsNothing) {
    EXPECT_TRUE(same_sequence({}, emit("abc", 0), "keys of a read of length 0"));
}

TEST_F(KeyOutput, OnlyTheReadLengthIsTyped) {
    EXPECT_TRUE(
        same_sequence(concat({typed('X', false), typed('Y', false)}), emit("xyz!", 2), "keys of the first 2 bytes"));
}

TEST_F(KeyOutput, DigitRowShiftsAsOnAJapaneseKeyboard) {
    EXPECT_TRUE(same_sequence(concat({typed(0x32, true), typed(0x37, true), typed(0x30, true), typed(0xBB, true)}),
                              emit("\"'~_"), "keys of shifted symbols"));
}

TEST_F(KeyOutput, BytesWithoutAKeySendNothing) {
    // "Q" first, so that stale codes would show if they were replayed.
    emit("Q");
    EXPECT_TRUE(same_sequence({}, emit("\x80"), "keys of 0x80"));
    EXPECT_TRUE(same_sequence(concat({typed('A', false), typed('B', false)}),
                              emit("a\xFF"
                                   "b\xC0"),
                              "keys of bytes above 0x7F"));
}

// Every printable character typed and read back through the device
// keyboard layout comes out the same.
TEST_F(KeyOutput, EveryPrintableCharacterRoundTrips) {
    std::string all;
    for (int c = 0x20; c <= 0x7E; ++c) all += char(c);
    TypedText typed_text;
    emit(all);
    EXPECT_EQ(typed_text.text(), all);
}

TEST_F(KeyOutput, KeyStateFollowsTheEvents) {
    TracedProcess app;
    keybd_event(0x10, 0, KEYEVENTF_SILENT, 0);
    EXPECT_EQ(GetAsyncKeyState(0x10) & 0x8000, 0x8000);
    keybd_event(0x10, 0, KEYEVENTF_KEYUP, 0);
    EXPECT_EQ(GetAsyncKeyState(0x10) & 0x8000, 0);
}

TEST(DeviceLayout, ControlKeysAndUnmappedKeys) {
    using pf::input::layout_char;
    EXPECT_EQ(layout_char(VK_RETURN, false), u'\r');
    EXPECT_EQ(layout_char(VK_TAB, true), u'\t');
    EXPECT_EQ(layout_char(VK_BACK, false), u'\b');
    EXPECT_EQ(layout_char(VK_ESCAPE, false), char16_t(0x1B));
    EXPECT_EQ(layout_char(VK_OEM_7, false), u':');
    EXPECT_EQ(layout_char(VK_OEM_7, true), u'*');
    EXPECT_EQ(layout_char('Q', false), u'q');
    EXPECT_EQ(layout_char(VK_SHIFT, false), std::nullopt);
    EXPECT_EQ(layout_char(VK_LWIN, false), std::nullopt);
    EXPECT_EQ(layout_char(0x00, false), std::nullopt);
}

}  // namespace

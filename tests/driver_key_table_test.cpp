// The drivers' key table against the application's own translation in keys/:
// every byte must give the same key, Shift state and "no key".
#include "spine_fixture.hpp"

#include "key_table.hpp"

#include <tuple>

namespace {

struct KeyEvent {
    int vk;
    bool down;
    DWORD flags;
    bool operator==(const KeyEvent& o) const { return std::tie(vk, down, flags) == std::tie(o.vk, o.down, o.flags); }
};

std::ostream& operator<<(std::ostream& out, const KeyEvent& e) {
    return out << pf::hex(e.vk, 2) << (e.down ? " down" : " up") << " flags " << e.flags;
}

// Every key event sent while it lives, as the device keyboard got it.
class KeyEvents {
public:
    KeyEvents() {
        pf::Lock lock(pf::device_mutex());
        pf::input::set_key_sink_locked(
            [this](const pf::input::KeyEvent& e) { events_.push_back({e.vk, e.down, e.flags}); });
    }
    ~KeyEvents() {
        pf::Lock lock(pf::device_mutex());
        pf::input::set_key_sink_locked(nullptr);
    }
    std::vector<KeyEvent> take() {
        pf::Lock lock(pf::device_mutex());
        return std::exchange(events_, {});
    }

private:
    std::vector<KeyEvent> events_;
};

using KeyTable = DeviceTest;

TEST_F(KeyTable, EveryByteTranslatesAsTheApplicationDoes) {
    for (int c = 0; c <= 0xFF; ++c) {
        // Left-over codes from a key that is not this byte's would show.
        KeyCodes[0] = 0xEE;
        ShiftFlags[0] = 0xEE;
        ReadBuffer[0] = BYTE(c);
        TranslateRead(1);
        zel::keys::Key key = zel::keys::key_for(BYTE(c));
        SCOPED_TRACE("byte " + pf::hex(c, 2));
        if (ShiftFlags[0] == SHIFT_NO_KEY) {
            EXPECT_FALSE(key.typed);
            continue;
        }
        EXPECT_TRUE(key.typed);
        EXPECT_EQ(int(key.vk), int(KeyCodes[0]));
        EXPECT_EQ(key.shift, ShiftFlags[0] == 1);
    }
}

// The host driver types in buffer mode 3 exactly what the worker sends for
// the same read, byte for byte over all 256.
TEST_F(KeyTable, DriverTypesWhatTheApplicationSends) {
    open_reader(3);
    KeyEvents events;
    for (int first : {0x00, 0x80}) {
        std::vector<BYTE> read;
        for (int c = first; c < first + 0x80; ++c) read.push_back(BYTE(c));

        std::memcpy(ReadBuffer, read.data(), read.size());
        TranslateRead(BYTE(read.size()));
        EmitKeys(BYTE(read.size()));
        std::vector<KeyEvent> sent = events.take();

        ASSERT_TRUE(zel::control::scan(read).accepted);
        std::vector<KeyEvent> typed = events.take();

        SCOPED_TRACE("bytes from " + pf::hex(first, 2));
        EXPECT_FALSE(sent.empty() && first == 0x00) << "the application sent nothing for the printable bytes";
        ASSERT_EQ(typed.size(), sent.size());
        for (std::size_t i = 0; i < sent.size(); ++i) ASSERT_EQ(typed[i], sent[i]) << "event " << i;
    }
}

TEST(KeyTableInverse, PrintableCharactersComeBackFromTheirKeys) {
    EXPECT_EQ(zel::keys::printable_for('Q', false), 'q');
    EXPECT_EQ(zel::keys::printable_for('Q', true), 'Q');
    EXPECT_EQ(zel::keys::printable_for(0x30, true), '~');
    EXPECT_EQ(zel::keys::printable_for(0xDE, true), '*');
    EXPECT_EQ(zel::keys::printable_for(VK_SPACE, false), ' ');
    EXPECT_EQ(zel::keys::printable_for(VK_RETURN, false), -1);
    EXPECT_EQ(zel::keys::printable_for(VK_SHIFT, false), -1);
}

}  // namespace

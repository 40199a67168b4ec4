// Read-to-keystroke translation and emission: the exact key events of a read.
#include "spine_fixture.hpp"

namespace {

struct KeysCase {
    const char* name;
    std::string bytes;
    int length;  // how many of the bytes the read holds
    std::vector<std::string> keys;
};

// In order: each case's stale codes would show in the next if replayed.
const KeysCase keys_cases[] = {
    {"lower-case letter, digit", "a1", 2, concat({typed('A', false), typed('1', false)})},
    {"capitals hold Shift", "ZA", 2, concat({typed('Z', true), typed('A', true)})},
    {"colon and asterisk share a key", ":*", 2, concat({typed(0xDE, false), typed(0xDE, true)})},
    {"control bytes are their own keys", std::string("\r\0\t\b\x1b ", 6), 6,
     concat({typed(0x0D, false), typed(0x00, false), typed(0x09, false), typed(0x08, false), typed(0x1B, false),
             typed(0x20, false)})},
    {"shifted digit row as on a Japanese keyboard", "\"'~_", 4,
     concat({typed(0x32, true), typed(0x37, true), typed(0x30, true), typed(0xBB, true)})},
    {"a read of length 0", "abc", 0, {}},
    {"only the read's length", "xyz!", 2, concat({typed('X', false), typed('Y', false)})},
    {"a byte without a key", "\x80", 1, {}},
    {"bytes above 0x7F", "a\xFF" "b\xC0", 4, concat({typed('A', false), typed('B', false)})},
};

using KeyOutput = FreshDevice;

TEST_F(KeyOutput, EachReadSendsItsKeys) {
    for (const auto& c : keys_cases) {
        std::memset(ReadBuffer, 0, sizeof ReadBuffer);
        std::memcpy(ReadBuffer, c.bytes.data(), c.bytes.size());
        TracedProcess app;
        TranslateRead(BYTE(c.length));
        EmitKeys(BYTE(c.length));
        EXPECT_TRUE(same_sequence(c.keys, app.calls(), c.name));
    }
}

}  // namespace

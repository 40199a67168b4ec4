// The terminal's Japanese keyboard layout as the reader drivers type a read:
// the virtual key, with or without Shift, that produces each byte. One table
// for the host driver, the Win32 driver and the device keyboard's layout;
// the application keeps its own copy in keys/, which a test holds equal.
#pragma once
#include <cstdint>

namespace zel::keys {

struct Key {
    std::uint8_t vk = 0;
    bool shift = false;
    bool typed = false;  // false: no key produces the byte and nothing is sent
};

struct Punctuation {
    char character;
    std::uint8_t vk;
    bool shift;
};

// The bytes 0x21 to 0x7E that are neither digits nor letters.
inline constexpr Punctuation punctuation[] = {
    {'!', 0x31, true},   {'"', 0x32, true},  {'#', 0x33, true},  {'$', 0x34, true},  {'%', 0x35, true},
    {'&', 0x36, true},   {'\'', 0x37, true}, {'(', 0x38, true},  {')', 0x39, true},  {'*', 0xDE, true},
    {'+', 0xBA, true},   {',', 0xBC, false}, {'-', 0xBD, false}, {'.', 0xBE, false}, {'/', 0xBF, false},
    {':', 0xDE, false},  {';', 0xBA, false}, {'<', 0xBC, true},  {'=', 0xBD, true},  {'>', 0xBE, true},
    {'?', 0xBF, true},   {'@', 0xC0, false}, {'[', 0xDB, false}, {'\\', 0xDC, false}, {']', 0xDD, false},
    {'^', 0xBB, false},  {'_', 0xBB, true},  {'`', 0xC0, true},  {'{', 0xDB, true},  {'|', 0xDC, true},
    {'}', 0xDD, true},   {'~', 0x30, true},
};

// Control bytes, space, DEL and digits are their own keys; letters are the
// capital's key, Shift for capitals; 0x80 to 0xFF have no key.
constexpr Key key_for(std::uint8_t c) {
    if (c <= 0x20 || c == 0x7F || (c >= '0' && c <= '9')) return {c, false, true};
    if (c >= 'a' && c <= 'z') return {std::uint8_t(c - 0x20), false, true};
    if (c >= 'A' && c <= 'Z') return {c, true, true};
    for (const Punctuation& p : punctuation)
        if (std::uint8_t(p.character) == c) return {p.vk, p.shift, true};
    return {};
}

// The inverse for space and the printable bytes 0x21 to 0x7E: the character
// a press of `vk` types with that Shift state, or -1. Control keys (Return,
// Tab, Backspace, Escape) and Shift+Space are the layout's own business.
constexpr int printable_for(std::uint8_t vk, bool shift) {
    for (int c = 0x20; c <= 0x7E; ++c) {
        Key k = key_for(std::uint8_t(c));
        if (k.vk == vk && k.shift == shift) return c;
    }
    return -1;
}

// Every printable byte has its own key and Shift state, so the inverse is
// one-to-one.
constexpr bool printable_keys_distinct() {
    for (int c = 0x20; c <= 0x7E; ++c) {
        Key k = key_for(std::uint8_t(c));
        if (!k.typed || printable_for(k.vk, k.shift) != c) return false;
    }
    return true;
}
static_assert(printable_keys_distinct(), "two printable bytes share a key and Shift state");

}  // namespace zel::keys

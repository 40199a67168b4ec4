// Chord names parsed into virtual keys, and the key events a chord makes.
#include "keys.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>

namespace runner {
namespace {

const std::map<std::string, std::uint8_t> named_keys = {
    {"backspace", 0x08}, {"tab", 0x09},    {"return", 0x0D}, {"enter", 0x0D}, {"escape", 0x1B},
    {"esc", 0x1B},       {"space", 0x20},  {"left", 0x25},   {"up", 0x26},    {"right", 0x27},
    {"down", 0x28},      {"delete", 0x2E}, {"lwin", 0x5B},
    // the punctuation keys of the device keyboard, unshifted
    {"/", 0xBF}, {",", 0xBC}, {"-", 0xBD}, {".", 0xBE}, {":", 0xDE}, {";", 0xBA},
    {"@", 0xC0}, {"[", 0xDB}, {"\\", 0xDC}, {"]", 0xDD}, {"^", 0xBB},
};
const std::map<std::string, std::uint8_t> modifier_keys = {{"shift", 0x10}, {"ctrl", 0x11}, {"alt", 0x12}};

std::optional<std::uint8_t> key_of(const std::string& name) {
    if (name.size() == 1 && std::isalpha(static_cast<unsigned char>(name[0])))
        return std::uint8_t(std::toupper(static_cast<unsigned char>(name[0])));
    if (name.size() == 1 && std::isdigit(static_cast<unsigned char>(name[0]))) return std::uint8_t(name[0]);
    if (name.size() >= 2 && name.size() <= 3 && name[0] == 'f') {  // f1 ... f12
        unsigned n = 0;
        auto [end, ec] = std::from_chars(name.data() + 1, name.data() + name.size(), n);
        if (ec != std::errc() || end != name.data() + name.size() || n < 1 || n > 12) return std::nullopt;
        return std::uint8_t(0x70 + n - 1);
    }
    auto it = named_keys.find(name);
    if (it == named_keys.end()) return std::nullopt;
    return it->second;
}

}  // namespace

std::optional<Chord> parse_chord(const std::string& text) {
    std::string lower;
    for (char c : text) lower += char(std::tolower(static_cast<unsigned char>(c)));
    Chord chord;
    // Modifiers end at a '+', except that a trailing "+" after another '+' is the key itself.
    size_t start = 0;
    for (size_t plus; (plus = lower.find('+', start)) != std::string::npos && plus != lower.size() - 1;
         start = plus + 1) {
        auto m = modifier_keys.find(lower.substr(start, plus - start));
        if (m == modifier_keys.end() || std::ranges::find(chord.modifiers, m->second) != chord.modifiers.end())
            return std::nullopt;
        chord.modifiers.push_back(m->second);
    }
    auto key = key_of(lower.substr(start));
    if (!key) return std::nullopt;
    chord.key = *key;
    return chord;
}

std::vector<KeyStroke> strokes_of(const Chord& chord) {
    std::vector<KeyStroke> out;
    for (auto m : chord.modifiers) out.push_back({m, false});
    out.push_back({chord.key, false});
    out.push_back({chord.key, true});
    for (auto it = chord.modifiers.rbegin(); it != chord.modifiers.rend(); ++it) out.push_back({*it, true});
    return out;
}

}  // namespace runner

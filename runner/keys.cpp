// Chord names parsed into virtual keys, and the key events a chord makes.
#include "keys.hpp"

#include <cctype>
#include <map>

namespace runner {
namespace {

constexpr std::uint8_t vk_shift = 0x10, vk_control = 0x11, vk_menu = 0x12;

const std::map<std::string, std::uint8_t>& named_keys() {
    static const std::map<std::string, std::uint8_t> keys = {
        {"backspace", 0x08}, {"tab", 0x09},    {"return", 0x0D}, {"enter", 0x0D}, {"escape", 0x1B},
        {"esc", 0x1B},       {"space", 0x20},  {"left", 0x25},   {"up", 0x26},    {"right", 0x27},
        {"down", 0x28},      {"delete", 0x2E}, {"lwin", 0x5B},
        // the punctuation keys of the device keyboard, unshifted
        {"/", 0xBF}, {",", 0xBC}, {"-", 0xBD}, {".", 0xBE}, {":", 0xDE}, {";", 0xBA},
        {"@", 0xC0}, {"[", 0xDB}, {"\\", 0xDC}, {"]", 0xDD}, {"^", 0xBB},
    };
    return keys;
}

std::optional<std::uint8_t> key_of(const std::string& name) {
    if (name.size() == 1 && std::isalpha(static_cast<unsigned char>(name[0])))
        return std::uint8_t(std::toupper(static_cast<unsigned char>(name[0])));
    if (name.size() == 1 && std::isdigit(static_cast<unsigned char>(name[0]))) return std::uint8_t(name[0]);
    if (name.size() >= 2 && name.size() <= 3 && name[0] == 'f') {
        int n = 0;
        for (size_t i = 1; i < name.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(name[i]))) return std::nullopt;
            n = n * 10 + (name[i] - '0');
        }
        if (n >= 1 && n <= 12) return std::uint8_t(0x70 + n - 1);
        return std::nullopt;
    }
    auto it = named_keys().find(name);
    if (it != named_keys().end()) return it->second;
    return std::nullopt;
}

}  // namespace

std::optional<Chord> parse_chord(const std::string& text) {
    std::string lower;
    for (char c : text) lower += char(std::tolower(static_cast<unsigned char>(c)));
    // Split on '+', except that a trailing "+" after another '+' is the key itself.
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t plus = lower.find('+', start);
        if (plus == std::string::npos || plus == lower.size() - 1) {
            parts.push_back(lower.substr(start));
            break;
        }
        parts.push_back(lower.substr(start, plus - start));
        start = plus + 1;
    }
    Chord chord;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const std::string& m = parts[i];
        std::uint8_t vk;
        if (m == "alt") vk = vk_menu;
        else if (m == "shift") vk = vk_shift;
        else if (m == "ctrl") vk = vk_control;
        else return std::nullopt;
        for (auto held : chord.modifiers)
            if (held == vk) return std::nullopt;
        chord.modifiers.push_back(vk);
    }
    auto key = key_of(parts.back());
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

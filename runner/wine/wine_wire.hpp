// The runner's line protocol with the Wine agent: texts travel as upper-case
// hex, "-" for an empty one, so that no byte can break a line or a word.
// Shared by both ends (the host runner, and wineagent.exe built with mingw).
#pragma once
#include <string>

namespace wire {

inline std::string encode(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out.empty() ? "-" : out;
}

inline std::string decode(const std::string& text) {
    std::string out;
    if (text == "-") return out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) out += char(std::stoi(text.substr(i, 2), nullptr, 16));
    return out;
}

}  // namespace wire

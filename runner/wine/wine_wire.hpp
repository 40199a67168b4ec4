// The runner's line protocol with the Wine agent, shared by both ends (the
// host runner, and wineagent.exe built with mingw): the requests, named
// once, and texts as upper-case hex, "-" for an empty one, so that no byte
// can break a line or a word.
#pragma once
#include <optional>
#include <sstream>
#include <string>

namespace wire {

// Every request the agent answers; the runner's command table names the one
// each command sends.
#define WIRE_REQUESTS(X)                                                                                      \
    X(launch) X(close) X(fail) X(scan) X(reader) X(process) X(wait_exit) X(window) X(worker) X(text)         \
    X(messagebox) X(dialog) X(popup) X(tray) X(tap) X(choose) X(post) X(menu) X(answer) X(press) X(focus)    \
    X(keys) X(type) X(keyboard) X(settle)

enum class Request {
#define WIRE_ENUM(name) name,
    WIRE_REQUESTS(WIRE_ENUM)
#undef WIRE_ENUM
};

inline const char* name_of(Request r) {
    static const char* const names[] = {
#define WIRE_NAME(name) #name,
        WIRE_REQUESTS(WIRE_NAME)
#undef WIRE_NAME
    };
    return names[int(r)];
}

inline std::optional<Request> request_named(const std::string& name) {
    for (int r = 0; r <= int(Request::settle); ++r)
        if (name == name_of(Request(r))) return Request(r);
    return std::nullopt;
}

// Word N (from 0) of an answer; empty when it has fewer.
inline std::string word(const std::string& text, int n) {
    std::istringstream words(text);
    std::string w;
    for (int i = 0; i <= n; ++i)
        if (!(words >> w)) return "";
    return w;
}

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

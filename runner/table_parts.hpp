// What the command table and the expect table are both made of: the
// argument kinds their entries use and the way an action gives up.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "device.hpp"
#include "table.hpp"
#include "wine_backend.hpp"

namespace runner {

// The tables' actions reach into both backends.
struct Table {
    template <class Backend>
    static bool perform(Backend& b, const Command& c);
    template <class Backend>
    static void check(Backend& b, const Command& c);
    static const std::vector<CommandEntry>& commands();
    static const std::vector<ExpectEntry>& expect_forms();
};

namespace table_parts {

[[noreturn]] inline void refuse(const std::string& message) { throw std::runtime_error(message); }

inline Param text(const char* what, Field f) { return {Kind::text, what, f, what}; }
inline Param string(const char* what, Field f) { return {Kind::string, what, f, what}; }
inline Param number(const char* what, const char* usage, Field f, bool optional = false) {
    return {Kind::number, what, f, usage, optional};
}
inline Param words(const char* what, std::vector<std::string> choices, Field f = Field::text) {
    return {.kind = Kind::word, .what = what, .field = f, .words = std::move(choices)};
}
// The editor is a program no one here wrote: Wine's own notepad under Wine;
// on the emulated device the memo stands in for it.
inline Param memo_or_control(const char* noun) {
    return {.kind = Kind::id, .what = "memo, editor or control id", .words = {"memo", "editor"}, .noun = noun,
            .expected = "memo, editor or a control id"};
}

inline std::string target_word(const Command& c) { return c.number ? std::to_string(*c.number) : c.text; }

}  // namespace table_parts
}  // namespace runner

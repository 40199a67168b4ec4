// The runner's one table of commands (commands.cpp) and one of expect forms
// (expect_forms.cpp): names, arguments, help lines, and what the emulated
// device and the Wine backend do; the parser, --help and both backends read
// them (how to add one: docs/conventions.md).
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "device.hpp"
#include "script.hpp"
#include "wine_backend.hpp"

namespace runner {

// How an argument is read, and where its value goes in the Command.
enum class Kind {
    text,    // a word or a quoted string
    string,  // a quoted string
    number,
    word,    // one of `words`
    id,      // one of `words`, or a number (one of `ids` when there are any)
    chord,   // a key chord, kept as text too
    form,    // an expect form's name, then that form's arguments
};
enum class Field { none, text, data, number, launch };

struct Param {
    Kind kind;
    const char* what;  // in errors: "missing WHAT", "WHAT must be a number"
    Field field = Field::none;
    const char* usage = nullptr;  // in the help; made from the words and ids when null
    bool optional = false;
    std::vector<std::string> words = {};
    std::vector<long long> ids = {};
    const char* noun = nullptr;      // id: "unknown NOUN 'x' (expected ...)"
    const char* expected = nullptr;  // id: what it takes; made from the ids and words when null
    const char* last = nullptr;      // a value after which no argument follows
};

// What follows a command: nothing more, the implicit sync of a command that
// acts on the device, or the end of the script.
enum class After { nothing, sync, end };

struct CommandEntry {
    const char* name;
    std::vector<Param> params;
    std::string help;
    After after;
    void (*device)(Device&, const Command&);
    void (*wine)(WineBackend&, const Command&);
};

// An expectation: each backend reports what it sees, in the words the
// failure message uses; `judge` says whether that is what the line wants
// ("" when it holds, else "expected ..., saw ...").
struct ExpectEntry {
    const char* name;
    std::vector<Param> params;
    std::string help;
    std::string (*judge)(const Command&, const std::string& seen);
    std::string (*device)(Device&, const Command&);
    std::string (*wine)(WineBackend&, const Command&);  // null: Wine cannot show it
    const char* wine_lacks = nullptr;                   // why, when it cannot
};

const CommandEntry* find_command(const std::string& name);
const ExpectEntry* find_expect(const std::string& name);

// The tables' actions reach into both backends.
struct Table {
    template <class Backend>
    static bool perform(Backend& b, const Command& c);
    template <class Backend>
    static void check(Backend& b, const Command& c);
    static const std::vector<CommandEntry>& commands();
    static const std::vector<ExpectEntry>& expect_forms();
};

// What the tables' entries are made of: their arguments and the way an action gives up.
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

// What each scan of the script became, on either device, in order; and
// where the latest burst began among them.
struct ScanRecord {
    std::string data;
    bool accepted;
    // Under Wine: where the keyboard was when it was scanned, or why the reader refused it.
    std::string seen = {};
};
std::vector<ScanRecord>& scans();
std::size_t& burst_start();

// " PATH DATA": the arguments as the help shows them (script.cpp).
std::string usage_of(const std::vector<Param>& params);
// The command lines of --help, made from the tables.
std::string commands_help();

}  // namespace runner

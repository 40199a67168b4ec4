// The device's command language: one command a line, '#' comments, data as
// double-quoted strings with C escapes. Parsing checks every identifier, so
// a script with a typo fails before it runs anything.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace runner {

// How long a sync waits for the quiet point unless told otherwise, on either
// device; also bounds the emulated device's boot and reset. Only a hang
// reaches it: under Wine on a loaded machine a read of 255 characters has
// been seen to take over 5 s to be typed and taken in.
constexpr long long default_sync_ms = 20000;

// Key chords the operator presses: "alt+f4", "shift+tab", "return", "a".
struct Chord {
    std::vector<std::uint8_t> modifiers;  // virtual keys held, in press order
    std::uint8_t key = 0;                 // the key pressed and released
};

std::optional<Chord> parse_chord(const std::string& text);  // nullopt for an unknown key or modifier

// One key event of the operator's keyboard, for keybd_event.
struct KeyStroke {
    std::uint8_t vk = 0;
    bool up = false;
};

// The events of a chord: modifiers down, the key down and up, modifiers up
// in reverse order.
std::vector<KeyStroke> strokes_of(const Chord& chord);

// An error in a script or a failed expectation: the message names the line
// as "file:line: ...".
struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The runner itself cannot go on (the Wine agent is gone): not the script's
// fault, so it ends the run with status 2.
struct Broken : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Where an expect line's outcome goes: "held", "skipped", or the failure.
using Observer = std::function<void(const std::string& where, const std::string& outcome)>;

struct CommandEntry;
struct ExpectEntry;

struct Command {
    const CommandEntry* command = nullptr;  // its entry in the table of commands (table.hpp)
    const ExpectEntry* form = nullptr;      // an expect line's entry in the table of forms
    std::string where;        // "file:line"
    std::string text;         // PATH, DATA, TEXT, a word (memo, ok, shown, CreateThread ...)
    std::string data;         // second string: the file's DATA, expect text's DATA, the CAPTION
    std::optional<long long> number;  // ID, MS, CODE, N, VALUE; also a control id for focus/text
    std::optional<long long> launch;  // optional launch number N of expect exit/running/window
    Chord chord;              // a key chord
};

// Parses one line; nullopt for a blank or comment line.
std::optional<Command> parse_line(const std::string& line, const std::string& file, int line_number);

// Decodes the escapes of a quoted string's body; throws std::invalid_argument.
std::string unescape(const std::string& body);
// The reverse, for messages: a quoted string with C escapes.
std::string escape(const std::string& bytes);

// A script opts out of a comparison with a comment line and its reason:
// "# wine: skip — WHY" (not run under Wine), "# keys: not compared — WHY"
// (the two devices' key logs are not compared).
inline constexpr const char* opt_out_markers[] = {"# wine: skip", "# keys: not compared"};
// The reason when `line` is the opt-out `marker`; nullopt when it is not;
// throws std::invalid_argument when the reason is missing.
std::optional<std::string> opt_out_reason(const std::string& line, const std::string& marker);

// Parses and runs lines until `run` returns false (quit) or the end; the
// first bad line throws before it runs.
void run_lines(std::istream& in, const std::string& file, const std::function<bool(const Command&)>& run);

}  // namespace runner

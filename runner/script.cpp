// The command language's parser: tokens, escapes, key chords, and each
// command's arguments as its entry in the table describes them.
#include "script.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <map>

#include "../res/resource.h"
#include "table.hpp"

namespace runner {
namespace {

// The escapes of a quoted string, both ways: "\r" stands for a carriage return.
constexpr std::pair<char, char> escapes[] = {{'r', '\r'}, {'n', '\n'}, {'t', '\t'}, {'\\', '\\'}, {'"', '"'}};

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

// A word, or a quoted string decoded.
struct Token {
    bool quoted = false;
    std::string text;
};

// A decimal or 0x-prefixed number, possibly negative; nullopt otherwise.
std::optional<long long> number_of(std::string_view v) {
    bool negative = v.starts_with('-');
    if (negative) v.remove_prefix(1);
    bool hex = v.size() > 2 && (v.starts_with("0x") || v.starts_with("0X"));
    if (hex) v.remove_prefix(2);
    unsigned long long value = 0;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value, hex ? 16 : 10);
    // Out of range either way (negating the most negative value would overflow).
    if (ec != std::errc() || end != v.data() + v.size() || value > std::numeric_limits<long long>::max())
        return std::nullopt;
    return negative ? -static_cast<long long>(value) : static_cast<long long>(value);
}

// A number, or the name res/resource.h gives an application id (IDM_TRAY_EXIT).
std::optional<long long> id_of(std::string_view w) {
    static const std::map<std::string_view, long long> names = {
#include "resource_names.inc"
    };
    if (auto it = names.find(w); it != names.end()) return it->second;
    return number_of(w);
}

// Walks the tokens of one command, naming what is missing or wrong.
class Args {
public:
    Args(std::vector<Token> tokens, std::string command) : tokens_(std::move(tokens)), command_(std::move(command)) {}

    bool more() const { return next_ < tokens_.size(); }
    void extend(const std::string& word) { command_ += " " + word; }  // "expect" becomes "expect text"

    std::string word(const char* what) {
        const Token& t = take(what);
        if (t.quoted) fail(std::string(what) + " must be a word, not a quoted string");
        return t.text;
    }
    std::string string(const char* what) {
        const Token& t = take(what);
        if (!t.quoted) fail(std::string(what) + " must be a double-quoted string, got " + t.text);
        return t.text;
    }
    // A word or a quoted string (device paths may be either).
    std::string text(const char* what) { return take(what).text; }
    long long number(const char* what) {
        std::string w = word(what);
        auto n = id_of(w);
        if (!n && w.starts_with("ID")) fail("unknown id '" + w + "' (res/resource.h names no such id)");
        if (!n) fail(std::string(what) + " must be a number, got " + w);
        return *n;
    }
    void end() { if (more()) fail("unexpected '" + tokens_[next_].text + "' after the arguments of " + command_); }
    [[noreturn]] void fail(const std::string& message) const { throw std::invalid_argument(message); }

private:
    const Token& take(const char* what) {
        if (!more()) fail(command_ + ": missing " + what);
        return tokens_[next_++];
    }
    std::vector<Token> tokens_;
    std::string command_;
    size_t next_ = 1;
};

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const auto& w : words) out += (out.empty() ? "" : "|") + w;
    return out;
}

std::vector<std::string> choices(const Param& p) {
    std::vector<std::string> out;
    for (long long id : p.ids) out.push_back(std::to_string(id));
    if (p.ids.empty() && p.kind == Kind::id) out.push_back("ID");
    out.insert(out.end(), p.words.begin(), p.words.end());
    return out;
}

void store(Command& c, Field field, const std::string& text, std::optional<long long> number = {}) {
    switch (field) {
    case Field::none: break;
    case Field::text: c.text = text; break;
    case Field::data: c.data = text; break;
    case Field::number: c.number = number; break;
    case Field::launch: c.launch = number; break;
    }
}

void read_all(Args& a, const std::vector<Param>& params, Command& c);

// Reads one argument into its field; false when no further argument follows.
bool read(Args& a, const Param& p, Command& c) {
    if (p.optional && !a.more()) return false;
    switch (p.kind) {
    case Kind::text: store(c, p.field, a.text(p.what)); break;
    case Kind::string: store(c, p.field, a.string(p.what)); break;
    case Kind::number: store(c, p.field, "", a.number(p.what)); break;
    case Kind::word: {
        std::string w = a.word(p.what);
        if (std::find(p.words.begin(), p.words.end(), w) == p.words.end())
            a.fail("unknown " + std::string(p.what) + " '" + w + "' (expected " + joined(p.words) + ")");
        store(c, p.field, w);
        break;
    }
    case Kind::id: {
        std::string w = a.word(p.what);
        auto n = id_of(w);
        if (std::find(p.words.begin(), p.words.end(), w) != p.words.end()) {
            c.text = w;
        } else if (n && (p.ids.empty() || std::find(p.ids.begin(), p.ids.end(), *n) != p.ids.end())) {
            c.number = n;
        } else {
            a.fail("unknown " + std::string(p.noun ? p.noun : p.what) + " '" + w + "' (expected " +
                   (p.expected ? p.expected : joined(choices(p))) + ")");
        }
        break;
    }
    case Kind::form: {
        std::string name = a.word(p.what);
        c.form = find_expect(name);
        if (!c.form) a.fail("unknown expectation '" + name + "'");
        a.extend(name);
        read_all(a, c.form->params, c);
        break;
    }
    case Kind::chord: {
        c.text = a.word(p.what);
        auto chord = parse_chord(c.text);
        if (!chord) a.fail("unknown key chord '" + c.text + "'");
        c.chord = *chord;
        break;
    }
    }
    return !p.last || c.text != p.last;
}

void read_all(Args& a, const std::vector<Param>& params, Command& c) {
    for (const Param& p : params)
        if (!read(a, p, c)) break;
}

}  // namespace

std::string usage_of(const std::vector<Param>& params) {
    std::string out;
    for (const Param& p : params) {
        std::string u = p.usage ? p.usage : joined(choices(p));
        out += " " + (p.optional ? "[" + u + "]" : u);
    }
    return out;
}

std::string unescape(const std::string& body) {
    std::string out;
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\\') {
            out += body[i];
            continue;
        }
        if (++i >= body.size()) throw std::invalid_argument("bad escape: a lone backslash at the end of the string");
        auto e = std::find_if(std::begin(escapes), std::end(escapes), [&](auto p) { return p.first == body[i]; });
        if (e != std::end(escapes)) {
            out += e->second;
        } else if (body[i] == 'x') {
            unsigned value = 0;
            const char* digits = body.data() + i + 1;
            bool two = i + 2 < body.size() && std::from_chars(digits, digits + 2, value, 16).ptr == digits + 2;
            if (!two) throw std::invalid_argument("bad escape: \\x needs two hex digits");
            out += char(value);
            i += 2;
        } else {
            throw std::invalid_argument(std::string("bad escape \\") + body[i]);
        }
    }
    return out;
}

std::string escape(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (unsigned char c : bytes) {
        auto e = std::find_if(std::begin(escapes), std::end(escapes), [&](auto p) { return p.second == char(c); });
        if (e != std::end(escapes)) {
            out += std::string("\\") + e->first;
        } else if (c < 0x20 || c == 0x7F) {
            out += std::string("\\x") + digits[c >> 4] + digits[c & 15];
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

static std::vector<Token> tokenize(const std::string& line) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '#') {
            break;  // a comment runs to the end of the line
        } else if (c == '"') {
            size_t j = i + 1;
            while (j < line.size() && line[j] != '"') j += line[j] == '\\' ? 2 : 1;
            if (j >= line.size()) throw std::invalid_argument("unterminated string");
            tokens.push_back({true, unescape(line.substr(i + 1, j - i - 1))});
            i = j + 1;
            if (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])) && line[i] != '#')
                throw std::invalid_argument("missing space after a quoted string");
        } else {
            size_t j = i;
            while (j < line.size() && !std::isspace(static_cast<unsigned char>(line[j]))) {
                if (line[j] == '"') throw std::invalid_argument("a quote inside the word '" + line.substr(i, j - i + 1) + "'");
                ++j;
            }
            tokens.push_back({false, line.substr(i, j - i)});
            i = j;
        }
    }
    return tokens;
}

std::optional<Command> parse_line(const std::string& raw, const std::string& file, int line_number) {
    std::string where = file + ":" + std::to_string(line_number);
    std::string line = raw;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    try {
        auto tokens = tokenize(line);
        if (tokens.empty()) return std::nullopt;
        if (tokens[0].quoted) throw std::invalid_argument("a command must start with its name, not a string");
        Command c;
        c.command = find_command(tokens[0].text);
        if (!c.command) throw std::invalid_argument("unknown command '" + tokens[0].text + "'");
        c.where = where;
        Args args(std::move(tokens), c.command->name);
        read_all(args, c.command->params, c);
        args.end();
        return c;
    } catch (const std::invalid_argument& e) {
        throw ScriptError(where + ": " + e.what());
    }
}

std::optional<std::string> opt_out_reason(const std::string& line, const std::string& marker) {
    if (line.rfind(marker, 0) != 0) return std::nullopt;
    std::string rest = line.substr(marker.size());
    size_t dash = rest.find_first_not_of(" \t");
    // The reason follows a dash: "-", "--" or an em dash (its UTF-8 bytes).
    size_t after = dash == std::string::npos                ? std::string::npos
                   : rest.compare(dash, 3, "\xE2\x80\x94") == 0 ? dash + 3
                   : rest[dash] == '-'                       ? rest.find_first_not_of('-', dash)
                                                             : std::string::npos;
    size_t why = after == std::string::npos ? after : rest.find_first_not_of(" \t", after);
    if (why == std::string::npos)
        throw std::invalid_argument("'" + marker + "' needs its reason: '" + marker + " \xE2\x80\x94 WHY'");
    return rest.substr(why);
}

void run_lines(std::istream& in, const std::string& file, const std::function<bool(const Command&)>& run) {
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        try {
            for (const char* marker : opt_out_markers) opt_out_reason(line, marker);
        } catch (const std::invalid_argument& e) {
            throw ScriptError(file + ":" + std::to_string(n) + ": " + e.what());
        }
        auto c = parse_line(line, file, n);
        if (c && !run(*c)) return;
    }
}

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

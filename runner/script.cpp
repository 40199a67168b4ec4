// The command language's parser: tokens, escapes, and each command's arguments.
#include "script.hpp"

#include <cctype>
#include <charconv>
#include <limits>
#include <map>

namespace runner {
namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A decimal or 0x-prefixed number, possibly negative; nullopt otherwise.
std::optional<long long> number_of(const std::string& s) {
    std::string_view v = s;
    bool negative = false;
    if (!v.empty() && v[0] == '-') {
        negative = true;
        v.remove_prefix(1);
    }
    int base = 10;
    if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) {
        base = 16;
        v.remove_prefix(2);
    }
    if (v.empty()) return std::nullopt;
    unsigned long long value = 0;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value, base);
    if (ec != std::errc() || end != v.data() + v.size()) return std::nullopt;
    // Out of range either way (negating the most negative value would overflow).
    if (value > static_cast<unsigned long long>(std::numeric_limits<long long>::max())) return std::nullopt;
    return negative ? -static_cast<long long>(value) : static_cast<long long>(value);
}

// Walks the tokens of one command, naming what is missing or wrong.
class Args {
public:
    Args(std::vector<Token> tokens, std::string command) : tokens_(std::move(tokens)), command_(std::move(command)) {}

    bool more() const { return next_ < tokens_.size(); }
    void rename(std::string command) { command_ = std::move(command); }

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
        auto n = number_of(w);
        if (!n) fail(std::string(what) + " must be a number, got " + w);
        return *n;
    }
    std::optional<long long> optional_number(const char* what) {
        if (!more()) return std::nullopt;
        return number(what);
    }
    std::string one_of(const char* what, std::initializer_list<const char*> choices) {
        std::string w = word(what);
        std::string list;
        for (const char* c : choices) {
            if (w == c) return w;
            list += list.empty() ? "" : "|";
            list += c;
        }
        fail("unknown " + std::string(what) + " '" + w + "' (expected " + list + ")");
    }
    void end() {
        if (more()) fail("unexpected '" + tokens_[next_].text + "' after the arguments of " + command_);
    }
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

const std::map<std::string, Op>& ops() {
    static const std::map<std::string, Op> m = {
        {"file", Op::file},     {"remove", Op::remove}, {"launch", Op::launch},       {"scan", Op::scan},
        {"menu", Op::menu},     {"key", Op::key},       {"type", Op::type},           {"focus", Op::focus},
        {"tap", Op::tap_tray},  {"post", Op::post},     {"answer", Op::answer},       {"popup", Op::popup},
        {"press", Op::press},   {"fail", Op::fail},     {"sync", Op::sync},           {"wait", Op::wait},
        {"wait-exit", Op::wait_exit}, {"screen", Op::screen}, {"expect", Op::expect}, {"quit", Op::quit},
    };
    return m;
}

const std::map<std::string, Expect>& expects() {
    static const std::map<std::string, Expect> m = {
        {"text", Expect::text},     {"window", Expect::window}, {"tray", Expect::tray},
        {"messagebox", Expect::messagebox}, {"exit", Expect::exit}, {"running", Expect::running},
        {"reader", Expect::reader}, {"mode", Expect::mode},     {"trace", Expect::trace},
        {"dialog", Expect::dialog}, {"popup", Expect::popup},   {"worker", Expect::worker},
    };
    return m;
}

void parse_expect(Args& a, Command& c) {
    std::string what = a.word("expectation");
    auto it = expects().find(what);
    if (it == expects().end()) a.fail("unknown expectation '" + what + "'");
    c.expect = it->second;
    a.rename("expect " + what);
    switch (c.expect) {
    case Expect::text: {
        std::string target = a.word("memo or control id");
        if (target == "memo") {
            c.text = target;
        } else {
            auto id = number_of(target);
            if (!id) a.fail("unknown text target '" + target + "' (expected memo or a control id)");
            c.number = id;
        }
        c.data = a.string("DATA");
        break;
    }
    case Expect::window:
        c.text = a.one_of("window state", {"shown", "hidden"});
        c.launch = a.optional_number("launch number");
        break;
    case Expect::tray: c.number = a.number("icon count"); break;
    case Expect::messagebox:
        if (a.more()) {
            c.text = a.text("TEXT");
            if (c.text == "none") break;
            c.data = a.string("CAPTION");
        } else {
            a.fail("expect messagebox: missing TEXT (or none)");
        }
        break;
    case Expect::exit:
        c.number = a.number("exit code");
        c.launch = a.optional_number("launch number");
        break;
    case Expect::running: c.launch = a.optional_number("launch number"); break;
    case Expect::reader: c.text = a.one_of("reader state", {"open", "closed"}); break;
    case Expect::mode: c.number = a.number("buffer mode"); break;
    case Expect::trace: c.text = a.string("TEXT"); break;
    case Expect::dialog: {
        std::string w = a.word("dialog");
        if (w == "none") {
            c.text = w;
        } else if (w == "103" || w == "104") {
            c.number = std::stoll(w);
        } else {
            a.fail("unknown dialog '" + w + "' (expected 103|104|none)");
        }
        break;
    }
    case Expect::popup: c.text = a.one_of("popup state", {"open", "closed"}); break;
    case Expect::worker: c.text = a.one_of("worker state", {"running", "stopped"}); break;
    }
}

void parse_arguments(Args& a, Command& c) {
    switch (c.op) {
    case Op::file:
        c.text = a.text("PATH");
        c.data = a.string("DATA");
        break;
    case Op::remove: c.text = a.text("PATH"); break;
    case Op::launch:
    case Op::screen:
    case Op::quit: break;
    case Op::scan:
    case Op::type: c.text = a.string("DATA"); break;
    case Op::menu:
    case Op::post: c.number = a.number("command id"); break;
    case Op::key: {
        c.text = a.word("key chord");
        auto chord = parse_chord(c.text);
        if (!chord) a.fail("unknown key chord '" + c.text + "'");
        c.chord = *chord;
        break;
    }
    case Op::focus: {
        std::string target = a.word("memo or control id");
        if (target == "memo") {
            c.text = target;
        } else {
            auto id = number_of(target);
            if (!id) a.fail("unknown focus target '" + target + "' (expected memo or a control id)");
            c.number = id;
        }
        break;
    }
    case Op::tap_tray:
        a.one_of("tap target", {"tray"});
        c.number = a.optional_number("icon number");
        break;
    case Op::answer: c.text = a.one_of("answer", {"ok", "cancel", "retry"}); break;
    case Op::popup: {
        std::string w = a.word("popup item id or none");
        if (w == "none") {
            c.text = w;
        } else {
            auto id = number_of(w);
            if (!id) a.fail("unknown popup item '" + w + "' (expected an item id or none)");
            c.number = id;
        }
        break;
    }
    case Op::press: c.text = a.one_of("button", {"ok", "cancel"}); break;
    case Op::fail:
        c.text = a.one_of("fault", {"ZELOpen", "ZELChangeBuffMode", "CreateThread", "CreateFileW", "ReadFile"});
        c.number = a.optional_number("VALUE");
        break;
    case Op::sync:
    case Op::wait_exit: c.number = a.optional_number("MS"); break;
    case Op::wait: c.number = a.number("MS"); break;
    case Op::expect: parse_expect(a, c); break;
    }
    a.end();
}

}  // namespace

std::string unescape(const std::string& body) {
    std::string out;
    for (size_t i = 0; i < body.size(); ++i) {
        char c = body[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= body.size()) throw std::invalid_argument("bad escape: a lone backslash at the end of the string");
        switch (body[i]) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'x': {
            int hi = i + 1 < body.size() ? hex_digit(body[i + 1]) : -1;
            int lo = i + 2 < body.size() ? hex_digit(body[i + 2]) : -1;
            if (hi < 0 || lo < 0) throw std::invalid_argument("bad escape: \\x needs two hex digits");
            out += char(hi * 16 + lo);
            i += 2;
            break;
        }
        default: throw std::invalid_argument(std::string("bad escape \\") + body[i]);
        }
    }
    return out;
}

std::string escape(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (unsigned char c : bytes) {
        switch (c) {
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\x";
                out += digits[c >> 4];
                out += digits[c & 15];
            } else {
                out += char(c);
            }
        }
    }
    return out + "\"";
}

std::vector<Token> tokenize(const std::string& line) {
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
        auto it = ops().find(tokens[0].text);
        if (it == ops().end()) throw std::invalid_argument("unknown command '" + tokens[0].text + "'");
        Command c;
        c.op = it->second;
        c.where = where;
        Args args(std::move(tokens), it->first);
        parse_arguments(args, c);
        return c;
    } catch (const std::invalid_argument& e) {
        throw ScriptError(where + ": " + e.what());
    }
}

std::vector<Command> parse_script(std::istream& in, const std::string& file) {
    std::vector<Command> out;
    std::string line;
    for (int n = 1; std::getline(in, line); ++n)
        if (auto c = parse_line(line, file, n)) out.push_back(std::move(*c));
    return out;
}

}  // namespace runner

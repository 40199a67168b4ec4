// The call trace: records kept per party, and the helpers that format
// values for trace lines (text, numbers, handle names, calls).
#include "core.hpp"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unordered_map>

namespace pf {

// ---- trace ----
namespace {
struct TraceState {
    std::mutex m;
    bool verbose = false;
    std::vector<TraceRecord> records;
    std::function<void(const TraceRecord&)> sink;
};
TraceState& tstate() {
    static auto& s = *new TraceState;
    return s;
}

void record(std::string party, int thread, std::string text, bool poll) {
    auto& s = tstate();
    std::lock_guard g(s.m);
    if (poll && !s.verbose) return;
    TraceRecord r{device_time_ms(), std::move(party), thread, std::move(text), poll};
    if (s.sink) s.sink(r);
    s.records.push_back(std::move(r));
}
}  // namespace

static void trace_impl(std::string text, bool poll) {
    Thread& t = current_thread();
    if (!t.party_override.empty()) {
        record(t.party_override, t.ordinal, std::move(text), poll);
        return;
    }
    if (!t.process->traced && !tstate().verbose) return;
    record(t.process->party, t.ordinal, std::move(text), poll);
}

bool trace_wanted(bool poll) {
    Thread& t = current_thread();
    bool verbose = trace_verbose();
    if (poll) return verbose;
    return verbose || !t.party_override.empty() || t.process->traced;
}

void trace(std::string text) { trace_impl(std::move(text), false); }
void trace_poll(std::string text) { trace_impl(std::move(text), true); }
void trace_as(std::string party, std::string text) { record(std::move(party), 0, std::move(text), false); }

void set_trace_verbose(bool verbose) {
    std::lock_guard g(tstate().m);
    tstate().verbose = verbose;
}
bool trace_verbose() {
    std::lock_guard g(tstate().m);
    return tstate().verbose;
}
void set_trace_sink(std::function<void(const TraceRecord&)> sink) {
    std::lock_guard g(tstate().m);
    tstate().sink = std::move(sink);
}
std::vector<TraceRecord> trace_records() {
    std::lock_guard g(tstate().m);
    return tstate().records;
}
void forget_retired_names();

void trace_clear() {
    {
        std::lock_guard g(tstate().m);
        tstate().records.clear();
    }
    forget_retired_names();
}

// ---- formatting ----
std::string utf8(const WCHAR* s, int count) {
    std::string out;
    if (!s) return out;
    size_t n = count < 0 ? std::char_traits<char16_t>::length(s) : size_t(count);
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string utf16(std::string_view s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char b = s[i];
        uint32_t c;
        int extra;
        if (b < 0x80) { c = b; extra = 0; }
        else if ((b >> 5) == 6) { c = b & 0x1F; extra = 1; }
        else if ((b >> 4) == 14) { c = b & 0x0F; extra = 2; }
        else if ((b >> 3) == 30) { c = b & 0x07; extra = 3; }
        else { c = 0xFFFD; extra = 0; }
        ++i;
        for (int k = 0; k < extra; ++k, ++i) {
            if (i >= s.size() || (static_cast<unsigned char>(s[i]) >> 6) != 2) { c = 0xFFFD; break; }
            c = (c << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
    }
    return out;
}

std::string quoted(const WCHAR* s, int count) {
    if (!s) return "NULL";
    std::string body = utf8(s, count);
    std::string out = "\"";
    for (unsigned char c : body) {
        switch (c) {
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02X", c);
                out += buf;
            } else {
                out += char(c);
            }
        }
    }
    return out + "\"";
}

std::string hex(unsigned long long v, int width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%0*llX", width, v);
    return buf;
}

std::string ptr_name(const void* p) {
    if (!p) return "NULL";
    return hex(reinterpret_cast<uintptr_t>(p));
}

namespace {
// The names have a lock of their own: trace lines are formatted both with
// and without the device lock held. Nothing else is locked under it.
std::mutex& names_mutex() {
    static auto& m = *new std::mutex;
    return m;
}

std::unordered_map<const void*, std::string>& handle_names() {
    static auto& names = *new std::unordered_map<const void*, std::string>;
    return names;
}

std::vector<const void*>& retired_names() {
    static auto& retired = *new std::vector<const void*>;
    return retired;
}
}  // namespace

std::string handle_name(const void* h) {
    if (!h) return "NULL";
    std::lock_guard g(names_mutex());
    auto& names = handle_names();
    auto it = names.find(h);
    if (it != names.end()) return it->second;
    return ptr_name(h);
}

void name_handle_locked(const void* h, std::string name) {
    std::lock_guard g(names_mutex());
    handle_names()[h] = std::move(name);
}

void forget_handle_name_locked(const void* h) {
    std::lock_guard g(names_mutex());
    handle_names().erase(h);
}

void forget_retired_names() {
    std::lock_guard g(names_mutex());
    for (const void* h : retired_names()) handle_names().erase(h);
    retired_names().clear();
}

void retire_handle_name_locked(const void* h) {
    std::lock_guard g(names_mutex());
    retired_names().push_back(h);
}

std::string bool_str(BOOL b) { return b ? "TRUE" : "FALSE"; }

std::string call_str(std::string_view name, std::initializer_list<std::string_view> args) {
    std::string out(name);
    out += '(';
    bool first = true;
    for (std::string_view a : args) {
        if (!first) out += ", ";
        out += a;
        first = false;
    }
    out += ')';
    return out;
}

std::string call_str(std::string_view name, std::initializer_list<std::string_view> args, std::string_view result) {
    std::string out = call_str(name, args);
    out += " = ";
    out += result;
    return out;
}

void not_implemented(const char* what) {
    std::fprintf(stderr, "pendrel device: %s is not implemented on this device\n", what);
    trace_as("device", std::string("NOT IMPLEMENTED: ") + what);
    std::abort();
}

}  // namespace pf

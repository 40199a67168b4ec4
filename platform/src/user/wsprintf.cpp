// wsprintfW: the formatting subset the device supports, as on Windows.
#include <cstdarg>

#include "user/user_internal.hpp"

using namespace pf;


namespace {

// %[-][0][#][width][.precision][h|l]type with type s c d i u x X and %%;
// output up to 1024 characters, the terminator included, as on Windows.
int format_wide(LPWSTR out, LPCWSTR fmt, va_list ap, std::string& error) {
    constexpr size_t cap = 1024;
    std::u16string s;
    for (const WCHAR* p = fmt; *p; ++p) {
        if (*p != u'%') {
            s += *p;
            continue;
        }
        ++p;
        if (*p == u'%') {
            s += u'%';
            continue;
        }
        bool left = false, zero = false, alt = false;
        for (;; ++p) {
            if (*p == u'-') left = true;
            else if (*p == u'0') zero = true;
            else if (*p == u'#') alt = true;
            else break;
        }
        size_t width = 0;
        while (*p >= u'0' && *p <= u'9') width = width * 10 + size_t(*p++ - u'0');
        std::optional<size_t> precision;
        if (*p == u'.') {
            ++p;
            size_t v = 0;
            while (*p >= u'0' && *p <= u'9') v = v * 10 + size_t(*p++ - u'0');
            precision = v;
        }
        bool narrow = false;
        if (*p == u'h') {
            narrow = true;
            ++p;
        } else if (*p == u'l') {
            ++p;  // long is 32 bits on the device, as int
        }
        std::u16string field;
        bool numeric = false;
        switch (*p) {
        case u's': {
            if (narrow) {
                const char* a = va_arg(ap, const char*);
                if (!a) a = "(null)";
                for (; *a; ++a) field += char16_t(static_cast<unsigned char>(*a));
            } else {
                const WCHAR* w = va_arg(ap, const WCHAR*);
                field = w ? w : u"(null)";
            }
            if (precision && field.size() > *precision) field.resize(*precision);
            break;
        }
        case u'c': field = char16_t(narrow ? char16_t(static_cast<unsigned char>(va_arg(ap, int))) : char16_t(va_arg(ap, int))); break;
        case u'd':
        case u'i': {
            int v = va_arg(ap, int);
            std::string d = std::to_string(v);
            field = utf16(d);
            numeric = true;
            break;
        }
        case u'u': field = utf16(std::to_string(va_arg(ap, unsigned))); numeric = true; break;
        case u'x':
        case u'X': {
            unsigned v = va_arg(ap, unsigned);
            char buf[16];
            std::snprintf(buf, sizeof buf, *p == u'x' ? "%x" : "%X", v);
            field = utf16(buf);
            if (alt && v) field = (*p == u'x' ? u"0x" : u"0X") + field;
            numeric = true;
            break;
        }
        default:
            error = std::string("wsprintfW conversion %") + (*p ? utf8(p, 1) : std::string("<end>"));
            return -1;
        }
        if (numeric && precision) {
            bool neg = !field.empty() && field[0] == u'-';
            size_t digits = field.size() - (neg ? 1 : 0);
            if (digits < *precision) field.insert(neg ? 1 : 0, *precision - digits, u'0');
        }
        if (field.size() < width) {
            size_t pad = width - field.size();
            if (left)
                field.append(pad, u' ');
            else if (zero && numeric && !precision)
                field.insert(!field.empty() && field[0] == u'-' ? 1 : 0, pad, u'0');
            else
                field.insert(0, pad, u' ');
        }
        s += field;
    }
    if (s.size() > cap - 1) s.resize(cap - 1);
    std::copy(s.begin(), s.end(), out);
    out[s.size()] = 0;
    return int(s.size());
}

}  // namespace

extern "C" int wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...) {
    if (!lpOut || !lpFmt) not_implemented("wsprintfW with a NULL buffer or format");
    va_list ap;
    va_start(ap, lpFmt);
    std::string error;
    int n = format_wide(lpOut, lpFmt, ap, error);
    va_end(ap);
    if (n < 0) not_implemented(error.c_str());
    bool has_args = std::u16string_view(lpFmt).find(u'%') != std::u16string_view::npos;
    trace("wsprintfW(buf, " + quoted(lpFmt) + (has_args ? ", ..." : "") + ") = " + std::to_string(n) +
          (has_args ? " " + quoted(lpOut) : ""));
    return n;
}

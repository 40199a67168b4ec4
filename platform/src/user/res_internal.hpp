// What the resource files share: the bounded reader their parsers use, the
// resource type ordinals, and helpers of their API calls.
#pragma once
#include "user/resources.hpp"

#include <algorithm>
#include <string>

namespace pf::user {

// Resource type ordinals (RT_*).
namespace rt {
constexpr WORD icon = 3;
constexpr WORD menu = 4;
constexpr WORD dialog = 5;
constexpr WORD string = 6;
constexpr WORD accelerator = 9;
constexpr WORD rcdata = 10;
constexpr WORD group_icon = 14;
}  // namespace rt

// A bounded little-endian reader: every read checks the remaining length
// and names what was being read when the data ends early.
class ResReader {
public:
    ResReader(const unsigned char* data, size_t size, std::string what) : p_(data), size_(size), what_(std::move(what)) {}

    size_t pos() const { return pos_; }
    size_t left() const { return size_ - pos_; }
    bool at_end() const { return pos_ >= size_; }

    [[noreturn]] void fail(const std::string& why) const {
        throw ResourceError(what_ + ": " + why + " at offset " + std::to_string(pos_));
    }
    void need(size_t n, const char* field) const {
        if (n > left()) fail(std::string("truncated ") + field);
    }
    BYTE u8(const char* field) {
        need(1, field);
        return p_[pos_++];
    }
    WORD u16(const char* field) {
        need(2, field);
        WORD v = WORD(p_[pos_] | (p_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    DWORD u32(const char* field) {
        need(4, field);
        DWORD v = DWORD(p_[pos_]) | DWORD(p_[pos_ + 1]) << 8 | DWORD(p_[pos_ + 2]) << 16 | DWORD(p_[pos_ + 3]) << 24;
        pos_ += 4;
        return v;
    }
    short s16(const char* field) { return short(u16(field)); }
    // A zero-terminated UTF-16 string.
    std::u16string sz(const char* field) {
        std::u16string s;
        for (;;) {
            if (left() < 2) fail(std::string("unterminated ") + field);
            WCHAR c = u16(field);
            if (c == 0) return s;
            s += c;
        }
    }
    // A string, 0xFFFF followed by an ordinal, or 0x0000 for none.
    ResId sz_or_ord(const char* field) {
        need(2, field);
        WORD first = WORD(p_[pos_] | (p_[pos_ + 1] << 8));
        if (first == 0xFFFF) {
            pos_ += 2;
            return ResId::of(u16(field));
        }
        return ResId::of(sz(field));
    }
    void skip(size_t n, const char* field) {
        need(n, field);
        pos_ += n;
    }
    // Pads to a multiple of n from the start; padding past the end of the
    // data is allowed only at the very end, where nothing is read anyway.
    void align(size_t n) { pos_ = std::min(size_, (pos_ + n - 1) / n * n); }
    const unsigned char* here() const { return p_ + pos_; }

private:
    const unsigned char* p_;
    size_t size_;
    size_t pos_ = 0;
    std::string what_;
};

// A resource name argument as the trace shows it: NULL, an ordinal, or "NAME".
std::string name_arg(LPCWSTR p);
// A resource that is present but malformed: reported on the device's trace.
void report_bad_resource(const std::string& what);

}  // namespace pf::user

// Builds .res images and templates byte by byte, for the odd cases that the
// application's own resource script does not contain.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace restest {

struct Bytes {
    std::vector<unsigned char> b;

    Bytes& u8(unsigned v) {
        b.push_back(uint8_t(v));
        return *this;
    }
    Bytes& u16(unsigned v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
        return *this;
    }
    Bytes& u32(uint32_t v) {
        u16(v & 0xFFFF);
        return u16(v >> 16);
    }
    Bytes& sz(const std::u16string& s) {
        for (char16_t c : s) u16(c);
        return u16(0);
    }
    Bytes& ord(unsigned v) { return u16(0xFFFF).u16(v); }
    Bytes& align4() {
        while (b.size() % 4) b.push_back(0);
        return *this;
    }
    Bytes& raw(const std::vector<unsigned char>& more) {
        b.insert(b.end(), more.begin(), more.end());
        return *this;
    }
    size_t size() const { return b.size(); }
    const unsigned char* data() const { return b.data(); }
};

// A type or name for an entry: an ordinal, or a string when text is set.
struct Id {
    unsigned ordinal = 0;
    std::u16string text;
    Id(int o) : ordinal(unsigned(o)) {}
    Id(const char16_t* s) : text(s) {}
};

class ResFile {
public:
    ResFile() { add(0, 0, {}); }  // the empty leading entry windres writes

    ResFile& add(Id type, Id name, const std::vector<unsigned char>& data, unsigned language = 0x0409) {
        Bytes h;
        h.u32(uint32_t(data.size())).u32(0);
        put_id(h, type);
        put_id(h, name);
        h.align4();
        h.u32(0).u16(0x1030).u16(language).u32(0).u32(0);
        uint32_t header_size = uint32_t(h.size());
        h.b[4] = uint8_t(header_size);
        h.b[5] = uint8_t(header_size >> 8);
        out_.raw(h.b).raw(data).align4();
        return *this;
    }
    const std::vector<unsigned char>& bytes() const { return out_.b; }

private:
    static void put_id(Bytes& h, const Id& id) {
        if (id.text.empty())
            h.ord(id.ordinal);
        else
            h.sz(id.text);
    }
    Bytes out_;
};

}  // namespace restest

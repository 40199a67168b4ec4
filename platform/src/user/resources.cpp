#include "resources.hpp"

#include <cstring>
#include <map>
#include <memory>
#include <tuple>

#include "core/core.hpp"
#include "device_user.hpp"
#include "window.hpp"

namespace pf::user {
namespace {

// A bounded little-endian reader: every read checks the remaining length
// and names what was being read when the data ends early.
class Reader {
public:
    Reader(const unsigned char* data, size_t size, std::string what) : p_(data), size_(size), what_(std::move(what)) {}

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

char16_t upper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; }

struct Registry {
    std::vector<std::unique_ptr<Module>> modules;
    std::map<HICON, std::unique_ptr<IconInfo>> icons;
    int next_icon = 1;
    int next_rsrc = 1;
};
Registry& registry() {
    static auto& r = *new Registry;
    return r;
}

const Module* find_module_locked(HINSTANCE instance) {
    for (auto& m : registry().modules)
        if (reinterpret_cast<HINSTANCE>(m.get()) == instance) return m.get();
    return nullptr;
}

const ResEntry* find_entry_locked(HINSTANCE instance, const ResId& type, const ResId& name) {
    const Module* m = find_module_locked(instance);
    if (!m) return nullptr;
    for (auto& e : m->entries)
        if (e.type == type && e.name == name) return &e;
    return nullptr;
}

std::string type_str(const ResId& type) {
    if (type.ordinal) {
        switch (*type.ordinal) {
        case 3: return "RT_ICON";
        case 4: return "RT_MENU";
        case 5: return "RT_DIALOG";
        case 6: return "RT_STRING";
        case 9: return "RT_ACCELERATOR";
        case 10: return "RT_RCDATA";
        case 14: return "RT_GROUP_ICON";
        }
    }
    return type.str();
}

void report_bad_resource(const std::string& what) { trace_as("device", "bad resource: " + what); }

// The calling thread's last error; thread-own state, no lock needed.
void set_error(DWORD e) { current_thread().last_error = e; }
void set_error_locked(DWORD e) { current_thread().last_error = e; }

}  // namespace

// ---- ResId ----

ResId ResId::from(LPCWSTR p) {
    if (IS_INTRESOURCE(p)) return of(WORD(reinterpret_cast<uintptr_t>(p)));
    std::u16string s(p);
    if (s.size() > 1 && s[0] == u'#') {
        unsigned v = 0;
        for (size_t i = 1; i < s.size(); ++i) {
            if (s[i] < u'0' || s[i] > u'9' || v > 0xFFFF) return of(std::move(s));
            v = v * 10 + unsigned(s[i] - u'0');
        }
        if (v <= 0xFFFF) return of(WORD(v));
    }
    return of(std::move(s));
}

bool ResId::operator==(const ResId& other) const {
    if (ordinal || other.ordinal) return ordinal == other.ordinal;
    if (name.size() != other.name.size()) return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (upper(name[i]) != upper(other.name[i])) return false;
    return true;
}

std::string ResId::str() const {
    if (ordinal) return std::to_string(*ordinal);
    return quoted(name.c_str());
}

// ---- .res file ----

std::vector<ResEntry> parse_res_file(const unsigned char* data, size_t size) {
    std::vector<ResEntry> out;
    if (!data) throw ResourceError("resource file: no data");
    Reader r(data, size, "resource file");
    while (!r.at_end()) {
        size_t start = r.pos();
        DWORD data_size = r.u32("entry data size");
        DWORD header_size = r.u32("entry header size");
        if (header_size < 32) r.fail("header size " + std::to_string(header_size) + " below 32");
        if (header_size > r.left() + 8) r.fail("truncated entry header");
        Reader h(data + start, header_size, "resource file entry at offset " + std::to_string(start));
        h.skip(8, "sizes");
        ResEntry e;
        e.type = h.sz_or_ord("type");
        e.name = h.sz_or_ord("name");
        h.align(4);
        e.data_version = h.u32("data version");
        e.memory_flags = h.u16("memory flags");
        e.language = h.u16("language");
        e.version = h.u32("version");
        e.characteristics = h.u32("characteristics");
        size_t data_start = start + header_size;
        if (data_size > size - data_start)
            throw ResourceError("resource file: entry at offset " + std::to_string(start) + " has " +
                                std::to_string(data_size) + " data bytes but only " +
                                std::to_string(size - data_start) + " remain");
        e.data = data + data_start;
        e.size = data_size;
        r = Reader(data, size, "resource file");
        r.skip(data_start + data_size, "entry data");
        r.align(4);
        if (e.type.ordinal && *e.type.ordinal == 0) continue;  // the leading empty entry
        out.push_back(std::move(e));
    }
    return out;
}

// ---- strings ----

std::vector<std::u16string> parse_string_block(const unsigned char* data, size_t size) {
    Reader r(data, size, "string table");
    std::vector<std::u16string> out;
    for (int i = 0; i < 16; ++i) {
        WORD n = r.u16("string length");
        r.need(size_t(n) * 2, "string text");
        std::u16string s;
        for (WORD k = 0; k < n; ++k) s += WCHAR(r.u16("string text"));
        out.push_back(std::move(s));
    }
    return out;
}

// ---- menus ----

namespace {
std::vector<MenuTemplateItem> parse_menu_level(Reader& r, int depth) {
    if (depth > 16) r.fail("menu nested too deeply");
    std::vector<MenuTemplateItem> items;
    for (;;) {
        MenuTemplateItem item;
        WORD flags = r.u16("menu item flags");
        if (flags & ~WORD(MF_GRAYED | MF_DISABLED | MF_POPUP | MF_END | 0x0008 /*checked*/ | 0x0020 /*menubarbreak*/ |
                          0x0040 /*menubreak*/ | 0x0004 /*bitmap*/ | 0x0100 /*ownerdraw*/ | 0x4000 /*rightjustify*/ |
                          MF_SEPARATOR))
            r.fail("unknown menu item flags " + hex(flags, 4));
        item.flags = flags & ~MF_END;
        item.popup = flags & MF_POPUP;
        if (!item.popup) item.id = r.u16("menu item id");
        item.text = r.sz("menu item text");
        item.separator = !item.popup && item.id == 0 && item.text.empty();
        if (item.popup) item.children = parse_menu_level(r, depth + 1);
        items.push_back(std::move(item));
        if (flags & MF_END) return items;
    }
}
}  // namespace

std::vector<MenuTemplateItem> parse_menu(const unsigned char* data, size_t size) {
    Reader r(data, size, "menu template");
    WORD version = r.u16("header version");
    WORD header_size = r.u16("header size");
    if (version != 0) r.fail("menu template version " + std::to_string(version) + " is not supported");
    r.skip(header_size, "header");
    if (r.at_end()) r.fail("menu template has no items");
    return parse_menu_level(r, 0);
}

// ---- accelerators ----

std::vector<ACCEL> parse_accelerators(const unsigned char* data, size_t size) {
    Reader r(data, size, "accelerator table");
    std::vector<ACCEL> out;
    for (;;) {
        if (r.at_end()) r.fail("missing end marker (truncated accelerator table)");
        WORD flags = r.u16("accelerator flags");
        WORD key = r.u16("accelerator key");
        WORD cmd = r.u16("accelerator command");
        r.u16("accelerator padding");
        if (flags & ~WORD(0x80 | FVIRTKEY | FNOINVERT | FSHIFT | FCONTROL | FALT))
            r.fail("unknown accelerator flags " + hex(flags, 4));
        ACCEL a{};
        a.fVirt = BYTE(flags & 0x7F);
        a.key = key;
        a.cmd = cmd;
        out.push_back(a);
        if (flags & 0x80) {
            if (!r.at_end()) r.fail("data after the last accelerator");
            return out;
        }
    }
}

// ---- dialogs ----

std::u16string DialogItem::class_name() const {
    if (!cls.ordinal) return cls.name;
    switch (*cls.ordinal) {
    case 0x80: return u"BUTTON";
    case 0x81: return u"EDIT";
    case 0x82: return u"STATIC";
    case 0x83: return u"LISTBOX";
    case 0x84: return u"SCROLLBAR";
    case 0x85: return u"COMBOBOX";
    }
    return u"#" + utf16(std::to_string(*cls.ordinal));
}

DialogTemplate parse_dialog(const unsigned char* data, size_t size) {
    Reader r(data, size, "dialog template");
    DialogTemplate d;
    if (!data) r.fail("no data");
    r.need(4, "header");
    d.extended = data[0] == 1 && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF;
    if (d.extended) {
        r.skip(4, "version and signature");
        d.help_id = r.u32("help id");
        d.exstyle = r.u32("extended style");
        d.style = r.u32("style");
    } else {
        if (data[2] == 0xFF && data[3] == 0xFF)
            r.fail("extended dialog template version " + std::to_string(data[0] | data[1] << 8) + " is not supported");
        d.style = r.u32("style");
        d.exstyle = r.u32("extended style");
    }
    WORD count = r.u16("item count");
    d.x = r.s16("x");
    d.y = r.s16("y");
    d.cx = r.s16("width");
    d.cy = r.s16("height");
    d.menu = r.sz_or_ord("menu");
    d.cls = r.sz_or_ord("class");
    ResId title = r.sz_or_ord("title");
    if (title.ordinal) r.fail("dialog title is an ordinal");
    d.title = title.name;
    // DS_SETFONT, or DS_SHELLFONT (DS_SETFONT | DS_FIXEDSYS) which includes it.
    if (d.style & DS_SETFONT) {
        d.has_font = true;
        d.point_size = r.u16("font size");
        if (d.extended) {
            d.weight = r.u16("font weight");
            d.italic = r.u8("font italic");
            d.charset = r.u8("font charset");
        }
        d.font = r.sz("font name");
    }
    for (WORD i = 0; i < count; ++i) {
        r.align(4);
        DialogItem it;
        if (d.extended) {
            it.help_id = r.u32("item help id");
            it.exstyle = r.u32("item extended style");
            it.style = r.u32("item style");
        } else {
            it.style = r.u32("item style");
            it.exstyle = r.u32("item extended style");
        }
        it.x = r.s16("item x");
        it.y = r.s16("item y");
        it.cx = r.s16("item width");
        it.cy = r.s16("item height");
        it.id = d.extended ? r.u32("item id") : r.u16("item id");
        it.cls = r.sz_or_ord("item class");
        if (it.cls.empty()) r.fail("dialog item " + std::to_string(i) + " has no class");
        it.text = r.sz_or_ord("item text");
        WORD extra = r.u16("item creation data size");
        r.need(extra, "item creation data");
        it.creation_data.assign(r.here(), r.here() + extra);
        r.skip(extra, "item creation data");
        d.items.push_back(std::move(it));
    }
    d.size = r.pos();
    return d;
}

// ---- icons ----

std::vector<IconDirEntry> parse_group_icon(const unsigned char* data, size_t size) {
    Reader r(data, size, "icon group");
    if (r.u16("reserved") != 0) r.fail("reserved word is not 0");
    WORD type = r.u16("type");
    if (type != 1) r.fail("type " + std::to_string(type) + " is not an icon");
    WORD count = r.u16("image count");
    if (count == 0) r.fail("no images");
    std::vector<IconDirEntry> out;
    for (WORD i = 0; i < count; ++i) {
        IconDirEntry e;
        e.width = r.u8("image width");
        e.height = r.u8("image height");
        if (e.width == 0) e.width = 256;
        if (e.height == 0) e.height = 256;
        e.colors = r.u8("image colour count");
        r.u8("reserved");
        e.planes = r.u16("image planes");
        e.bit_count = r.u16("image bit count");
        e.bytes = r.u32("image size");
        e.id = r.u16("image id");
        out.push_back(e);
    }
    return out;
}

size_t choose_icon(const std::vector<IconDirEntry>& dir, int cx, int cy) {
    if (dir.empty()) throw ResourceError("icon group: no images");
    auto depth = [](const IconDirEntry& e) {
        // Real icons have one plane and at most 32 bits; a bad directory
        // must not overflow the product.
        long long product = (long long)e.bit_count * std::max<int>(1, e.planes);
        int bits = int(std::min<long long>(product, 32));
        if (!bits) bits = e.colors == 0 ? 8 : e.colors <= 2 ? 1 : e.colors <= 16 ? 4 : 8;
        return bits;
    };
    auto score = [&](const IconDirEntry& e) {
        long dist = std::labs(long(e.width) - cx) + std::labs(long(e.height) - cy);
        bool smaller = e.width < cx || e.height < cy;
        int bits = depth(e);
        // display of 16 bits per pixel: deeper images than 8 bits gain nothing here
        int colour_rank = bits <= 8 ? bits : 8 - bits / 8;
        return std::tuple(dist, smaller ? 1 : 0, -colour_rank);
    };
    size_t best = 0;
    for (size_t i = 1; i < dir.size(); ++i)
        if (score(dir[i]) < score(dir[best])) best = i;
    return best;
}

// ---- modules ----

HINSTANCE device::load_module(std::string name, const unsigned char* res, size_t size) {
    auto m = std::make_unique<Module>();
    m->name = std::move(name);
    m->bytes.assign(res, res + size);
    m->entries = parse_res_file(m->bytes.data(), m->bytes.size());
    auto h = reinterpret_cast<HINSTANCE>(m.get());
    Lock lock = lock_device();
    name_handle_locked(h, "hinst");
    registry().modules.push_back(std::move(m));
    return h;
}

const Module* find_module(HINSTANCE instance) {
    Lock lock = lock_device();
    return find_module_locked(instance);
}

const ResEntry* find_entry(HINSTANCE instance, const ResId& type, const ResId& name) {
    Lock lock = lock_device();
    return find_entry_locked(instance, type, name);
}

std::optional<ResLocation> locate_resource_data(const void* p) {
    auto q = static_cast<const unsigned char*>(p);
    Lock lock = lock_device();
    for (auto& m : registry().modules)
        for (auto& e : m->entries)
            if (q >= e.data && q < e.data + e.size)
                return ResLocation{reinterpret_cast<HINSTANCE>(m.get()), &e};
    return std::nullopt;
}

std::optional<std::u16string> load_string(HINSTANCE instance, UINT id) {
    const ResEntry* e = find_entry(instance, ResId::of(6), ResId::of(string_block_of(id)));
    if (!e) return std::nullopt;
    auto block = parse_string_block(e->data, e->size);
    std::u16string s = block[id & 15];
    // Windows treats an empty string as absent.
    if (s.empty()) return std::nullopt;
    return s;
}

std::optional<std::vector<MenuTemplateItem>> load_menu(HINSTANCE instance, const ResId& name) {
    const ResEntry* e = find_entry(instance, ResId::of(4), name);
    if (!e) return std::nullopt;
    return parse_menu(e->data, e->size);
}

std::optional<std::vector<ACCEL>> load_accelerator_table(HINSTANCE instance, const ResId& name) {
    const ResEntry* e = find_entry(instance, ResId::of(9), name);
    if (!e) return std::nullopt;
    return parse_accelerators(e->data, e->size);
}

std::optional<DialogTemplate> load_dialog_template(HINSTANCE instance, const ResId& name) {
    const ResEntry* e = find_entry(instance, ResId::of(5), name);
    if (!e) return std::nullopt;
    return parse_dialog(e->data, e->size);
}

HICON create_icon(HINSTANCE instance, const ResId& group, int cx, int cy) {
    const ResEntry* g = find_entry(instance, ResId::of(14), group);
    if (!g) return nullptr;
    auto dir = parse_group_icon(g->data, g->size);
    if (cx <= 0) cx = 32;
    if (cy <= 0) cy = 32;
    const IconDirEntry& pick = dir[choose_icon(dir, cx, cy)];
    const ResEntry* img = find_entry(instance, ResId::of(3), ResId::of(pick.id));
    if (!img) throw ResourceError("icon group " + group.str() + ": image " + std::to_string(pick.id) + " is missing");
    // A DIB image starts with its 40-byte header, a PNG image with its signature.
    static const unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!(img->size >= 8 && std::memcmp(img->data, png, 8) == 0)) {
        Reader r(img->data, img->size, "icon image " + std::to_string(pick.id));
        DWORD header = r.u32("bitmap header size");
        if (header < 40) r.fail("bitmap header size " + std::to_string(header) + " below 40");
        r.need(header - 4, "bitmap header");
    }
    auto info = std::make_unique<IconInfo>();
    info->instance = instance;
    info->group = group;
    info->image_id = pick.id;
    info->width = pick.width;
    info->height = pick.height;
    info->bit_count = pick.bit_count;
    info->image = img->data;
    info->image_size = img->size;
    auto h = reinterpret_cast<HICON>(info.get());
    Lock lock = lock_device();
    name_handle_locked(h, "hicon#" + std::to_string(registry().next_icon++));
    registry().icons[h] = std::move(info);
    return h;
}

std::optional<IconInfo> icon_info(HICON icon) {
    Lock lock = lock_device();
    auto it = registry().icons.find(icon);
    if (it == registry().icons.end()) return std::nullopt;
    return *it->second;
}

}  // namespace pf::user

// ---- the device API ----

using namespace pf;
using namespace pf::user;

namespace {
std::string name_arg(LPCWSTR p) {
    if (!p) return "NULL";
    return ResId::from(p).str();
}
}  // namespace

extern "C" {

HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
    HRSRC result = nullptr;
    std::string call;
    if (!lpName || !lpType) {
        set_error(ERROR_INVALID_PARAMETER);
    } else {
        ResId type = ResId::from(lpType), name = ResId::from(lpName);
        call = "FindResourceW(" + handle_name(hModule) + ", " + name.str() + ", " + type_str(type) + ")";
        Lock lock = lock_device();
        if (!find_module_locked(hModule)) {
            set_error_locked(ERROR_INVALID_HANDLE);
        } else if (const ResEntry* e = find_entry_locked(hModule, type, name)) {
            result = reinterpret_cast<HRSRC>(const_cast<ResEntry*>(e));
            if (handle_name(result).rfind("hrsrc", 0) != 0)
                name_handle_locked(result, "hrsrc#" + std::to_string(registry().next_rsrc++));
        } else {
            set_error_locked(ERROR_RESOURCE_NAME_NOT_FOUND);
        }
    }
    if (call.empty()) call = "FindResourceW(" + handle_name(hModule) + ", " + name_arg(lpName) + ", " + name_arg(lpType) + ")";
    trace(call + " = " + handle_name(result));
    return result;
}

HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo) {
    HGLOBAL result = nullptr;
    {
        Lock lock = lock_device();
        auto e = reinterpret_cast<const ResEntry*>(hResInfo);
        // A null module means the program's own module, which is where the
        // resource handle came from anyway: accept it if any module holds it.
        for (auto& m : registry().modules) {
            if (hModule && reinterpret_cast<HMODULE>(m.get()) != hModule) continue;
            for (auto& entry : m->entries)
                if (&entry == e) result = const_cast<unsigned char*>(e->data);
        }
        if (!result) set_error_locked(ERROR_INVALID_HANDLE);
    }
    trace("LoadResource(" + handle_name(hModule) + ", " + handle_name(hResInfo) + ") = " +
          (result ? std::string("template") : std::string("NULL")));
    return result;
}

LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo) {
    Lock lock = lock_device();
    auto e = reinterpret_cast<const ResEntry*>(hResInfo);
    for (auto& m : registry().modules) {
        if (hModule && reinterpret_cast<HMODULE>(m.get()) != hModule) continue;
        for (auto& entry : m->entries)
            if (&entry == e) return DWORD(e->size);
    }
    set_error_locked(ERROR_INVALID_HANDLE);
    return 0;
}

int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
    std::optional<std::u16string> s;
    try {
        s = load_string(hInstance, uID);
    } catch (const ResourceError& e) {
        report_bad_resource(e.what());
    }
    int result = 0;
    std::string shown;
    if (!lpBuffer) {
        set_error(ERROR_INVALID_PARAMETER);
    } else if (cchBufferMax == 0) {
        // The documented read-only form: the buffer receives a pointer to
        // the string inside the resource, which is not terminated.
        const ResEntry* e = find_entry(hInstance, ResId::of(6), ResId::of(string_block_of(uID)));
        if (s && e) {
            const unsigned char* p = e->data;
            for (UINT i = 0; i < (uID & 15); ++i) p += 2 + 2 * size_t(p[0] | p[1] << 8);
            auto text = reinterpret_cast<const WCHAR*>(p + 2);
            std::memcpy(lpBuffer, &text, sizeof text);
            result = int(s->size());
            shown = quoted(s->c_str());
        }
    } else {
        if (s) {
            result = int(std::min<size_t>(s->size(), size_t(cchBufferMax - 1)));
            std::memcpy(lpBuffer, s->data(), size_t(result) * sizeof(WCHAR));
        } else {
            set_error(ERROR_RESOURCE_NAME_NOT_FOUND);
        }
        lpBuffer[result] = 0;
        shown = quoted(lpBuffer);
    }
    trace("LoadStringW(" + handle_name(hInstance) + ", " + std::to_string(uID) + ", " + (shown.empty() ? "buf" : shown) +
          ", " + std::to_string(cchBufferMax) + ") = " + std::to_string(result));
    return result;
}

HANDLE WINAPI LoadImageW(HINSTANCE hInst, LPCWSTR name, UINT type, int cx, int cy, UINT fuLoad) {
    if (type != IMAGE_ICON) not_implemented("LoadImageW for images other than IMAGE_ICON");
    if (fuLoad & ~UINT(0x0040 /*LR_DEFAULTSIZE*/ | 0x8000 /*LR_SHARED*/)) not_implemented("LoadImageW load flags");
    HICON result = nullptr;
    if (!name) {
        set_error(ERROR_INVALID_PARAMETER);
    } else {
        try {
            result = create_icon(hInst, ResId::from(name), cx, cy);
            if (!result) set_error(ERROR_RESOURCE_NAME_NOT_FOUND);
        } catch (const ResourceError& e) {
            report_bad_resource(e.what());
            set_error(1812 /*ERROR_RESOURCE_DATA_NOT_FOUND*/);
        }
    }
    trace("LoadImageW(" + handle_name(hInst) + ", " + name_arg(name) + ", IMAGE_ICON, " + std::to_string(cx) + ", " +
          std::to_string(cy) + ", " + std::to_string(fuLoad) + ") = " + handle_name(result));
    return result;
}

HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName) {
    HICON result = nullptr;
    if (!hInstance) not_implemented("LoadIconW of system icons");
    if (!lpIconName) {
        set_error(ERROR_INVALID_PARAMETER);
    } else {
        try {
            result = create_icon(hInstance, ResId::from(lpIconName), 32, 32);
            if (!result) set_error(ERROR_RESOURCE_NAME_NOT_FOUND);
        } catch (const ResourceError& e) {
            report_bad_resource(e.what());
            set_error(1812 /*ERROR_RESOURCE_DATA_NOT_FOUND*/);
        }
    }
    trace("LoadIconW(" + handle_name(hInstance) + ", " + name_arg(lpIconName) + ") = " + handle_name(result));
    return result;
}

BOOL WINAPI DestroyIcon(HICON hIcon) {
    BOOL ok = FALSE;
    {
        Lock lock = lock_device();
        auto& icons = registry().icons;
        auto it = icons.find(hIcon);
        if (it != icons.end()) {
            icons.erase(it);
            ok = TRUE;
        } else {
            set_error_locked(ERROR_INVALID_HANDLE);
        }
    }
    trace("DestroyIcon(" + handle_name(hIcon) + ") = " + bool_str(ok));
    if (ok) {
        Lock lock = lock_device();
        forget_handle_name_locked(hIcon);
    }
    return ok;
}

}  // extern "C"

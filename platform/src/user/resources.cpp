// Modules and their resources: the .res file format, resource names, the
// module registry and lookup, and the resource calls of the device API.
#include "user/res_internal.hpp"

#include <cstring>
#include <memory>

#include "core/core.hpp"
#include "user/handheld.hpp"

namespace pf::user {
namespace {

char16_t upper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; }

struct Registry {
    std::vector<std::unique_ptr<Module>> modules;
    int next_rsrc = 1;  // hrsrc#N
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
        case rt::icon: return "RT_ICON";
        case rt::menu: return "RT_MENU";
        case rt::dialog: return "RT_DIALOG";
        case rt::string: return "RT_STRING";
        case rt::accelerator: return "RT_ACCELERATOR";
        case rt::rcdata: return "RT_RCDATA";
        case rt::group_icon: return "RT_GROUP_ICON";
        }
    }
    return type.str();
}

// Whether the module (any module for null) holds this entry.
bool holds_entry_locked(HMODULE module, const ResEntry* entry) {
    for (auto& m : registry().modules) {
        if (module && reinterpret_cast<HMODULE>(m.get()) != module) continue;
        for (auto& e : m->entries)
            if (&e == entry) return true;
    }
    return false;
}

}  // namespace

void report_bad_resource(const std::string& what) { trace_as("device", "bad resource: " + what); }

std::string name_arg(LPCWSTR p) {
    if (!p) return "NULL";
    return ResId::from(p).str();
}

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
    ResReader r(data, size, "resource file");
    while (!r.at_end()) {
        size_t start = r.pos();
        DWORD data_size = r.u32("entry data size");
        DWORD header_size = r.u32("entry header size");
        if (header_size < 32) r.fail("header size " + std::to_string(header_size) + " below 32");
        if (header_size > r.left() + 8) r.fail("truncated entry header");
        ResReader h(data + start, header_size, "resource file entry at offset " + std::to_string(start));
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
        r = ResReader(data, size, "resource file");
        r.skip(data_start + data_size, "entry data");
        r.align(4);
        if (e.type.ordinal && *e.type.ordinal == 0) continue;  // the leading empty entry
        out.push_back(std::move(e));
    }
    return out;
}

// ---- modules ----

HINSTANCE handheld::load_module(std::string name, const unsigned char* res, size_t size) {
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
    const ResEntry* e = find_entry(instance, ResId::of(rt::string), ResId::of(string_block_of(id)));
    if (!e) return std::nullopt;
    auto block = parse_string_block(e->data, e->size);
    std::u16string s = block[id & 15];
    // Windows treats an empty string as absent.
    if (s.empty()) return std::nullopt;
    return s;
}

std::optional<std::vector<MenuTemplateItem>> load_menu(HINSTANCE instance, const ResId& name) {
    const ResEntry* e = find_entry(instance, ResId::of(rt::menu), name);
    if (!e) return std::nullopt;
    return parse_menu(e->data, e->size);
}

std::optional<std::vector<ACCEL>> load_accelerator_table(HINSTANCE instance, const ResId& name) {
    const ResEntry* e = find_entry(instance, ResId::of(rt::accelerator), name);
    if (!e) return std::nullopt;
    return parse_accelerators(e->data, e->size);
}

std::optional<DialogTemplate> load_dialog_template(HINSTANCE instance, const ResId& name) {
    const ResEntry* e = find_entry(instance, ResId::of(rt::dialog), name);
    if (!e) return std::nullopt;
    return parse_dialog(e->data, e->size);
}

}  // namespace pf::user

// ---- the device API ----

using namespace pf;
using namespace pf::user;

extern "C" {

HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
    HRSRC result = nullptr;
    if (!lpName || !lpType) {
        set_last_error(ERROR_INVALID_PARAMETER);
    } else {
        ResId type = ResId::from(lpType), name = ResId::from(lpName);
        Lock lock = lock_device();
        if (!find_module_locked(hModule)) {
            set_last_error(ERROR_INVALID_HANDLE);
        } else if (const ResEntry* e = find_entry_locked(hModule, type, name)) {
            result = reinterpret_cast<HRSRC>(const_cast<ResEntry*>(e));
            if (handle_name(result).rfind("hrsrc", 0) != 0)
                name_handle_locked(result, "hrsrc#" + std::to_string(registry().next_rsrc++));
        } else {
            set_last_error(ERROR_RESOURCE_NAME_NOT_FOUND);
        }
    }
    // The type by its RT_ name, once both arguments are given.
    std::string type = lpName && lpType ? type_str(ResId::from(lpType)) : name_arg(lpType);
    trace(call_str("FindResourceW", {handle_name(hModule), name_arg(lpName), type}, handle_name(result)));
    return result;
}

HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo) {
    HGLOBAL result = nullptr;
    {
        Lock lock = lock_device();
        auto e = reinterpret_cast<const ResEntry*>(hResInfo);
        // A null module means the program's own module, which is where the
        // resource handle came from anyway: accept it if any module holds it.
        if (holds_entry_locked(hModule, e))
            result = const_cast<unsigned char*>(e->data);
        else
            set_last_error(ERROR_INVALID_HANDLE);
    }
    trace(call_str("LoadResource", {handle_name(hModule), handle_name(hResInfo)}, result ? "template" : "NULL"));
    return result;
}

LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo) {
    Lock lock = lock_device();
    auto e = reinterpret_cast<const ResEntry*>(hResInfo);
    if (holds_entry_locked(hModule, e)) return DWORD(e->size);
    set_last_error(ERROR_INVALID_HANDLE);
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
        set_last_error(ERROR_INVALID_PARAMETER);
    } else if (cchBufferMax == 0) {
        // The documented read-only form: the buffer receives a pointer to
        // the string inside the resource, which is not terminated.
        const ResEntry* e = find_entry(hInstance, ResId::of(rt::string), ResId::of(string_block_of(uID)));
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
            set_last_error(ERROR_RESOURCE_NAME_NOT_FOUND);
        }
        lpBuffer[result] = 0;
        shown = quoted(lpBuffer);
    }
    trace(call_str("LoadStringW",
                   {handle_name(hInstance), std::to_string(uID), shown.empty() ? "buf" : shown,
                    std::to_string(cchBufferMax)},
                   std::to_string(result)));
    return result;
}

}  // extern "C"

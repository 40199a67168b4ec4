// Parsers of the resource kinds the window system reads from templates:
// string table blocks, menus, accelerator tables and dialog templates.
#include "user/res_internal.hpp"

#include "core/core.hpp"

namespace pf::user {

// ---- strings ----

std::vector<std::u16string> parse_string_block(const unsigned char* data, size_t size) {
    ResReader r(data, size, "string table");
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
std::vector<MenuTemplateItem> parse_menu_level(ResReader& r, int depth) {
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
    ResReader r(data, size, "menu template");
    WORD version = r.u16("header version");
    WORD header_size = r.u16("header size");
    if (version != 0) r.fail("menu template version " + std::to_string(version) + " is not supported");
    r.skip(header_size, "header");
    if (r.at_end()) r.fail("menu template has no items");
    return parse_menu_level(r, 0);
}

// ---- accelerators ----

std::vector<ACCEL> parse_accelerators(const unsigned char* data, size_t size) {
    ResReader r(data, size, "accelerator table");
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

namespace {
// Position and size in dialog units, of the dialog or of one of its items.
template <class T>
void read_box(ResReader& r, T& box, const std::string& whose) {
    box.x = r.s16((whose + "x").c_str());
    box.y = r.s16((whose + "y").c_str());
    box.cx = r.s16((whose + "width").c_str());
    box.cy = r.s16((whose + "height").c_str());
}
}  // namespace

DialogTemplate parse_dialog(const unsigned char* data, size_t size) {
    ResReader r(data, size, "dialog template");
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
    read_box(r, d, "");
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
        read_box(r, it, "item ");
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

}  // namespace pf::user

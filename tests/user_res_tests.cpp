// The resource reader: every cut of the application's real .res (compiled by
// windres from res/pendrel.rc) rejected, hand-built odd cases read, and the
// loading calls over both.
#include <gtest/gtest.h>
#include <windows.h>

#include "user/handheld.hpp"
#include "user/resources.hpp"
#include "user_app.hpp"

using namespace pf::user;
using usertest::app_module;

namespace {

const ResEntry& app_entry(WORD type, WORD name) {
    const ResEntry* e = find_entry(app_module(), ResId::of(type), ResId::of(name));
    if (!e) throw std::runtime_error("resource missing from pendrel.res");
    return *e;
}

std::u16string load(HINSTANCE h, UINT id, int cch = 100) {
    std::vector<WCHAR> buf(size_t(std::max(cch, 1)), u'#');
    int n = LoadStringW(h, id, buf.data(), cch);
    std::u16string s(buf.data());
    EXPECT_EQ(size_t(n), s.size()) << "LoadStringW's count disagrees with the text written";
    return s;
}

DWORD last_error() { return pf::current_thread().last_error; }

}  // namespace

// ---- loading ----

TEST(Loading, LoadStringCopiesWhatFitsOrHandsOutAPointer) {
    std::vector<unsigned char> block = restest::Bytes().u16(0).u16(4).sz(u"hell").b;  // ids 0 and 1 of block 1
    block.resize(block.size() - 2);  // a string in a block has no terminator
    block.resize(block.size() + 14 * 2, 0);
    restest::ResFile f;
    f.add(6, 1, block);
    HINSTANCE h = handheld::load_module("strings", f.bytes().data(), f.bytes().size());
    EXPECT_EQ(load(h, 1), u"hell");
    EXPECT_EQ(load(h, 1, 3), u"he") << "cut to the buffer, the terminator included";
    EXPECT_EQ(load(h, 1, 1), u"");
    EXPECT_EQ(load(h, 0), u"") << "an empty entry of the block";
    EXPECT_EQ(load(h, 17), u"") << "a block that does not exist";
    const WCHAR* p = nullptr;
    ASSERT_EQ(LoadStringW(h, 1, reinterpret_cast<LPWSTR>(&p), 0), 4);
    EXPECT_EQ(std::u16string(p, 4), u"hell") << "a zero length asks for a pointer into the resource";
}

// The application's icon group holds 16 x 16 and 32 x 32 images.
TEST(Loading, IconsAreChosenBySizeAndDestroyedOnce) {
    HANDLE small = LoadImageW(app_module(), MAKEINTRESOURCEW(101), IMAGE_ICON, 16, 16, 0);
    ASSERT_NE(small, nullptr);
    auto si = icon_info(static_cast<HICON>(small));
    ASSERT_TRUE(si);
    EXPECT_EQ(si->width, 16);
    EXPECT_EQ(si->height, 16);
    HICON big = LoadIconW(app_module(), MAKEINTRESOURCEW(101));
    ASSERT_TRUE(icon_info(big));
    EXPECT_EQ(icon_info(big)->width, 32);
    EXPECT_TRUE(DestroyIcon(static_cast<HICON>(small)));
    EXPECT_FALSE(icon_info(static_cast<HICON>(small)));
    EXPECT_FALSE(DestroyIcon(static_cast<HICON>(small))) << "an icon is destroyed once";
    EXPECT_TRUE(DestroyIcon(big));
    EXPECT_EQ(LoadIconW(app_module(), MAKEINTRESOURCEW(999)), nullptr);
    EXPECT_EQ(last_error(), ERROR_RESOURCE_NAME_NOT_FOUND);
}

TEST(Loading, FindResourceMatchesTypeAndModule) {
    HRSRC r = FindResourceW(app_module(), MAKEINTRESOURCEW(104), RT_DIALOG);
    ASSERT_NE(r, nullptr);
    auto p = static_cast<const unsigned char*>(LockResource(LoadResource(app_module(), r)));
    EXPECT_EQ(p, app_entry(5, 104).data);
    EXPECT_EQ(SizeofResource(app_module(), r), app_entry(5, 104).size);
    auto where = locate_resource_data(p + 10);
    ASSERT_TRUE(where);
    EXPECT_EQ(where->instance, app_module());
    EXPECT_EQ(FindResourceW(app_module(), MAKEINTRESOURCEW(104), RT_MENU), nullptr);
    EXPECT_EQ(last_error(), ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_EQ(FindResourceW(reinterpret_cast<HMODULE>(&r), MAKEINTRESOURCEW(104), RT_DIALOG), nullptr);
    EXPECT_EQ(last_error(), ERROR_INVALID_HANDLE);
}

// ---- truncated and garbage input ----

namespace {
template <class F>
void expect_every_prefix_rejected(const unsigned char* data, size_t full, F parse, const char* what) {
    for (size_t n = 0; n < full; ++n) {
        // A copy of exactly n bytes, so that a read past the end is a read
        // past an allocation (caught by the sanitizer builds).
        std::vector<unsigned char> cut(data, data + n);
        EXPECT_THROW(parse(cut.data(), n), ResourceError) << what << " cut to " << n << " of " << full << " bytes";
    }
}
}  // namespace

TEST(ResourceParsers, EveryTruncationOfTheAppResourcesIsRejected) {
    const ResEntry& dlg = app_entry(5, 104);
    size_t dlg_used = parse_dialog(dlg.data, dlg.size).size;
    expect_every_prefix_rejected(dlg.data, dlg_used, parse_dialog, "dialog 104");
    const ResEntry& about = app_entry(5, 103);
    expect_every_prefix_rejected(about.data, parse_dialog(about.data, about.size).size, parse_dialog, "dialog 103");
    const ResEntry& menu = app_entry(4, 102);
    expect_every_prefix_rejected(menu.data, menu.size, parse_menu, "menu 102");
    const ResEntry& acc = app_entry(9, 3);
    expect_every_prefix_rejected(acc.data, acc.size, parse_accelerators, "accelerators 3");
    const ResEntry& str = app_entry(6, 1);
    expect_every_prefix_rejected(str.data, str.size, parse_string_block, "string block 1");
    const ResEntry& grp = app_entry(14, 101);
    expect_every_prefix_rejected(grp.data, grp.size, parse_group_icon, "icon group 101");
}

// A cut .res parses only when it ends where an entry ends (or in that
// entry's padding), and then holds just the entries before the cut.
TEST(ResourceParsers, ResFileCutInsideAnEntryIsRejected) {
    auto entries = parse_res_file(pendrel_res, pendrel_res_size);
    ASSERT_GE(entries.size(), 10u);  // 5 icon images, group, strings, menu, accelerators, 2 dialogs
    auto padded = [](size_t end) { return (end + 3) / 4 * 4; };
    size_t leading = size_t(pendrel_res[4]) | size_t(pendrel_res[5]) << 8;  // the empty entry windres writes first
    for (size_t n = 1; n < pendrel_res_size; ++n) {
        std::vector<unsigned char> cut(pendrel_res, pendrel_res + n);
        bool at_an_end = leading <= n && n <= padded(leading);
        size_t whole = 0;  // entries that end before the cut
        for (auto& e : entries) {
            size_t end = size_t(e.data + e.size - pendrel_res);
            whole += end <= n;
            at_an_end = at_an_end || (end <= n && n <= padded(end));
        }
        if (at_an_end)
            EXPECT_EQ(parse_res_file(cut.data(), n).size(), whole) << "cut to " << n;
        else
            EXPECT_THROW(parse_res_file(cut.data(), n), ResourceError) << "cut to " << n;
    }
    EXPECT_THROW(handheld::load_module("half", pendrel_res, 100), ResourceError);
}

TEST(ResourceParsers, ErrorsNameTheProblem) {
    using Bytes = std::vector<unsigned char>;
    struct Case {
        const char* problem;
        Bytes data;
        std::function<void(const Bytes&)> parse;
    } cases[] = {
        {"version 1", {1, 0, 4, 0, 0, 0, 0, 0}, [](const Bytes& b) { parse_menu(b.data(), b.size()); }},
        {"end marker", {0x11, 0, 0x73, 0, 0x42, 0x9C, 0, 0}, [](const Bytes& b) { parse_accelerators(b.data(), b.size()); }},
        {"truncated string text", {5, 0, 'a', 0}, [](const Bytes& b) { parse_string_block(b.data(), b.size()); }},
    };
    for (const Case& c : cases) {
        try {
            c.parse(c.data);
            ADD_FAILURE() << "accepted: " << c.problem;
        } catch (const ResourceError& e) {
            EXPECT_NE(std::string(e.what()).find(c.problem), std::string::npos) << e.what();
        }
    }
}

// ---- odd but valid input ----

TEST(ResFile, StringNamesAndTypesWithOddLengthsKeepTheirAlignment) {
    restest::ResFile f;
    f.add(u"MYTYPE", u"ABC", {1, 2, 3});         // odd-length name: header padded
    f.add(10, u"DATA_X", {9});                  // data padded to 4
    f.add(6, 1, restest::Bytes().u16(2).u16('h').u16('i').raw(std::vector<unsigned char>(30, 0)).b);
    auto entries = parse_res_file(f.bytes().data(), f.bytes().size());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].type, ResId::of(u"mytype")) << "names compare without case";
    EXPECT_EQ(entries[0].name.name, u"ABC");
    ASSERT_EQ(entries[0].size, 3u);
    EXPECT_EQ(entries[0].data[2], 3);
    EXPECT_EQ(entries[1].name, ResId::of(u"DATA_X"));
    EXPECT_EQ(entries[1].data[0], 9);

    HINSTANCE h = handheld::load_module("odd", f.bytes().data(), f.bytes().size());
    EXPECT_EQ(load(h, 0), u"hi");
    EXPECT_NE(FindResourceW(h, u"data_x", RT_RCDATA), nullptr);
    EXPECT_NE(FindResourceW(h, u"abc", u"MyType"), nullptr);
    EXPECT_EQ(ResId::from(u"#104"), ResId::of(104));
}

TEST(ResFile, HeaderSizeSmallerThanItsFieldsIsRejected) {
    restest::Bytes b;
    b.u32(0).u32(16).ord(10).ord(1);  // claims 16 bytes of header
    EXPECT_THROW(parse_res_file(b.data(), b.size()), ResourceError);
    restest::Bytes c;
    c.u32(0x7FFFFFF0).u32(32).ord(10).ord(1).u32(0).u16(0).u16(0).u32(0).u32(0);
    EXPECT_THROW(parse_res_file(c.data(), c.size()), ResourceError) << "data size beyond the file";
}

TEST(DialogTemplates, ExtendedTemplateWithStringClassAndCreationData) {
    restest::Bytes t;
    t.u16(1).u16(0xFFFF).u32(77).u32(WS_EX_CAPTIONOKBTN).u32(0x80C800C0).u16(2);
    t.u16(1).u16(2).u16(100).u16(50);
    t.u16(0).u16(0).sz(u"Ext");                  // no menu, default class, title
    t.u16(9).u16(400).u8(0).u8(128).sz(u"System");
    t.align4();
    t.u32(5).u32(0).u32(WS_CHILD | WS_VISIBLE | WS_TABSTOP).u16(3).u16(4).u16(50).u16(12).u32(70000);
    t.sz(u"Edit").sz(u"hello").u16(3).u8(0xAA).u8(0xBB).u8(0xCC);
    t.align4();
    t.u32(0).u32(0).u32(WS_CHILD | SS_ICON).u16(1).u16(1).u16(20).u16(20).u32(0xFFFF);
    t.ord(0x82).ord(101).u16(0);
    auto d = parse_dialog(t.data(), t.size());
    EXPECT_TRUE(d.extended);
    EXPECT_EQ(d.help_id, 77u);
    EXPECT_EQ(d.exstyle, DWORD(WS_EX_CAPTIONOKBTN));
    EXPECT_EQ(d.title, u"Ext");
    EXPECT_EQ(d.weight, 400);
    EXPECT_EQ(d.charset, 128);
    ASSERT_EQ(d.items.size(), 2u);
    EXPECT_EQ(d.items[0].id, 70000u) << "extended items carry 32-bit identifiers";
    EXPECT_EQ(d.items[0].class_name(), u"Edit");
    EXPECT_EQ(d.items[0].text.name, u"hello");
    EXPECT_EQ(d.items[0].creation_data, (std::vector<unsigned char>{0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(d.items[1].class_name(), u"STATIC");
    EXPECT_EQ(d.items[1].text, ResId::of(101));
    EXPECT_EQ(d.size, t.size());
    for (size_t n = 0; n < t.size(); ++n)
        EXPECT_THROW(parse_dialog(t.data(), n), ResourceError) << "cut to " << n;
}

TEST(DialogTemplates, StandardTemplateWithoutFontAndWithMenuOrdinal) {
    restest::Bytes t;
    t.u32(WS_POPUP | WS_CAPTION).u32(0).u16(1).u16(0).u16(0).u16(60).u16(40);
    t.ord(5).sz(u"MyClass").sz(u"");
    t.align4();
    t.u32(WS_CHILD | WS_VISIBLE).u32(0).u16(1).u16(2).u16(3).u16(4).u16(IDOK).ord(0x80).sz(u"OK").u16(0);
    auto d = parse_dialog(t.data(), t.size());
    EXPECT_FALSE(d.has_font);
    EXPECT_EQ(d.menu, ResId::of(5));
    EXPECT_EQ(d.cls, ResId::of(u"MyClass"));
    ASSERT_EQ(d.items.size(), 1u);
    EXPECT_EQ(d.items[0].class_name(), u"BUTTON");
    EXPECT_EQ(d.items[0].id, DWORD(IDOK));
}

TEST(MenuTemplates, SeparatorsNestedPopupsAndFlags) {
    restest::Bytes m;
    m.u16(0).u16(0);
    m.u16(MF_POPUP).sz(u"File");
    m.u16(0).u16(10).sz(u"Open");
    m.u16(0).u16(0).sz(u"");                          // separator
    m.u16(MF_POPUP | MF_END).sz(u"More");
    m.u16(MF_GRAYED | MF_END).u16(11).sz(u"Deep");
    m.u16(MF_END).u16(12).sz(u"Help");
    auto items = parse_menu(m.data(), m.size());
    ASSERT_EQ(items.size(), 2u);
    ASSERT_EQ(items[0].children.size(), 3u);
    EXPECT_TRUE(items[0].children[1].separator);
    ASSERT_EQ(items[0].children[2].children.size(), 1u);
    EXPECT_EQ(items[0].children[2].children[0].flags, UINT(MF_GRAYED));
    EXPECT_EQ(items[1].id, 12u);
}

TEST(IconChoice, ExactSizeThenNearestLargerThenMostColours) {
    std::vector<IconDirEntry> dir = {
        {32, 32, 16, 1, 4, 0, 1}, {16, 16, 16, 1, 4, 0, 2}, {32, 32, 0, 1, 8, 0, 3},
        {48, 48, 0, 1, 8, 0, 4},  {32, 32, 2, 1, 1, 0, 5},
    };
    EXPECT_EQ(dir[choose_icon(dir, 16, 16)].id, 2);
    EXPECT_EQ(dir[choose_icon(dir, 32, 32)].id, 3);
    EXPECT_EQ(dir[choose_icon(dir, 48, 48)].id, 4);
    EXPECT_EQ(dir[choose_icon(dir, 24, 24)].id, 3) << "equally near: the larger, scaled down";
    std::vector<IconDirEntry> only_big = {{48, 48, 0, 1, 8, 0, 9}};
    EXPECT_EQ(choose_icon(only_big, 16, 16), 0u);
}

// The resource reader over the application's real .res (compiled by windres
// from res/pendrel.rc): the loading calls it makes, and every cut of it or
// broken entry rejected with an error naming the problem.
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

DWORD last_error() { return pf::current_thread().last_error; }

}  // namespace

// ---- loading ----

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
        {"header size 16 below 32", {0, 0, 0, 0, 16, 0, 0, 0, 0xFF, 0xFF, 10, 0, 0xFF, 0xFF, 1, 0},
         [](const Bytes& b) { parse_res_file(b.data(), b.size()); }},
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

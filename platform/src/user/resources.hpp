// Resources of a module: the standard 32-bit .res format that windres
// writes, and parsers for the resource kinds the device reads (strings,
// menus, accelerators, dialogs, icons). Every parser checks every length
// against the bytes it was given and throws ResourceError on bad input.
#pragma once
#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pf::user {

struct ResourceError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A resource type or name: a 16-bit ordinal or a string (compared without
// regard to ASCII case, as Windows upper-cases resource names).
struct ResId {
    std::optional<WORD> ordinal;
    std::u16string name;

    static ResId of(WORD ordinal) { return ResId{ordinal, {}}; }
    static ResId of(std::u16string name) { return ResId{std::nullopt, std::move(name)}; }
    // MAKEINTRESOURCE value or a string; "#123" is the ordinal 123.
    static ResId from(LPCWSTR p);
    bool empty() const { return !ordinal && name.empty(); }
    bool operator==(const ResId& other) const;
    std::string str() const;  // 102, or "NAME" in quotes
};

// One entry of a .res file. data points into the bytes that were parsed.
struct ResEntry {
    ResId type;
    ResId name;
    WORD language = 0;
    WORD memory_flags = 0;
    DWORD data_version = 0;
    DWORD version = 0;
    DWORD characteristics = 0;
    const unsigned char* data = nullptr;
    size_t size = 0;
};

// Splits a .res file into its entries; the empty leading entry (type 0)
// is skipped.
std::vector<ResEntry> parse_res_file(const unsigned char* data, size_t size);

// ---- resource kinds ----

// A string table block holds the 16 strings with identifiers
// (block - 1) * 16 .. (block - 1) * 16 + 15; absent strings are empty.
std::vector<std::u16string> parse_string_block(const unsigned char* data, size_t size);
inline WORD string_block_of(UINT id) { return WORD((id >> 4) + 1); }

struct MenuTemplateItem {
    std::u16string text;
    UINT id = 0;          // 0 for popups and separators
    UINT flags = 0;       // MF_* flags of the template, without MF_END
    bool popup = false;
    bool separator = false;
    std::vector<MenuTemplateItem> children;  // items of a popup
};
// Standard menu template (MENUITEMTEMPLATEHEADER version 0).
std::vector<MenuTemplateItem> parse_menu(const unsigned char* data, size_t size);

// Accelerator table: 8-byte entries, the last one flagged 0x80.
std::vector<ACCEL> parse_accelerators(const unsigned char* data, size_t size);

struct DialogItem {
    DWORD help_id = 0;
    DWORD style = 0;
    DWORD exstyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    ResId cls;              // ordinal 0x80.. or a class name
    ResId text;             // text, or an ordinal (icon resource of SS_ICON)
    std::vector<unsigned char> creation_data;
    // "BUTTON", "EDIT", "STATIC", ... for the predefined class ordinals.
    std::u16string class_name() const;
};

struct DialogTemplate {
    bool extended = false;
    DWORD help_id = 0;
    DWORD style = 0;
    DWORD exstyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    ResId menu;
    ResId cls;
    std::u16string title;
    bool has_font = false;
    WORD point_size = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::u16string font;
    std::vector<DialogItem> items;
    size_t size = 0;        // bytes the template occupies
};
// Standard DLGTEMPLATE or extended DLGTEMPLATEEX.
DialogTemplate parse_dialog(const unsigned char* data, size_t size);

struct IconDirEntry {
    int width = 0;          // 0 in the file means 256
    int height = 0;
    int colors = 0;
    WORD planes = 0;
    WORD bit_count = 0;
    DWORD bytes = 0;
    WORD id = 0;            // the RT_ICON resource holding the image
};
// RT_GROUP_ICON directory.
std::vector<IconDirEntry> parse_group_icon(const unsigned char* data, size_t size);
// Index of the image to use for a cx x cy icon: the exact size if there is
// one, else the nearest size (larger preferred); among equals the most
// colours the display shows (up to 8 bits per pixel, 16-bit display).
size_t choose_icon(const std::vector<IconDirEntry>& dir, int cx, int cy);

// ---- modules ----

struct Module {
    std::string name;
    std::vector<unsigned char> bytes;  // own copy of the .res file
    std::vector<ResEntry> entries;     // pointing into bytes
};

// Modules are registered by handheld::load_module (handheld.hpp), which
// throws ResourceError when the image does not parse; a module lives as
// long as the device.
const Module* find_module(HINSTANCE instance);
// The first entry with this type and name (any language), or null.
const ResEntry* find_entry(HINSTANCE instance, const ResId& type, const ResId& name);
// The module and entry whose data contains p (a template handed back by
// the application), if any.
struct ResLocation {
    HINSTANCE instance = nullptr;
    const ResEntry* entry = nullptr;
};
std::optional<ResLocation> locate_resource_data(const void* p);

// Parsed resources by identifier; nullopt when absent, ResourceError when
// present but malformed.
std::optional<std::u16string> load_string(HINSTANCE instance, UINT id);
std::optional<std::vector<MenuTemplateItem>> load_menu(HINSTANCE instance, const ResId& name);
std::optional<std::vector<ACCEL>> load_accelerator_table(HINSTANCE instance, const ResId& name);
std::optional<DialogTemplate> load_dialog_template(HINSTANCE instance, const ResId& name);

// ---- icons ----

struct IconInfo {
    HINSTANCE instance = nullptr;
    ResId group;            // RT_GROUP_ICON name it came from
    WORD image_id = 0;      // RT_ICON it shows
    int width = 0;
    int height = 0;
    int bit_count = 0;
    const unsigned char* image = nullptr;
    size_t image_size = 0;
};
// Creates an icon object from the group's best image for cx x cy
// (0 x 0: the 32 x 32 system size). nullptr when the group is absent.
HICON create_icon(HINSTANCE instance, const ResId& group, int cx, int cy);
// Copy of the icon's description, or nullopt for an unknown or destroyed icon.
std::optional<IconInfo> icon_info(HICON icon);
// DestroyIcon without the trace; false for an unknown or destroyed icon.
bool destroy_icon(HICON icon);

}  // namespace pf::user
